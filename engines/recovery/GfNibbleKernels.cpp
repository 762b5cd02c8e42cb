#include "engines/recovery/GfX86.h"

#if defined(__x86_64__)

#include "engines/recovery/Gf16.h"

#include <immintrin.h>

namespace shardix::par2 {

namespace {

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

} // namespace

std::unique_ptr<GfKernel> makeNibbleKernel(bool wide) {
    return std::make_unique<NibbleKernel>(wide);
}

} // namespace shardix::par2

#endif
