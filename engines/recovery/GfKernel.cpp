#include "engines/recovery/GfKernel.h"

#include "engines/recovery/Gf16.h"
#include "engines/recovery/GfKernelsX86.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <gf_complete.h>
}

namespace shardix::par2 {

void GfKernel::toLayout(std::uint8_t* target, const std::uint8_t* source, std::size_t bytes) const {
    if (target != source)
        std::memcpy(target, source, bytes);
}

void GfKernel::fromLayout(std::uint8_t* target, const std::uint8_t* source,
                          std::size_t bytes) const {
    if (target != source)
        std::memcpy(target, source, bytes);
}

namespace {

// Two tables of 256 products per factor, one for the low byte of a word and
// one for its high byte; a word's product is the sum of the two entries.
class PortableKernel final : public GfKernel {
  public:
    std::string name() const override { return "portable"; }
    GfLayout layout() const override { return GfLayout::Words; }
    std::size_t preparedSize() const override { return sizeof(Tables); }

    void prepare(std::uint16_t factor, void* prepared) const override {
        const Gf16& gf = gf16();
        auto* tables = static_cast<Tables*>(prepared);
        for (unsigned byte = 0; byte < 256; ++byte) {
            tables->low[byte] = gf.multiply(factor, static_cast<std::uint16_t>(byte));
            tables->high[byte] = gf.multiply(factor, static_cast<std::uint16_t>(byte << 8));
        }
    }

    void multiplyAdd(std::uint8_t* target, const std::uint8_t* const* sources, std::size_t count,
                     const void* prepared, std::size_t offset, std::size_t bytes) const override {
        const auto* tables = static_cast<const Tables*>(prepared);
        for (std::size_t k = 0; k < count; ++k) {
            const Tables& t = tables[k];
            const std::uint8_t* source = sources[k] + offset;
            for (std::size_t i = 0; i < bytes; i += 2) {
                const std::uint16_t product = t.low[source[i]] ^ t.high[source[i + 1]];
                target[i] ^= static_cast<std::uint8_t>(product);
                target[i + 1] ^= static_cast<std::uint8_t>(product >> 8);
            }
        }
    }

  private:
    struct Tables {
        std::uint16_t low[256];
        std::uint16_t high[256];
    };
};

// GF-Complete's region multiplication for w = 16, given the PAR 2.0
// polynomial; it works on words in the processor's byte order, which is the
// files' order on this little-endian machine.
class GfCompleteKernel final : public GfKernel {
  public:
    GfCompleteKernel() {
        ready_ = gf_init_hard(&field_, 16, GF_MULT_DEFAULT, GF_REGION_DEFAULT, GF_DIVIDE_DEFAULT,
                              Gf16::kPolynomial, 0, 0, nullptr, nullptr) != 0;
    }
    ~GfCompleteKernel() override {
        if (ready_)
            gf_free(&field_, 1);
    }
    GfCompleteKernel(const GfCompleteKernel&) = delete;
    GfCompleteKernel& operator=(const GfCompleteKernel&) = delete;

    bool ready() const { return ready_; }
    std::string name() const override { return "gf-complete"; }
    GfLayout layout() const override { return GfLayout::Words; }
    std::size_t preparedSize() const override { return sizeof(std::uint16_t); }

    void prepare(std::uint16_t factor, void* prepared) const override {
        std::memcpy(prepared, &factor, sizeof factor);
    }

    void multiplyAdd(std::uint8_t* target, const std::uint8_t* const* sources, std::size_t count,
                     const void* prepared, std::size_t offset, std::size_t bytes) const override {
        const auto* factors = static_cast<const std::uint8_t*>(prepared);
        // The library's functions take its field by a non-const pointer; the
        // region multiplication only reads it.
        auto* field = const_cast<gf_t*>(&field_);
        for (std::size_t k = 0; k < count; ++k) {
            std::uint16_t factor;
            std::memcpy(&factor, factors + k * sizeof factor, sizeof factor);
            field_.multiply_region.w32(field, const_cast<std::uint8_t*>(sources[k] + offset),
                                       target, factor, static_cast<int>(bytes), 1);
        }
    }

  private:
    gf_t field_{};
    bool ready_ = false;
};

std::unique_ptr<GfKernel> makeGfComplete() {
    auto kernel = std::make_unique<GfCompleteKernel>();
    if (!kernel->ready())
        return nullptr;
    return kernel;
}

} // namespace

std::vector<std::string> gfKernelNames() {
    return {"portable", "gf-complete", "avx2", "avx512bw", "gfni-avx2", "gfni-avx512"};
}

std::unique_ptr<GfKernel> makeGfKernel(const std::string& name) {
    if (name.empty()) {
        // The fastest first, as measured on processors that have them all.
        for (const char* candidate : {"gfni-avx512", "gfni-avx2", "avx512bw", "avx2"}) {
            if (auto kernel = makeGfKernel(candidate))
                return kernel;
        }
        return makeGfKernel("gf-complete");
    }
    if (name == "portable")
        return std::make_unique<PortableKernel>();
    if (name == "gf-complete")
        return makeGfComplete();
    return makeX86Kernel(name);
}

std::vector<std::unique_ptr<GfKernel>> availableGfKernels() {
    std::vector<std::unique_ptr<GfKernel>> kernels;
    for (const std::string& name : gfKernelNames()) {
        if (auto kernel = makeGfKernel(name))
            kernels.push_back(std::move(kernel));
    }
    return kernels;
}

} // namespace shardix::par2
