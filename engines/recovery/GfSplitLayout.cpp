#include "engines/recovery/GfX86.h"

#if defined(__x86_64__)

#include <cstring>
#include <immintrin.h>

namespace shardix::par2 {

namespace {

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

} // namespace

SplitKernel::SplitKernel() {
    if (__builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw"))
        split_ = SplitCode::Vbmi;
    else if (__builtin_cpu_supports("avx2"))
        split_ = SplitCode::Avx2;
    else
        split_ = SplitCode::Scalar;
}

void SplitKernel::toLayout(std::uint8_t* target, const std::uint8_t* source,
                           std::size_t bytes) const {
    switch (split_) {
    case SplitCode::Vbmi:
        return splitVbmi(target, source, bytes);
    case SplitCode::Avx2:
        return splitAvx2(target, source, bytes);
    case SplitCode::Scalar:
        return splitScalar(target, source, bytes);
    }
}

void SplitKernel::fromLayout(std::uint8_t* target, const std::uint8_t* source,
                             std::size_t bytes) const {
    switch (split_) {
    case SplitCode::Vbmi:
        return joinVbmi(target, source, bytes);
    case SplitCode::Avx2:
        return joinAvx2(target, source, bytes);
    case SplitCode::Scalar:
        return joinScalar(target, source, bytes);
    }
}

} // namespace shardix::par2

#endif
