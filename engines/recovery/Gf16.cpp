#include "engines/recovery/Gf16.h"

namespace shardix::par2 {

Gf16::Gf16() : exp_(kOrder), log_(65536, 0) {
    std::uint32_t value = 1;
    for (std::uint32_t i = 0; i < kOrder; ++i) {
        exp_[i] = static_cast<std::uint16_t>(value);
        log_[value] = static_cast<std::uint16_t>(i);
        value <<= 1;
        if (value & 0x10000)
            value ^= kPolynomial;
    }
    constantLogs_.reserve(kMaxInputBlocks);
    for (std::uint32_t n = 1; constantLogs_.size() < kMaxInputBlocks; ++n) {
        if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0)
            constantLogs_.push_back(static_cast<std::uint16_t>(n));
    }
}

std::uint16_t Gf16::power(std::uint16_t base, std::uint32_t exponent) const {
    if (exponent == 0)
        return 1;
    if (base == 0)
        return 0;
    return exp_[(static_cast<std::uint64_t>(log_[base]) * exponent) % kOrder];
}

const Gf16& gf16() {
    static const Gf16 field;
    return field;
}

std::uint16_t gf16MultiplySlow(std::uint16_t a, std::uint16_t b) {
    std::uint32_t product = 0;
    std::uint32_t shifted = a;
    for (int bit = 0; bit < 16; ++bit) {
        if (b & (1u << bit))
            product ^= shifted;
        shifted <<= 1;
        if (shifted & 0x10000)
            shifted ^= Gf16::kPolynomial;
    }
    return static_cast<std::uint16_t>(product);
}

} // namespace shardix::par2
