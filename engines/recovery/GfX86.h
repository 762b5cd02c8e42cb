#pragma once

// The x86-64 kernels' shared parts: the attributes of the functions that use
// instruction sets the build does not assume, and the Split128 layout that
// they all keep blocks in (GfSplitLayout.cpp). The kernels themselves are in
// GfNibbleKernels.cpp and GfGfniKernels.cpp; makeX86Kernel() (GfKernelsX86.cpp)
// chooses among them.

#include "engines/recovery/GfKernel.h"

#include <memory>

#if defined(__x86_64__)

namespace shardix::par2 {

// The functions with a target attribute hold every instruction of a set that
// the build does not assume; they run only after the processor was asked.
#define SHARDIX_AVX2 __attribute__((target("avx2")))
#define SHARDIX_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))
#define SHARDIX_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))
#define SHARDIX_GFNI_AVX2 __attribute__((target("avx2,gfni")))
#define SHARDIX_GFNI_AVX512 __attribute__((target("avx2,avx512f,avx512bw,gfni")))

// The kernels that keep blocks in the Split128 layout, brought into it and
// back by the widest instructions this processor has.
class SplitKernel : public GfKernel {
  public:
    SplitKernel();
    GfLayout layout() const override { return GfLayout::Split128; }
    void toLayout(std::uint8_t* target, const std::uint8_t* source,
                  std::size_t bytes) const override;
    void fromLayout(std::uint8_t* target, const std::uint8_t* source,
                    std::size_t bytes) const override;

  private:
    enum class SplitCode { Scalar, Avx2, Vbmi };
    SplitCode split_;
};

// The four-bit table kernels, "avx2" or (`wide`) "avx512bw".
std::unique_ptr<GfKernel> makeNibbleKernel(bool wide);
// The GFNI kernels, "gfni-avx2" or (`wide`) "gfni-avx512".
std::unique_ptr<GfKernel> makeGfniKernel(bool wide);

} // namespace shardix::par2

#endif
