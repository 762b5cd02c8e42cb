// recovery-bench: creates, verifies and repairs PAR 2.0 recovery files with
// the engine of engines/recovery, and measures its multiply-add kernels.
//
//   recovery-bench plan [-r PERCENT] [-s BLOCKSIZE] PIECE...
//   recovery-bench create [-r PERCENT] [-s BLOCKSIZE] [OPTIONS] INDEX PIECE...
//   recovery-bench verify [OPTIONS] INDEX
//   recovery-bench repair [OPTIONS] INDEX
//   recovery-bench kernels [-s BLOCKSIZE] [--threads N]
//
// OPTIONS: --kernel NAME, --threads N, --memory BYTES, --quiet.
// Exit status: 0 done (and, for verify, every file intact), 1 failed or
// damaged, 2 wrong arguments.

#include "engines/recovery/BlockAccumulator.h"
#include "engines/recovery/GfKernel.h"
#include "engines/recovery/RecoveryEncoder.h"
#include "engines/recovery/RecoveryPlan.h"
#include "engines/recovery/RecoveryRepair.h"
#include "engines/recovery/WorkerPool.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace shardix;

namespace {

struct Arguments {
    std::string command;
    int percent = 10;
    std::uint64_t blockSize = 0;
    bool quiet = false;
    RecoveryControl control;
    std::vector<std::string> operands;
};

int usage() {
    std::fputs("usage: recovery-bench plan|create|verify|repair|kernels [-r PERCENT] "
               "[-s BLOCKSIZE] [--kernel NAME] [--threads N] [--memory BYTES] [--quiet] "
               "[INDEX] [PIECE...]\n",
               stderr);
    return 2;
}

bool parse(int argc, char** argv, Arguments& arguments) {
    if (argc < 2)
        return false;
    arguments.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (word == "-r" || word == "-s" || word == "--kernel" || word == "--threads" ||
            word == "--memory") {
            const char* text = value();
            if (!text)
                return false;
            if (word == "-r")
                arguments.percent = std::atoi(text);
            else if (word == "-s")
                arguments.blockSize = std::strtoull(text, nullptr, 10);
            else if (word == "--kernel")
                arguments.control.kernel = text;
            else if (word == "--threads")
                arguments.control.threads = static_cast<unsigned>(std::atoi(text));
            else
                arguments.control.memory = std::strtoll(text, nullptr, 10);
        } else if (word == "--quiet") {
            arguments.quiet = true;
        } else {
            arguments.operands.push_back(word);
        }
    }
    return true;
}

std::vector<std::int64_t> lengthsOf(const std::vector<std::string>& paths) {
    std::vector<std::int64_t> lengths;
    for (const std::string& path : paths) {
        struct stat info {};
        lengths.push_back(::stat(path.c_str(), &info) == 0 ? info.st_size : 0);
    }
    return lengths;
}

void printPlan(const RecoveryPlan& plan, const std::string& index) {
    std::printf("block size %llu, %u data blocks, %u recovery blocks in %zu volumes\n",
                static_cast<unsigned long long>(plan.blockSize), plan.dataBlocks,
                plan.recoveryBlocks, plan.volumes.size());
    for (std::size_t v = 0; v < plan.volumes.size(); ++v)
        std::printf("  %s\n", plan.volumeName(index, v).c_str());
}

const char* stateName(RecoveryFileState state) {
    switch (state) {
    case RecoveryFileState::Ok:
        return "OK";
    case RecoveryFileState::Missing:
        return "missing";
    case RecoveryFileState::Damaged:
        return "damaged";
    }
    return "?";
}

void printReport(const RecoveryReport& report) {
    for (const RecoveryFileReport& file : report.files) {
        std::printf("%s: %s", file.name.c_str(), stateName(file.state));
        if (!file.detail.empty())
            std::printf(" (%s)", file.detail.c_str());
        if (file.rebuilt)
            std::printf(", rebuilt%s%s", file.setAside.empty() ? "" : "; damaged copy now ",
                        file.setAside.c_str());
        std::printf("\n");
    }
    for (const std::string& note : report.notes)
        std::printf("note: %s\n", note.c_str());
    std::printf("%u data blocks of %llu bytes, %u missing, %u recovery blocks at hand\n",
                report.dataBlocks, static_cast<unsigned long long>(report.blockSize),
                report.missingBlocks, report.recoveryBlocks);
}

