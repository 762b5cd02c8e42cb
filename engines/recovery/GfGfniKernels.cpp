#include "engines/recovery/GfX86.h"

#if defined(__x86_64__)

#include "engines/recovery/Gf16.h"

#include <cstring>
#include <immintrin.h>

namespace shardix::par2 {

namespace {

// ---- GFNI: multiplying by a factor is a linear map of the 16 bits of a word,
// four 8x8 bit matrices between its low and high bytes, which the affine
// instruction applies to 32 or 64 bytes at once. Four 64-bit matrices per
// factor: low from low, low from high, high from low, high from high.

// Transposes the 8 x 8 bits of `x`, byte i bit j becoming byte j bit i.
std::uint64_t transposeBits(std::uint64_t x) {
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    return x ^ t ^ (t << 28);
}

void prepareBitMatrices(std::uint16_t factor, void* prepared) {
    // The product with each single bit: the factor doubled again and again.
    std::uint32_t column[16];
    column[0] = factor;
    for (int bit = 1; bit < 16; ++bit) {
        const std::uint32_t doubled = column[bit - 1] << 1;
        column[bit] = (doubled & 0x10000) ? (doubled ^ Gf16::kPolynomial) : doubled;
    }
    std::uint64_t matrices[4];
    for (int outHigh = 0; outHigh < 2; ++outHigh) {
        for (int inHigh = 0; inHigh < 2; ++inHigh) {
            // Byte b: the output byte's bits for input bit b. Transposed, byte
            // r holds the input bits that make output bit r, which the affine
            // instruction reads from byte 7 - r.
            std::uint64_t columns = 0;
            for (int b = 0; b < 8; ++b)
                columns |=
                    static_cast<std::uint64_t>((column[8 * inHigh + b] >> (8 * outHigh)) & 0xFF)
                    << (8 * b);
            matrices[2 * outHigh + inHigh] = __builtin_bswap64(transposeBits(columns));
        }
    }
    std::memcpy(prepared, matrices, sizeof matrices);
}

SHARDIX_GFNI_AVX2 void gfniAvx2(std::uint8_t* target, const std::uint8_t* const* sources,
                                std::size_t count, const std::uint64_t* matrices,
                                std::size_t offset, std::size_t bytes) {
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        auto* out = reinterpret_cast<__m256i*>(target + unit);
        __m256i low0 = _mm256_loadu_si256(out), low1 = _mm256_loadu_si256(out + 1);
        __m256i high0 = _mm256_loadu_si256(out + 2), high1 = _mm256_loadu_si256(out + 3);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t* m = matrices + 4 * k;
            const __m256i lowFromLow = _mm256_set1_epi64x(static_cast<long long>(m[0]));
            const __m256i lowFromHigh = _mm256_set1_epi64x(static_cast<long long>(m[1]));
            const __m256i highFromLow = _mm256_set1_epi64x(static_cast<long long>(m[2]));
            const __m256i highFromHigh = _mm256_set1_epi64x(static_cast<long long>(m[3]));
            const auto* in = reinterpret_cast<const __m256i*>(sources[k] + offset + unit);
            const __m256i x0 = _mm256_loadu_si256(in), x1 = _mm256_loadu_si256(in + 1);
            const __m256i y0 = _mm256_loadu_si256(in + 2), y1 = _mm256_loadu_si256(in + 3);
            low0 = _mm256_xor_si256(
                low0, _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(x0, lowFromLow, 0),
                                       _mm256_gf2p8affine_epi64_epi8(y0, lowFromHigh, 0)));
            low1 = _mm256_xor_si256(
                low1, _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(x1, lowFromLow, 0),
                                       _mm256_gf2p8affine_epi64_epi8(y1, lowFromHigh, 0)));
            high0 = _mm256_xor_si256(
                high0, _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(x0, highFromLow, 0),
                                        _mm256_gf2p8affine_epi64_epi8(y0, highFromHigh, 0)));
            high1 = _mm256_xor_si256(
                high1, _mm256_xor_si256(_mm256_gf2p8affine_epi64_epi8(x1, highFromLow, 0),
                                        _mm256_gf2p8affine_epi64_epi8(y1, highFromHigh, 0)));
        }
        _mm256_storeu_si256(out, low0);
        _mm256_storeu_si256(out + 1, low1);
        _mm256_storeu_si256(out + 2, high0);
        _mm256_storeu_si256(out + 3, high1);
    }
}

