#include "engines/recovery/GfMatrix.h"

#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/Gf16.h"

#include <algorithm>
#include <cstring>

namespace shardix::par2 {

std::uint16_t wordAt(GfLayout layout, const std::uint8_t* block, std::size_t index) {
    if (layout == GfLayout::Words)
        return static_cast<std::uint16_t>(block[2 * index] | block[2 * index + 1] << 8);
    const std::uint8_t* unit = block + index / 64 * kBlockAlign;
    return static_cast<std::uint16_t>(unit[index % 64] | unit[64 + index % 64] << 8);
}

Result<bool> invertMatrix(const GfKernel& kernel, WorkerPool& pool,
                          std::vector<std::uint16_t>& matrix, std::size_t size) {
    const Gf16& gf = gf16();
    const GfLayout layout = kernel.layout();
    // Each row is [the matrix's row | the identity's row], in the kernel's layout.
    const std::size_t rowBytes = paddedSize(4 * size);
    AlignedBytes memory = allocateAligned((size + 1) * rowBytes);
    std::vector<std::uint8_t*> rows(size);
    for (std::size_t r = 0; r < size; ++r) {
        std::uint8_t* row = memory.get() + r * rowBytes;
        std::memset(row, 0, rowBytes);
        for (std::size_t c = 0; c < size; ++c) {
            row[2 * c] = static_cast<std::uint8_t>(matrix[r * size + c]);
            row[2 * c + 1] = static_cast<std::uint8_t>(matrix[r * size + c] >> 8);
        }
        row[2 * (size + r)] = 1;
        kernel.toLayout(row, row, rowBytes);
        rows[r] = row;
    }
    std::uint8_t* spare = memory.get() + size * rowBytes;
    const std::size_t preparedSize = kernel.preparedSize();
    std::vector<std::uint8_t> pivotFactor(preparedSize);
    const std::size_t parts = std::min<std::size_t>(size, 4 * pool.size());
    std::vector<std::vector<std::uint8_t>> prepared(parts, std::vector<std::uint8_t>(preparedSize));

    for (std::size_t column = 0; column < size; ++column) {
        std::size_t pivot = column;
        while (pivot < size && wordAt(layout, rows[pivot], column) == 0)
            ++pivot;
        if (pivot == size)
            return false;
        std::swap(rows[pivot], rows[column]);
        // The pivot row scaled so that its pivot is 1.
        std::memset(spare, 0, rowBytes);
        kernel.prepare(gf.divide(1, wordAt(layout, rows[column], column)), pivotFactor.data());
        const std::uint8_t* pivotRow = rows[column];
        kernel.multiplyAdd(spare, &pivotRow, 1, pivotFactor.data(), 0, rowBytes);
        std::swap(spare, rows[column]);
        pivotRow = rows[column];
        // Every other row loses its multiple of the pivot row.
        Result<> eliminated = pool.run(parts, [&](std::size_t part, unsigned) -> Result<> {
            for (std::size_t r = size * part / parts; r < size * (part + 1) / parts; ++r) {
                const std::uint16_t factor = wordAt(layout, rows[r], column);
                if (r == column || factor == 0)
                    continue;
                kernel.prepare(factor, prepared[part].data());
                kernel.multiplyAdd(rows[r], &pivotRow, 1, prepared[part].data(), 0, rowBytes);
            }
            return {};
        });
        if (!eliminated.ok())
            return eliminated.error();
    }
    std::vector<std::uint8_t> natural(rowBytes);
    for (std::size_t r = 0; r < size; ++r) {
        kernel.fromLayout(natural.data(), rows[r], rowBytes);
        for (std::size_t c = 0; c < size; ++c)
            matrix[r * size + c] = static_cast<std::uint16_t>(natural[2 * (size + c)] |
                                                              natural[2 * (size + c) + 1] << 8);
    }
    return true;
}

} // namespace shardix::par2
