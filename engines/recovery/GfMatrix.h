#pragma once

#include "engines/recovery/GfKernel.h"
#include "engines/recovery/WorkerPool.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shardix::par2 {

// Word `index` (16 bits) of a block kept in `layout`.
std::uint16_t wordAt(GfLayout layout, const std::uint8_t* block, std::size_t index);

// Replaces the `size` x `size` matrix (row-major) by its inverse, by
// Gauss-Jordan elimination whose row operations are the kernel's
// multiply-adds, spread over the pool. False when the matrix is singular; the
// Error of the pool's tasks when they fail.
Result<bool> invertMatrix(const GfKernel& kernel, WorkerPool& pool,
                          std::vector<std::uint16_t>& matrix, std::size_t size);

} // namespace shardix::par2