int failed(const Error& error) {
    std::fprintf(stderr, "%s\n", error.withFile().c_str());
    return 1;
}

// Verifies or repairs; a repair that fails shows what its verification found.
int checkSet(const Arguments& arguments) {
    RecoveryControl control = arguments.control;
    std::optional<RecoveryReport> verified;
    control.verified = [&verified](const RecoveryReport& report) { verified = report; };
    const std::string& index = arguments.operands[0];
    const Result<RecoveryReport> done = arguments.command == "verify"
                                            ? verifyRecovery(index, control)
                                            : repairRecovery(index, control);
    if (!done.ok()) {
        if (verified && !arguments.quiet)
            printReport(*verified);
        return failed(done.error());
    }
    if (!arguments.quiet)
        printReport(*done);
    return done->complete() ? 0 : 1;
}

constexpr std::size_t kKernelInputs = 64, kKernelOutputs = 64;

// The best of three rounds of `kernel`, in GB/s.
Result<double> kernelThroughput(const par2::GfKernel& kernel, par2::WorkerPool& pool,
                                std::uint64_t blockSize, std::mt19937& random) {
    par2::BlockAccumulator accumulator(kernel, pool, blockSize, 16);
    double best = 0;
    for (int round = 0; round < 3; ++round) {
        Result<> ran = accumulator.begin(kKernelOutputs, [](std::uint32_t tag, std::size_t output) {
            return static_cast<std::uint16_t>(tag * 7919 + output * 104729 + 1);
        });
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < kKernelInputs && ran.ok(); ++i) {
            std::uint8_t* bytes = accumulator.inputBuffer();
            for (std::uint64_t b = 0; b < blockSize; b += 64)
                bytes[b] = static_cast<std::uint8_t>(random());
            ran = accumulator.add(static_cast<std::uint32_t>(i), blockSize);
        }
        if (ran.ok())
            ran = accumulator.end();
        if (!ran.ok())
            return ran.error();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, static_cast<double>(blockSize) * kKernelInputs * kKernelOutputs /
                                  seconds / 1e9);
    }
    return best;
}

// Multiply-add throughput of each kernel: 64 input blocks into 64 outputs.
int measureKernels(const Arguments& arguments) {
    const std::uint64_t blockSize = arguments.blockSize ? arguments.blockSize : 1 << 20;
    std::mt19937 random(7);
    par2::WorkerPool pool(arguments.control.threads);
    std::printf("%-12s %12s  (%u threads, blocks of %llu bytes, %zu inputs into %zu outputs)\n",
                "kernel", "GB/s", pool.size(), static_cast<unsigned long long>(blockSize),
                kKernelInputs, kKernelOutputs);
    for (const auto& kernel : par2::availableGfKernels()) {
        const Result<double> best = kernelThroughput(*kernel, pool, blockSize, random);
        if (!best.ok())
            return failed(best.error());
        std::printf("%-12s %12.2f\n", kernel->name().c_str(), *best);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (!parse(argc, argv, arguments))
        return usage();
    const std::string& command = arguments.command;
    const auto& operands = arguments.operands;
    if (command == "kernels")
        return measureKernels(arguments);
    if (command == "plan" || command == "create") {
        const std::size_t first = command == "create" ? 1 : 0;
        if (operands.size() <= first)
            return usage();
        const std::vector<std::string> pieces(operands.begin() + static_cast<std::ptrdiff_t>(first),
                                              operands.end());
        const Result<RecoveryPlan> planned =
            planRecovery(lengthsOf(pieces), arguments.percent, arguments.blockSize);
        if (!planned.ok())
            return failed(planned.error());
        const RecoveryPlan& plan = *planned;
        const std::string index = first ? operands[0] : "BASE.par2";
        if (command == "plan" || !arguments.quiet)
            printPlan(plan, index);
        if (command == "plan")
            return 0;
        const Result<> created = createRecovery(index, pieces, plan, arguments.control, true);
        return created.ok() ? 0 : failed(created.error());
    }
    if ((command == "verify" || command == "repair") && operands.size() == 1)
        return checkSet(arguments);
    return usage();
}
