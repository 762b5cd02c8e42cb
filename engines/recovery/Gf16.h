#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace shardix::par2 {

// Arithmetic in GF(2^16) as the PAR 2.0 format uses it: polynomials over GF(2)
// modulo x^16 + x^12 + x^3 + x + 1 (0x1100B), with 2 (the polynomial x) as the
// generator of the multiplicative group. Addition is exclusive or.
class Gf16 {
  public:
    static constexpr std::uint32_t kPolynomial = 0x1100B;
    static constexpr std::uint32_t kOrder = 65535; // of the multiplicative group

    Gf16();

    std::uint16_t multiply(std::uint16_t a, std::uint16_t b) const {
        if (a == 0 || b == 0)
            return 0;
        return exp_[reduced(std::uint32_t{log_[a]} + log_[b])];
    }
    // `a` divided by `b`, which must not be 0.
    std::uint16_t divide(std::uint16_t a, std::uint16_t b) const {
        if (a == 0)
            return 0;
        return exp_[reduced(log_[a] + kOrder - log_[b])];
    }
    std::uint16_t power(std::uint16_t base, std::uint32_t exponent) const;
    // 2 to the power `exponent`.
    std::uint16_t exp(std::uint32_t exponent) const { return exp_[exponent % kOrder]; }
    // The logarithm to base 2 of `a`, which must not be 0.
    std::uint32_t log(std::uint16_t a) const { return log_[a]; }

    // The constant of the input block with 0-based number `index` (below
    // kMaxInputBlocks): the index-th power of 2 whose exponent is divisible by
    // none of 3, 5, 17 and 257, so that its order is the whole group.
    std::uint16_t inputConstant(std::uint32_t index) const { return exp_[constantLogs_[index]]; }
    // inputConstant(index) to the power `exponent`: its factor in the
    // recovery block of that exponent.
    std::uint16_t inputFactor(std::uint32_t index, std::uint32_t exponent) const {
        return exp_[(static_cast<std::uint64_t>(constantLogs_[index]) * exponent) % kOrder];
    }

    static constexpr std::uint32_t kMaxInputBlocks = 32768;
    // Recovery exponents are below this.
    static constexpr std::uint32_t kMaxExponent = 65535;

  private:
    // A sum of two logarithms (below 2 * kOrder) brought below kOrder.
    static std::uint32_t reduced(std::uint32_t sum) { return sum >= kOrder ? sum - kOrder : sum; }

    // Each below 65536 in 16 bits, one period of the powers: the tables take
    // 320 KiB, not 650.
    std::vector<std::uint16_t> exp_;
    std::vector<std::uint16_t> log_;
    std::vector<std::uint16_t> constantLogs_; // the 32768 numbers below 65535 prime to it
};

// The field shared by everything that reads or writes PAR 2.0 data; its tables
// are made once, on first use, and never change afterwards.
const Gf16& gf16();

// The product of `a` and `b` computed bit by bit, without tables: what the
// tables and the vector kernels are checked against.
std::uint16_t gf16MultiplySlow(std::uint16_t a, std::uint16_t b);

} // namespace shardix::par2