SHARDIX_GFNI_AVX512 void gfniAvx512(std::uint8_t* target, const std::uint8_t* const* sources,
                                    std::size_t count, const std::uint64_t* matrices,
                                    std::size_t offset, std::size_t bytes) {
    std::size_t unit = 0;
    // Two units at a time, so that each factor's matrices serve four vectors.
    for (; unit + 2 * kBlockAlign <= bytes; unit += 2 * kBlockAlign) {
        std::uint8_t* out = target + unit;
        __m512i low0 = _mm512_loadu_si512(out), high0 = _mm512_loadu_si512(out + 64);
        __m512i low1 = _mm512_loadu_si512(out + 128), high1 = _mm512_loadu_si512(out + 192);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t* m = matrices + 4 * k;
            const __m512i lowFromLow = _mm512_set1_epi64(static_cast<long long>(m[0]));
            const __m512i lowFromHigh = _mm512_set1_epi64(static_cast<long long>(m[1]));
            const __m512i highFromLow = _mm512_set1_epi64(static_cast<long long>(m[2]));
            const __m512i highFromHigh = _mm512_set1_epi64(static_cast<long long>(m[3]));
            const std::uint8_t* in = sources[k] + offset + unit;
            const __m512i x0 = _mm512_loadu_si512(in), y0 = _mm512_loadu_si512(in + 64);
            const __m512i x1 = _mm512_loadu_si512(in + 128), y1 = _mm512_loadu_si512(in + 192);
            low0 =
                _mm512_ternarylogic_epi64(low0, _mm512_gf2p8affine_epi64_epi8(x0, lowFromLow, 0),
                                          _mm512_gf2p8affine_epi64_epi8(y0, lowFromHigh, 0), 0x96);
            high0 =
                _mm512_ternarylogic_epi64(high0, _mm512_gf2p8affine_epi64_epi8(x0, highFromLow, 0),
                                          _mm512_gf2p8affine_epi64_epi8(y0, highFromHigh, 0), 0x96);
            low1 =
                _mm512_ternarylogic_epi64(low1, _mm512_gf2p8affine_epi64_epi8(x1, lowFromLow, 0),
                                          _mm512_gf2p8affine_epi64_epi8(y1, lowFromHigh, 0), 0x96);
            high1 =
                _mm512_ternarylogic_epi64(high1, _mm512_gf2p8affine_epi64_epi8(x1, highFromLow, 0),
                                          _mm512_gf2p8affine_epi64_epi8(y1, highFromHigh, 0), 0x96);
        }
        _mm512_storeu_si512(out, low0);
        _mm512_storeu_si512(out + 64, high0);
        _mm512_storeu_si512(out + 128, low1);
        _mm512_storeu_si512(out + 192, high1);
    }
    for (; unit < bytes; unit += kBlockAlign) {
        std::uint8_t* out = target + unit;
        __m512i low = _mm512_loadu_si512(out), high = _mm512_loadu_si512(out + 64);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint64_t* m = matrices + 4 * k;
            const std::uint8_t* in = sources[k] + offset + unit;
            const __m512i x = _mm512_loadu_si512(in), y = _mm512_loadu_si512(in + 64);
            low = _mm512_ternarylogic_epi64(
                low,
                _mm512_gf2p8affine_epi64_epi8(x, _mm512_set1_epi64(static_cast<long long>(m[0])),
                                              0),
                _mm512_gf2p8affine_epi64_epi8(y, _mm512_set1_epi64(static_cast<long long>(m[1])),
                                              0),
                0x96);
            high = _mm512_ternarylogic_epi64(
                high,
                _mm512_gf2p8affine_epi64_epi8(x, _mm512_set1_epi64(static_cast<long long>(m[2])),
                                              0),
                _mm512_gf2p8affine_epi64_epi8(y, _mm512_set1_epi64(static_cast<long long>(m[3])),
                                              0),
                0x96);
        }
        _mm512_storeu_si512(out, low);
        _mm512_storeu_si512(out + 64, high);
    }
}

// One factor's four matrices, broadcast.
struct Matrices512 {
    __m512i lowFromLow, lowFromHigh, highFromLow, highFromHigh;
};

SHARDIX_GFNI_AVX512 inline Matrices512 matricesAt(const std::uint64_t* m) {
    return {_mm512_set1_epi64(static_cast<long long>(m[0])),
            _mm512_set1_epi64(static_cast<long long>(m[1])),
            _mm512_set1_epi64(static_cast<long long>(m[2])),
            _mm512_set1_epi64(static_cast<long long>(m[3]))};
}

// Adds the product of one unit (x low bytes, y high bytes) into `low` and `high`.
SHARDIX_GFNI_AVX512 inline void addProduct(__m512i& low, __m512i& high, __m512i x, __m512i y,
                                           const Matrices512& m) {
    low = _mm512_ternarylogic_epi64(low, _mm512_gf2p8affine_epi64_epi8(x, m.lowFromLow, 0),
                                    _mm512_gf2p8affine_epi64_epi8(y, m.lowFromHigh, 0), 0x96);
    high = _mm512_ternarylogic_epi64(high, _mm512_gf2p8affine_epi64_epi8(x, m.highFromLow, 0),
                                     _mm512_gf2p8affine_epi64_epi8(y, m.highFromHigh, 0), 0x96);
}

