#pragma once

#include "engines/recovery/GfKernel.h"

#include <memory>
#include <string>

namespace shardix::par2 {

// The kernels written for the vector units of x86-64 processors ("avx2",
// "avx512bw", "gfni-avx2", "gfni-avx512"). Null for another name, or when this
// processor (or its operating system) lacks the instructions the kernel needs.
std::unique_ptr<GfKernel> makeX86Kernel(const std::string& name);

} // namespace shardix::par2
