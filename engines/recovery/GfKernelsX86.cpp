#include "engines/recovery/GfKernelsX86.h"

#include "engines/recovery/Gf16.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace shardix::par2 {

#if defined(__x86_64__)

namespace {

// The functions with a target attribute hold every instruction of a set that
// the build does not assume; they run only after the processor was asked.
#define SHARDIX_AVX2 __attribute__((target("avx2")))
#define SHARDIX_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))
#define SHARDIX_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))
#define SHARDIX_GFNI_AVX2 __attribute__((target("avx2,gfni")))
#define SHARDIX_GFNI_AVX512 __attribute__((target("avx2,avx512f,avx512bw,gfni")))

// ---- Split128 layout: each 128-byte unit as its 64 low bytes, then its 64 high bytes.

// Every routine reads a whole unit before it writes it, so that target and
// source may be the same memory.

void splitScalar(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    std::uint8_t unitBytes[kBlockAlign];
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        std::memcpy(unitBytes, source + unit, kBlockAlign);
        for (std::size_t i = 0; i < 64; ++i) {
            target[unit + i] = unitBytes[2 * i];
            target[unit + 64 + i] = unitBytes[2 * i + 1];
        }
    }
}

void joinScalar(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    std::uint8_t unitBytes[kBlockAlign];
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        std::memcpy(unitBytes, source + unit, kBlockAlign);
        for (std::size_t i = 0; i < 64; ++i) {
            target[unit + 2 * i] = unitBytes[i];
            target[unit + 2 * i + 1] = unitBytes[64 + i];
        }
    }
}

SHARDIX_AVX2 void splitAvx2(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    // Within each 16-byte lane: the even (low) bytes first, then the odd ones.
    const __m256i evenOdd = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,
                                             0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        __m256i part[4];
        for (int i = 0; i < 4; ++i) {
            const __m256i words =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + unit + 32 * i));
            // 16 low bytes, then 16 high bytes.
            part[i] = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(words, evenOdd), 0xD8);
        }
        auto* out = reinterpret_cast<__m256i*>(target + unit);
        _mm256_storeu_si256(out + 0, _mm256_permute2x128_si256(part[0], part[1], 0x20));
        _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(part[2], part[3], 0x20));
        _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(part[0], part[1], 0x31));
        _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(part[2], part[3], 0x31));
    }
}

SHARDIX_AVX2 void joinAvx2(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        const auto* in = reinterpret_cast<const __m256i*>(source + unit);
        auto* out = reinterpret_cast<__m256i*>(target + unit);
        const __m256i low[2] = {_mm256_loadu_si256(in), _mm256_loadu_si256(in + 1)};
        const __m256i high[2] = {_mm256_loadu_si256(in + 2), _mm256_loadu_si256(in + 3)};
        for (int half = 0; half < 2; ++half) {
            // Words 0-7 and 16-23 of the half, then words 8-15 and 24-31.
            const __m256i first = _mm256_unpacklo_epi8(low[half], high[half]);
            const __m256i second = _mm256_unpackhi_epi8(low[half], high[half]);
            _mm256_storeu_si256(out + 2 * half, _mm256_permute2x128_si256(first, second, 0x20));
            _mm256_storeu_si256(out + 2 * half + 1, _mm256_permute2x128_si256(first, second, 0x31));
        }
    }
}

struct ByteIndices {
    alignas(64) std::uint8_t even[64], odd[64], firstHalf[64], secondHalf[64];
    ByteIndices() {
        for (int i = 0; i < 64; ++i) {
            even[i] = static_cast<std::uint8_t>(2 * i);
            odd[i] = static_cast<std::uint8_t>(2 * i + 1);
        }
        for (int i = 0; i < 32; ++i) {
            firstHalf[2 * i] = static_cast<std::uint8_t>(i);
            firstHalf[2 * i + 1] = static_cast<std::uint8_t>(64 + i);
            secondHalf[2 * i] = static_cast<std::uint8_t>(32 + i);
            secondHalf[2 * i + 1] = static_cast<std::uint8_t>(96 + i);
        }
    }
};

const ByteIndices& byteIndices() {
    static const ByteIndices indices;
    return indices;
}

SHARDIX_VBMI void splitVbmi(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    const ByteIndices& indices = byteIndices();
    const __m512i even = _mm512_load_si512(indices.even);
    const __m512i odd = _mm512_load_si512(indices.odd);
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        const __m512i a = _mm512_loadu_si512(source + unit);
        const __m512i b = _mm512_loadu_si512(source + unit + 64);
        _mm512_storeu_si512(target + unit, _mm512_permutex2var_epi8(a, even, b));
        _mm512_storeu_si512(target + unit + 64, _mm512_permutex2var_epi8(a, odd, b));
    }
}

