#pragma once

#include "engines/recovery/WorkerPool.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace shardix::par2 {

// The missing data blocks of a set solved from as many recovery blocks of
// consecutive exponents first .. first + N - 1, without a matrix.
//
// With c_k the constants of the N missing blocks and P(z) = prod (z + c_m),
// the system's matrix c_k^(first + j) is a Vandermonde matrix scaled by
// columns, whose inverse has a closed form (the Lagrange polynomials of the
// c_k): missing block k is
//   sum_j  c_k^-first q_kj / Q_k  * recovery block j
// + sum_i  (c_i / c_k)^first P(c_i) / ((c_i + c_k) Q_k)  * intact block i,
// where q_k(z) = P(z) / (z + c_k) = sum_j q_kj z^j and Q_k = q_k(c_k). The
// constants are distinct and nonzero, so this system always has its
// solution, and a row of factors costs O(N + intact blocks), with O(N) memory
// besides: any number of missing blocks up to the format's limit.
class VandermondeSolver {
  public:
    // `missing` and `intact`: the constant indexes of the blocks. Its products
    // are taken on the pool's threads; the Error of their tasks when they fail.
    static Result<std::unique_ptr<VandermondeSolver>> make(std::vector<std::uint32_t> missing,
                                                           std::vector<std::uint32_t> intact,
                                                           std::uint32_t firstExponent,
                                                           WorkerPool& pool);

    // The factors of missing block `row`: those of the intact blocks in
    // out[0, intact), then those of the recovery blocks in out[intact, intact + N).
    void rowFactors(std::size_t row, std::uint16_t* out) const;

  private:
    VandermondeSolver(const std::vector<std::uint16_t>& constants,
                      const std::vector<std::uint32_t>& intact, std::uint32_t firstExponent);
    Result<> takeProducts(const std::vector<std::uint16_t>& constants, WorkerPool& pool);

    std::vector<std::uint32_t> missingLogs_; // log c_k
    std::vector<std::uint32_t> intactLogs_;  // log c_i
    std::uint32_t first_;
    std::vector<std::uint16_t> coefficients_; // of P, lowest first, N + 1 of them
    std::vector<std::uint32_t> logQ_;         // by missing block
    std::vector<std::uint32_t> logP_;         // log P(c_i), by intact block
};

} // namespace shardix::par2
