// BlockRebuilder's choice of the recovery blocks that rebuild the missing
// ones, and the system of equations they give, solved.

#include "engines/recovery/BlockRebuilder.h"

#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfMatrix.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <random>

namespace shardix::par2 {

namespace {

// Tries with other recovery blocks when the first ones chosen give equations
// that depend on each other.
constexpr int kSolveAttempts = 20;

// The first of `count` consecutive exponents among `exponents` (sorted,
// distinct), or none.
std::optional<std::uint32_t> consecutiveRun(const std::vector<std::uint32_t>& exponents,
                                            std::size_t count) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < exponents.size(); ++i) {
        if (i > 0 && exponents[i] != exponents[i - 1] + 1)
            start = i;
        if (i + 1 - start >= count)
            return exponents[start];
    }
    return std::nullopt;
}

} // namespace

std::vector<std::uint32_t> recoveryExponents(const RecoverySet& set) {
    std::vector<std::uint32_t> exponents;
    for (const RecoveryBlockAt& at : set.recovery)
        exponents.push_back(at.exponent);
    return exponents;
}

std::size_t maxSolvedByMatrix(std::int64_t memory) {
    // The inversion holds 6 N^2 bytes: the matrix beside the identity, and
    // its result. The largest such N, in whole numbers (no libm for a root).
    const std::uint64_t most = static_cast<std::uint64_t>(std::max<std::int64_t>(memory, 0)) / 6;
    std::uint64_t low = 0, high = std::uint64_t{1} << 32;
    while (high - low > 1) {
        const std::uint64_t middle = low + (high - low) / 2;
        (middle * middle <= most ? low : high) = middle;
    }
    return static_cast<std::size_t>(low);
}

std::string unsolvableWhy(std::vector<std::uint32_t> exponents, std::size_t missing,
                          std::int64_t memory) {
    std::sort(exponents.begin(), exponents.end());
    exponents.erase(std::unique(exponents.begin(), exponents.end()), exponents.end());
    const std::size_t most = maxSolvedByMatrix(memory);
    if (missing <= most || exponents.size() < missing || consecutiveRun(exponents, missing))
        return {};
    return "the recovery blocks at hand have gaps between their exponents, and this tool "
           "rebuilds at most " +
           std::to_string(most) + " missing blocks from such recovery blocks";
}

// As many recovery blocks as blocks are missing, of consecutive exponents,
// when the set has them; false when it has not.
Result<bool> BlockRebuilder::solveByRun() {
    std::vector<std::uint32_t> exponents = recoveryExponents(set_);
    std::sort(exponents.begin(), exponents.end());
    exponents.erase(std::unique(exponents.begin(), exponents.end()), exponents.end());
    const std::optional<std::uint32_t> first = consecutiveRun(exponents, missing_.size());
    if (!first)
        return false;
    recoveryUsed_.clear();
    exponents_.clear();
    for (std::uint32_t e = *first; e < *first + missing_.size(); ++e) {
        // The first copy of each exponent.
        for (std::size_t r = 0; r < set_.recovery.size(); ++r) {
            if (set_.recovery[r].exponent == e) {
                recoveryUsed_.push_back(r);
                exponents_.push_back(e);
                break;
            }
        }
    }
    Result<std::unique_ptr<VandermondeSolver>> solver =
        VandermondeSolver::make(missing_, goodConstants_, *first, pool_);
    if (!solver.ok())
        return solver.error();
    solver_ = std::move(solver).value();
    return true;
}

// Chooses as many recovery blocks as blocks are missing and inverts the
// matrix of their factors for the missing blocks; other choices when one
// gives equations that depend on each other.
Result<> BlockRebuilder::solveByMatrix() {
    if (missing_.size() > maxSolvedByMatrix(control_.memory))
        return Error::of(
            ErrorKind::Refused,
            std::to_string(missing_.size()) + " blocks are missing, and " +
                unsolvableWhy(recoveryExponents(set_), missing_.size(), control_.memory) +
                ". Nothing was changed.",
            opened_.shownIndex());
    std::vector<std::size_t> candidates(set_.recovery.size());
    std::iota(candidates.begin(), candidates.end(), std::size_t{0});
    std::mt19937 random(1);
    for (int attempt = 0; attempt < kSolveAttempts; ++attempt) {
        if (attempt > 0) {
            if (candidates.size() == missing_.size())
                break;
            std::shuffle(candidates.begin(), candidates.end(), random);
        }
        const Result<bool> solved = trySolve(candidates);
        if (!solved.ok())
            return solved.error();
        if (*solved)
            return {};
    }
    return Error::of(ErrorKind::Refused,
                     "The recovery blocks at hand cannot rebuild the missing ones: their "
                     "equations depend on each other. Nothing was changed.",
                     opened_.shownIndex());
}

// With the first of `candidates`.
Result<bool> BlockRebuilder::trySolve(const std::vector<std::size_t>& candidates) {
    const Gf16& gf = gf16();
    const std::size_t count = missing_.size();
    recoveryUsed_.assign(candidates.begin(),
                         candidates.begin() + static_cast<std::ptrdiff_t>(count));
    std::sort(recoveryUsed_.begin(), recoveryUsed_.end());
    exponents_.clear();
    for (std::size_t r : recoveryUsed_)
        exponents_.push_back(set_.recovery[r].exponent);
    inverse_.assign(count * count, 0);
    for (std::size_t r = 0; r < count; ++r)
        for (std::size_t k = 0; k < count; ++k)
            inverse_[r * count + k] = gf.inputFactor(missing_[k], exponents_[r]);
    return invertMatrix(kernel_, pool_, inverse_, count);
}

} // namespace shardix::par2
