#include "engines/recovery/GfKernelsX86.h"

#include "engines/recovery/GfX86.h"

namespace shardix::par2 {

#if defined(__x86_64__)

std::unique_ptr<GfKernel> makeX86Kernel(const std::string& name) {
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    const bool avx512 =
        avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    const bool gfni = __builtin_cpu_supports("gfni");
    if (name == "avx2" && avx2)
        return makeNibbleKernel(false);
    if (name == "avx512bw" && avx512)
        return makeNibbleKernel(true);
    if (name == "gfni-avx2" && avx2 && gfni)
        return makeGfniKernel(false);
    if (name == "gfni-avx512" && avx512 && gfni)
        return makeGfniKernel(true);
    return nullptr;
}

#else

std::unique_ptr<GfKernel> makeX86Kernel(const std::string&) {
    return nullptr;
}

#endif

} // namespace shardix::par2