SHARDIX_VBMI void joinVbmi(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) {
    const ByteIndices& indices = byteIndices();
    const __m512i first = _mm512_load_si512(indices.firstHalf);
    const __m512i second = _mm512_load_si512(indices.secondHalf);
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        const __m512i low = _mm512_loadu_si512(source + unit);
        const __m512i high = _mm512_loadu_si512(source + unit + 64);
        _mm512_storeu_si512(target + unit, _mm512_permutex2var_epi8(low, first, high));
        _mm512_storeu_si512(target + unit + 64, _mm512_permutex2var_epi8(low, second, high));
    }
}

enum class SplitCode { Scalar, Avx2, Vbmi };

SplitCode bestSplit() {
    if (__builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw"))
        return SplitCode::Vbmi;
    if (__builtin_cpu_supports("avx2"))
        return SplitCode::Avx2;
    return SplitCode::Scalar;
}

// The kernels that keep blocks in the Split128 layout.
class SplitKernel : public GfKernel {
  public:
    GfLayout layout() const override { return GfLayout::Split128; }
    void toLayout(std::uint8_t* target, const std::uint8_t* source,
                  std::size_t bytes) const override {
        switch (split_) {
        case SplitCode::Vbmi:
            return splitVbmi(target, source, bytes);
        case SplitCode::Avx2:
            return splitAvx2(target, source, bytes);
        case SplitCode::Scalar:
            return splitScalar(target, source, bytes);
        }
    }
    void fromLayout(std::uint8_t* target, const std::uint8_t* source,
                    std::size_t bytes) const override {
        switch (split_) {
        case SplitCode::Vbmi:
            return joinVbmi(target, source, bytes);
        case SplitCode::Avx2:
            return joinAvx2(target, source, bytes);
        case SplitCode::Scalar:
            return joinScalar(target, source, bytes);
        }
    }

  private:
    SplitCode split_ = bestSplit();
};

// ---- Four-bit tables: a word is the sum of its four nibbles, and the product
// of a factor with each nibble comes from a table of 16 entries that a byte
// shuffle looks up, 32 or 64 at a time. Eight tables of 16 bytes per factor:
// for nibble n, the low bytes of the products, then their high bytes.

void prepareNibbleTables(std::uint16_t factor, void* prepared) {
    const Gf16& gf = gf16();
    auto* tables = static_cast<std::uint8_t*>(prepared);
    for (int nibble = 0; nibble < 4; ++nibble) {
        for (int value = 0; value < 16; ++value) {
            const std::uint16_t product =
                gf.multiply(factor, static_cast<std::uint16_t>(value << (4 * nibble)));
            tables[32 * nibble + value] = static_cast<std::uint8_t>(product);
            tables[32 * nibble + 16 + value] = static_cast<std::uint8_t>(product >> 8);
        }
    }
}

// Adds the products of 32 words (their low and high bytes) by the factor
// whose eight tables are at `t` into `low` and `high`.
SHARDIX_AVX2 inline void nibbleProductAvx2(const __m128i* t, __m256i lowBytes, __m256i highBytes,
                                           __m256i& low, __m256i& high) {
    const __m256i mask = _mm256_set1_epi8(0x0F);
    const __m256i n0 = _mm256_and_si256(lowBytes, mask);
    const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lowBytes, 4), mask);
    const __m256i n2 = _mm256_and_si256(highBytes, mask);
    const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(highBytes, 4), mask);
#define SHARDIX_TABLE(i) _mm256_broadcastsi128_si256(_mm_loadu_si128(t + (i)))
    low = _mm256_xor_si256(
        low, _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(SHARDIX_TABLE(0), n0),
                                               _mm256_shuffle_epi8(SHARDIX_TABLE(2), n1)),
                              _mm256_xor_si256(_mm256_shuffle_epi8(SHARDIX_TABLE(4), n2),
                                               _mm256_shuffle_epi8(SHARDIX_TABLE(6), n3))));
    high = _mm256_xor_si256(
        high, _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(SHARDIX_TABLE(1), n0),
                                                _mm256_shuffle_epi8(SHARDIX_TABLE(3), n1)),
                               _mm256_xor_si256(_mm256_shuffle_epi8(SHARDIX_TABLE(5), n2),
                                                _mm256_shuffle_epi8(SHARDIX_TABLE(7), n3))));
#undef SHARDIX_TABLE
}

