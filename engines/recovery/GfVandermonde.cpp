#include "engines/recovery/GfVandermonde.h"

#include "engines/recovery/Gf16.h"

#include <algorithm>

namespace shardix::par2 {

namespace {

constexpr std::uint64_t kOrder = Gf16::kOrder;

// log of the product over m (m != skip) of (value + c_m), with `value` none of them.
std::uint32_t logProductOfSums(const Gf16& gf, std::uint16_t value,
                               const std::vector<std::uint16_t>& constants, std::size_t skip) {
    std::uint64_t sum = 0;
    for (std::size_t m = 0; m < constants.size(); ++m) {
        if (m != skip)
            sum += gf.log(static_cast<std::uint16_t>(value ^ constants[m]));
    }
    return static_cast<std::uint32_t>(sum % kOrder);
}

} // namespace

Result<std::unique_ptr<VandermondeSolver>>
VandermondeSolver::make(std::vector<std::uint32_t> missing, std::vector<std::uint32_t> intact,
                        std::uint32_t firstExponent, WorkerPool& pool) {
    const Gf16& gf = gf16();
    std::vector<std::uint16_t> constants(missing.size());
    for (std::size_t k = 0; k < missing.size(); ++k)
        constants[k] = gf.inputConstant(missing[k]);
    std::unique_ptr<VandermondeSolver> solver(
        new VandermondeSolver(constants, intact, firstExponent));
    if (Result<> taken = solver->takeProducts(constants, pool); !taken.ok())
        return taken.error();
    return solver;
}

VandermondeSolver::VandermondeSolver(const std::vector<std::uint16_t>& constants,
                                     const std::vector<std::uint32_t>& intact,
                                     std::uint32_t firstExponent)
    : first_(firstExponent % Gf16::kOrder) {
    const Gf16& gf = gf16();
    const std::size_t count = constants.size();
    for (std::size_t k = 0; k < count; ++k)
        missingLogs_.push_back(gf.log(constants[k]));
    for (std::uint32_t index : intact)
        intactLogs_.push_back(gf.log(gf.inputConstant(index)));
    // P(z), one factor (z + c) at a time.
    coefficients_.assign(count + 1, 0);
    coefficients_[0] = 1;
    for (std::size_t m = 0; m < count; ++m) {
        for (std::size_t n = m + 1; n > 0; --n)
            coefficients_[n] = static_cast<std::uint16_t>(
                coefficients_[n - 1] ^ gf.multiply(constants[m], coefficients_[n]));
        coefficients_[0] = gf.multiply(constants[m], coefficients_[0]);
    }
}

// Q_k and P(c_i), on the pool's threads.
Result<> VandermondeSolver::takeProducts(const std::vector<std::uint16_t>& constants,
                                         WorkerPool& pool) {
    const Gf16& gf = gf16();
    const std::size_t count = constants.size();
    logQ_.resize(count);
    logP_.resize(intactLogs_.size());
    const std::size_t tasks = 8 * static_cast<std::size_t>(pool.size());
    return pool.run(tasks, [&](std::size_t part, unsigned) -> Result<> {
        for (std::size_t k = count * part / tasks; k < count * (part + 1) / tasks; ++k)
            logQ_[k] = logProductOfSums(gf, constants[k], constants, k);
        const std::size_t good = intactLogs_.size();
        for (std::size_t i = good * part / tasks; i < good * (part + 1) / tasks; ++i)
            logP_[i] = logProductOfSums(gf, static_cast<std::uint16_t>(gf.exp(intactLogs_[i])),
                                        constants, count);
        return {};
    });
}

void VandermondeSolver::rowFactors(std::size_t row, std::uint16_t* out) const {
    const Gf16& gf = gf16();
    const std::uint64_t logC = missingLogs_[row];
    const auto constant = static_cast<std::uint16_t>(gf.exp(static_cast<std::uint32_t>(logC)));
    // c_k^-first / Q_k, as a logarithm.
    const std::uint64_t rowLog = (kOrder - first_ * logC % kOrder + kOrder - logQ_[row]) % kOrder;
    for (std::size_t i = 0; i < intactLogs_.size(); ++i) {
        const std::uint64_t logI = intactLogs_[i];
        const auto sum =
            static_cast<std::uint16_t>(gf.exp(static_cast<std::uint32_t>(logI)) ^ constant);
        const std::uint64_t log = first_ * logI % kOrder + logP_[i] + kOrder - gf.log(sum) + rowLog;
        out[i] = gf.exp(static_cast<std::uint32_t>(log % kOrder));
    }
    // q_k by synthetic division of P by (z + c_k), highest coefficient first.
    const std::size_t count = missingLogs_.size();
    std::uint16_t* recovery = out + intactLogs_.size();
    std::uint16_t q = 1;
    for (std::size_t n = count; n-- > 0;) {
        recovery[n] =
            q == 0 ? 0 : gf.exp(static_cast<std::uint32_t>((gf.log(q) + rowLog) % kOrder));
        if (n > 0)
            q = static_cast<std::uint16_t>(coefficients_[n] ^ gf.multiply(constant, q));
    }
}

} // namespace shardix::par2
