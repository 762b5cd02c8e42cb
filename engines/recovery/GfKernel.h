#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace shardix::par2 {

// Block buffers are a whole number of these bytes long; the bytes past a
// block's end are zero, which adds nothing to any product.
inline constexpr std::size_t kBlockAlign = 128;

// How a kernel keeps a block in memory.
enum class GfLayout {
    Words,    // as in the files: 16-bit little-endian words
    Split128, // units of 128 bytes (64 words): their 64 low bytes, then their 64 high bytes
};

// The inner loop of every PAR 2.0 computation: a block multiplied by a
// constant of GF(2^16) and added into another, for many blocks at once. The
// implementations differ in the processor instructions they use; each gives
// the same results as the portable one.
class GfKernel {
  public:
    virtual ~GfKernel() = default;

    virtual std::string name() const = 0;
    virtual GfLayout layout() const = 0;

    // Bytes that prepare() writes for one factor.
    virtual std::size_t preparedSize() const = 0;
    // Turns `factor` into the form multiplyAdd() reads (tables, bit matrices).
    virtual void prepare(std::uint16_t factor, void* prepared) const = 0;

    // target[0, bytes) ^= sum over k < count of factor_k * sources[k][offset, offset + bytes),
    // where `prepared` holds the count prepared factors one after the other.
    // All in this kernel's layout; `offset` and `bytes` are multiples of kBlockAlign.
    virtual void multiplyAdd(std::uint8_t* target, const std::uint8_t* const* sources,
                             std::size_t count, const void* prepared, std::size_t offset,
                             std::size_t bytes) const = 0;
    // multiplyAdd() into two targets at once, each with its own prepared
    // factors: each input read once for both, which some kernels make
    // nearly twice as fast. By default, one target after the other.
    virtual void multiplyAddPair(std::uint8_t* const targets[2], const std::uint8_t* const* sources,
                                 std::size_t count, const void* const prepared[2],
                                 std::size_t offset, std::size_t bytes) const {
        multiplyAdd(targets[0], sources, count, prepared[0], offset, bytes);
        multiplyAdd(targets[1], sources, count, prepared[1], offset, bytes);
    }

    // From the files' order of bytes into this kernel's layout and back;
    // `bytes` is a multiple of kBlockAlign. Target and source are the same
    // memory or do not overlap.
    virtual void toLayout(std::uint8_t* target, const std::uint8_t* source,
                          std::size_t bytes) const;
    virtual void fromLayout(std::uint8_t* target, const std::uint8_t* source,
                            std::size_t bytes) const;
};

// Every kernel this processor can run, the portable one first.
std::vector<std::unique_ptr<GfKernel>> availableGfKernels();

// The kernel named `name` ("portable", "gf-complete", "avx2", "avx512bw",
// "gfni-avx2", "gfni-avx512"), or the fastest this processor can run for an
// empty name. Null when it is unknown or this processor lacks its instructions.
std::unique_ptr<GfKernel> makeGfKernel(const std::string& name = {});

// The names of every kernel, whether this processor can run it or not.
std::vector<std::string> gfKernelNames();

} // namespace shardix::par2