SHARDIX_AVX2 void nibbleAvx2(std::uint8_t* target, const std::uint8_t* const* sources,
                             std::size_t count, const std::uint8_t* prepared, std::size_t offset,
                             std::size_t bytes) {
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        auto* out = reinterpret_cast<__m256i*>(target + unit);
        __m256i low0 = _mm256_loadu_si256(out), low1 = _mm256_loadu_si256(out + 1);
        __m256i high0 = _mm256_loadu_si256(out + 2), high1 = _mm256_loadu_si256(out + 3);
        for (std::size_t k = 0; k < count; ++k) {
            const auto* t = reinterpret_cast<const __m128i*>(prepared + 128 * k);
            const auto* in = reinterpret_cast<const __m256i*>(sources[k] + offset + unit);
            nibbleProductAvx2(t, _mm256_loadu_si256(in), _mm256_loadu_si256(in + 2), low0, high0);
            nibbleProductAvx2(t, _mm256_loadu_si256(in + 1), _mm256_loadu_si256(in + 3), low1,
                              high1);
        }
        _mm256_storeu_si256(out, low0);
        _mm256_storeu_si256(out + 1, low1);
        _mm256_storeu_si256(out + 2, high0);
        _mm256_storeu_si256(out + 3, high1);
    }
}

SHARDIX_AVX512 void nibbleAvx512(std::uint8_t* target, const std::uint8_t* const* sources,
                                 std::size_t count, const std::uint8_t* prepared,
                                 std::size_t offset, std::size_t bytes) {
    const __m512i mask = _mm512_set1_epi8(0x0F);
    for (std::size_t unit = 0; unit < bytes; unit += kBlockAlign) {
        __m512i low = _mm512_loadu_si512(target + unit);
        __m512i high = _mm512_loadu_si512(target + unit + 64);
        for (std::size_t k = 0; k < count; ++k) {
            const auto* t = reinterpret_cast<const __m128i*>(prepared + 128 * k);
#define table(i) _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_loadu_si128(t + (i)))
            const std::uint8_t* in = sources[k] + offset + unit;
            const __m512i lowBytes = _mm512_loadu_si512(in);
            const __m512i highBytes = _mm512_loadu_si512(in + 64);
            const __m512i n0 = _mm512_and_si512(lowBytes, mask);
            const __m512i n1 = _mm512_and_si512(_mm512_srli_epi16(lowBytes, 4), mask);
            const __m512i n2 = _mm512_and_si512(highBytes, mask);
            const __m512i n3 = _mm512_and_si512(_mm512_srli_epi16(highBytes, 4), mask);
            // 0x96: the exclusive or of all three operands.
            low = _mm512_ternarylogic_epi64(low, _mm512_shuffle_epi8(table(0), n0),
                                            _mm512_shuffle_epi8(table(2), n1), 0x96);
            low = _mm512_ternarylogic_epi64(low, _mm512_shuffle_epi8(table(4), n2),
                                            _mm512_shuffle_epi8(table(6), n3), 0x96);
            high = _mm512_ternarylogic_epi64(high, _mm512_shuffle_epi8(table(1), n0),
                                             _mm512_shuffle_epi8(table(3), n1), 0x96);
            high = _mm512_ternarylogic_epi64(high, _mm512_shuffle_epi8(table(5), n2),
                                             _mm512_shuffle_epi8(table(7), n3), 0x96);
#undef table
        }
        _mm512_storeu_si512(target + unit, low);
        _mm512_storeu_si512(target + unit + 64, high);
    }
}

class NibbleKernel final : public SplitKernel {
  public:
    explicit NibbleKernel(bool wide) : wide_(wide) {}
    std::string name() const override { return wide_ ? "avx512bw" : "avx2"; }
    std::size_t preparedSize() const override { return 128; }
    void prepare(std::uint16_t factor, void* prepared) const override {
        prepareNibbleTables(factor, prepared);
    }
    void multiplyAdd(std::uint8_t* target, const std::uint8_t* const* sources, std::size_t count,
                     const void* prepared, std::size_t offset, std::size_t bytes) const override {
        const auto* tables = static_cast<const std::uint8_t*>(prepared);
        if (wide_)
            nibbleAvx512(target, sources, count, tables, offset, bytes);
        else
            nibbleAvx2(target, sources, count, tables, offset, bytes);
    }

  private:
    bool wide_;
};

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

  private:
    bool wide_;
};

} // namespace

std::unique_ptr<GfKernel> makeX86Kernel(const std::string& name) {
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    const bool avx512 =
        avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    const bool gfni = __builtin_cpu_supports("gfni");
    if (name == "avx2" && avx2)
        return std::make_unique<NibbleKernel>(false);
    if (name == "avx512bw" && avx512)
        return std::make_unique<NibbleKernel>(true);
    if (name == "gfni-avx2" && avx2 && gfni)
        return std::make_unique<GfniKernel>(false);
    if (name == "gfni-avx512" && avx512 && gfni)
        return std::make_unique<GfniKernel>(true);
    return nullptr;
}

#else

std::unique_ptr<GfKernel> makeX86Kernel(const std::string&) {
    return nullptr;
}

#endif

} // namespace shardix::par2