// gfniAvx512 into two targets: two units of each at a time, every input
// vector loaded once for both (loads, not products, bound the one-target
// loop: this one runs nearly twice as fast).
SHARDIX_GFNI_AVX512 void gfniAvx512Pair(std::uint8_t* const targets[2],
                                        const std::uint8_t* const* sources, std::size_t count,
                                        const std::uint64_t* const matrices[2], std::size_t offset,
                                        std::size_t bytes) {
    std::size_t unit = 0;
    for (; unit + 2 * kBlockAlign <= bytes; unit += 2 * kBlockAlign) {
        std::uint8_t* a = targets[0] + unit;
        std::uint8_t* b = targets[1] + unit;
        __m512i aLow0 = _mm512_loadu_si512(a), aHigh0 = _mm512_loadu_si512(a + 64);
        __m512i aLow1 = _mm512_loadu_si512(a + 128), aHigh1 = _mm512_loadu_si512(a + 192);
        __m512i bLow0 = _mm512_loadu_si512(b), bHigh0 = _mm512_loadu_si512(b + 64);
        __m512i bLow1 = _mm512_loadu_si512(b + 128), bHigh1 = _mm512_loadu_si512(b + 192);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint8_t* in = sources[k] + offset + unit;
            const __m512i x0 = _mm512_loadu_si512(in), y0 = _mm512_loadu_si512(in + 64);
            const __m512i x1 = _mm512_loadu_si512(in + 128), y1 = _mm512_loadu_si512(in + 192);
            const Matrices512 ma = matricesAt(matrices[0] + 4 * k);
            addProduct(aLow0, aHigh0, x0, y0, ma);
            addProduct(aLow1, aHigh1, x1, y1, ma);
            const Matrices512 mb = matricesAt(matrices[1] + 4 * k);
            addProduct(bLow0, bHigh0, x0, y0, mb);
            addProduct(bLow1, bHigh1, x1, y1, mb);
        }
        _mm512_storeu_si512(a, aLow0);
        _mm512_storeu_si512(a + 64, aHigh0);
        _mm512_storeu_si512(a + 128, aLow1);
        _mm512_storeu_si512(a + 192, aHigh1);
        _mm512_storeu_si512(b, bLow0);
        _mm512_storeu_si512(b + 64, bHigh0);
        _mm512_storeu_si512(b + 128, bLow1);
        _mm512_storeu_si512(b + 192, bHigh1);
    }
    // An odd unit at the end: each target alone.
    for (int t = 0; t < 2 && unit < bytes; ++t)
        gfniAvx512(targets[t] + unit, sources, count, matrices[t], offset + unit, bytes - unit);
}

class GfniKernel final : public SplitKernel {
  public:
    explicit GfniKernel(bool wide) : wide_(wide) {}
    std::string name() const override { return wide_ ? "gfni-avx512" : "gfni-avx2"; }
    std::size_t preparedSize() const override { return 4 * sizeof(std::uint64_t); }
    void prepare(std::uint16_t factor, void* prepared) const override {
        prepareBitMatrices(factor, prepared);
    }
    void multiplyAdd(std::uint8_t* target, const std::uint8_t* const* sources, std::size_t count,
                     const void* prepared, std::size_t offset, std::size_t bytes) const override {
        const auto* matrices = static_cast<const std::uint64_t*>(prepared);
        if (wide_)
            gfniAvx512(target, sources, count, matrices, offset, bytes);
        else
            gfniAvx2(target, sources, count, matrices, offset, bytes);
    }
    void multiplyAddPair(std::uint8_t* const targets[2], const std::uint8_t* const* sources,
                         std::size_t count, const void* const prepared[2], std::size_t offset,
                         std::size_t bytes) const override {
        if (!wide_) {
            SplitKernel::multiplyAddPair(targets, sources, count, prepared, offset, bytes);
            return;
        }
        const std::uint64_t* const matrices[2] = {static_cast<const std::uint64_t*>(prepared[0]),
                                                  static_cast<const std::uint64_t*>(prepared[1])};
        gfniAvx512Pair(targets, sources, count, matrices, offset, bytes);
    }

  private:
    bool wide_;
};

} // namespace

std::unique_ptr<GfKernel> makeGfniKernel(bool wide) {
    return std::make_unique<GfniKernel>(wide);
}

} // namespace shardix::par2

#endif
