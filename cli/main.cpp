// shardix-cli: the file engines of Shardix! for scripts and benchmarks.
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/io/ProcessSetup.h"
#include "engines/io/RunProgress.h"
#include "engines/manifest/Manifest.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/manifest/Verifier.h"
#include "engines/names/ByteSize.h"
#include "engines/names/Count.h"
#include "engines/names/PiecePolicy.h"
#include "engines/names/SegmentNumbers.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "errors/Result.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "Usage:\n"
    "  shardix-cli segment [--force] [--manifest] SOURCE BASEPATH COUNT\n"
    "      Cut SOURCE into COUNT (2 to 999) equal pieces named BASEPATH1 .. BASEPATHn;\n"
    "      the last piece also takes the remainder.\n"
    "  shardix-cli segment [--force] [--manifest] --size SIZE SOURCE BASEPATH\n"
    "      Cut SOURCE into pieces of SIZE bytes, the last one shorter (at most 999\n"
    "      pieces; an empty SOURCE gives one empty piece). SIZE is a number of bytes,\n"
    "      or one with a unit: K, M, G, T for powers of 1024 (also KiB, MiB, ...),\n"
    "      KB, MB, GB, TB for powers of 1000, as split -b reads it: 4G, 700M, 25MB.\n"
    "  shardix-cli assemble [--force] [--sort | --as-given] [--manifest FILE] TARGET INPUT...\n"
    "      Join the INPUTs, in the order given, into TARGET.\n"
    "  shardix-cli append [--sort | --as-given] [--manifest FILE] TARGET SOURCE...\n"
    "      Complete TARGET, which holds the beginning of the SOURCEs joined in order,\n"
    "      with exactly the bytes it lacks. TARGET is compared with the SOURCEs first;\n"
    "      one that does not match is left alone.\n"
    "  shardix-cli verify MANIFEST\n"
    "      Check the files that MANIFEST lists, in MANIFEST's folder: one line each on\n"
    "      standard output, \"OK\" or what is wrong (missing, shorter, longer,\n"
    "      different). The whole file's line is checked when that file is there.\n"
    "  shardix-cli --help | --version\n"
    "\n"
    "Options:\n"
    "  --force          replace an existing first piece and manifest (segment) or\n"
    "                   TARGET (assemble; the old TARGET stays until the new one is\n"
    "                   complete)\n"
    "  --manifest       (segment) also write BASEPATH.sha256: the SHA-256 of every\n"
    "                   piece, named as in its folder, then that of the whole SOURCE\n"
    "                   under SOURCE's own name, as sha256sum writes them, so that\n"
    "                   'sha256sum -c --ignore-missing BASEPATH.sha256' in that folder\n"
    "                   checks the pieces, and the assembled file once it is there\n"
    "  --manifest FILE  (assemble, append) check against the manifest FILE\n"
    "  --no-manifest    (assemble, append) check against no manifest\n"
    "  --size SIZE      (segment) cut into pieces of SIZE bytes instead of COUNT\n"
    "  --sort           (assemble, append) order the INPUTs by the length of their\n"
    "                   names, names of one length by their bytes, which puts p1 p2\n"
    "                   .. p10 p11 in number order; numbered pieces of one base\n"
    "                   name are refused when one from 1 to the highest is missing\n"
    "  --as-given       (assemble, append) join numbered pieces in the order given,\n"
    "                   even when it is not their number order\n"
    "  --quiet          (every command) show no progress; verify shows only the\n"
    "                   files that are wrong, assemble and append do not tell what\n"
    "                   matched the manifest\n"
    "  --               end of the options: a file name that begins with \"-\" follows\n"
    "\n"
    "Without --force an existing first piece, manifest or TARGET is left alone.\n"
    "Cutting again over pieces replaces or removes BASEPATH.sha256, which would no\n"
    "longer describe them. Every INPUT is checked before TARGET is touched. Names\n"
    "that are one file (links) are told apart by what they are, not by how they\n"
    "are spelled.\n"
    "\n"
    "Numbered pieces of one base name (p1 p2 p3) given out of number order, with\n"
    "one missing or one twice, are refused unless --sort or --as-given is given or\n"
    "a manifest settles their order. A TARGET that is itself such a piece is\n"
    "refused: TARGET comes first.\n"
    "\n"
    "Manifests: when an INPUT (SOURCE) lies in a folder beside a manifest (a\n"
    ".sha256 file) that lists it, that manifest is used, however the INPUTs are\n"
    "named; --manifest FILE names it instead, and --no-manifest turns the check\n"
    "off. assemble and append then refuse, before writing, an INPUT that the\n"
    "manifest does not list, a listed piece that is missing, given twice, out of\n"
    "its order or of another length, a manifest that is incomplete, and a TARGET\n"
    "that is the manifest or one of its pieces. append first checks the whole\n"
    "pieces that TARGET already holds against their checksums. While copying, they\n"
    "read TARGET back and compare each piece's bytes and the whole file with the\n"
    "manifest: a mismatch fails the command, naming the piece (or TARGET, where its\n"
    "own bytes are wrong), and keeps what was written.\n"
    "\n"
    "Messages go to standard error. While a command runs and standard error is a\n"
    "terminal, a line there shows its progress, the rate and the time left.\n"
    "\n"
    "SIGINT (Ctrl+C) or SIGTERM stops segment, assemble and append between two\n"
    "pieces of at most 4,000,000 bytes: a message names the file being written and\n"
    "how many bytes it was left with (kept, as after a failure).\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure or refusal (verify: a listed piece\n"
    "that is not right, or a whole file that is there and not right), 2 on a usage\n"
    "error, 130 when stopped by SIGINT and 143 when stopped by SIGTERM.\n";

constexpr const char* kVersion = "shardix-cli (Shardix!) " SHARDIX_VERSION;

// SIGINT and SIGTERM during a run that writes: held back (blocked) from the
// start of the run, so that they do not end the process in the middle of a
// piece, and polled by the engine between its pieces (sigpending), which then
// stops with a message naming what it left. No handler runs and nothing is
// shared with one. A signal that the process was told to ignore stays ignored.
// They stay blocked until the process ends, with status 128 + the signal.
class StopSignals {
  public:
    StopSignals() {
        sigemptyset(&held_);
        for (int signal : {SIGINT, SIGTERM}) {
            struct sigaction now {};
            if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler != SIG_IGN)
                sigaddset(&held_, signal);
        }
        ::pthread_sigmask(SIG_BLOCK, &held_, nullptr);
    }

    // The signal that asked the run to stop, or 0.
    int received() const {
        sigset_t pending;
        if (::sigpending(&pending) != 0)
            return 0;
        for (int signal : {SIGINT, SIGTERM}) {
            if (sigismember(&held_, signal) == 1 && sigismember(&pending, signal) == 1)
                return signal;
        }
        return 0;
    }

  private:
    sigset_t held_;
};

// Progress on standard error, when it is a terminal: one line, rewritten at
// most four times a second, that shows how much is done, the rate and the time
// left, and is cleared at the end.
class ConsoleProgress : public shardix::RunProgress {
  public:
    // A run that writes may be `stoppable` by SIGINT and SIGTERM (StopSignals);
    // one that only reads ends at once as they say.
    ConsoleProgress(const char* verb, bool quiet, bool stoppable = true)
        : verb_(verb), shown_(!quiet && isatty(STDERR_FILENO)), start_(Clock::now()) {
        if (stoppable)
            stop_.emplace();
    }
    ~ConsoleProgress() override { endLine(); }

    void pumpEvents() override {}
    void setProgressMin(int) override {}
    void setProgressMax(int) override {}
    void setProgressValue(int) override {}
    void setProgressVisible(bool) override {}
    bool stopRequested() override { return stoppedBy() != 0; }
    // The signal that stopped the run, or 0.
    int stoppedBy() const { return stop_ ? stop_->received() : 0; }
    void setBytesDone(std::int64_t done, std::int64_t total) override {
        if (!shown_)
            return;
        const Clock::time_point now = Clock::now();
        if (!firstDone_)
            firstDone_ = done; // bytes that were there before the run, as an appended target's
        if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(250))
            return;
        lastDrawn_ = now;
        draw(done, total, std::chrono::duration<double>(now - start_).count());
    }
    // Clears the progress line, so that a message starts at the line's beginning.
    void endLine() {
        if (drawn_)
            std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

  private:
    using Clock = std::chrono::steady_clock;

    static std::string amount(double bytes) {
        static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
        int unit = 0;
        while (bytes >= 1024 && unit < 6) {
            bytes /= 1024;
            ++unit;
        }
        char text[32];
        std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
        return text;
    }
    static std::string duration(double seconds) {
        const auto s = static_cast<long long>(seconds + 0.5);
        char text[32];
        if (s < 60)
            std::snprintf(text, sizeof text, "%lld s", s);
        else if (s < 3600)
            std::snprintf(text, sizeof text, "%lld min %02lld s", s / 60, s % 60);
        else
            std::snprintf(text, sizeof text, "%lld h %02lld min", s / 3600, s / 60 % 60);
        return text;
    }

    void draw(std::int64_t done, std::int64_t total, double seconds) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        std::string line = std::string(verb_) + ": " + std::to_string(percent) + "%  " +
                           amount(static_cast<double>(done)) + " of " +
                           amount(static_cast<double>(total));
        const double rate = seconds > 0.05 ? static_cast<double>(done - *firstDone_) / seconds : 0;
        if (rate > 0)
            line += "  " + amount(rate) + "/s  " +
                    duration(static_cast<double>(total - done) / rate) + " left";
        struct winsize size {};
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
            line.size() >= size.ws_col)
            line.resize(size.ws_col - 1u);
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }

    const char* verb_;
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDrawn_;
    std::optional<std::int64_t> firstDone_;
    std::optional<StopSignals> stop_; // held back before the engine starts its threads
};

int usageError(const std::string& why) {
    std::fprintf(stderr, "shardix-cli: %s\nTry 'shardix-cli --help' for more information.\n",
                 why.c_str());
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "shardix-cli: %s\n", message.c_str());
    return 1;
}

int failWith(const shardix::Error& error) {
    return fail(error.withFile());
}

// Exit status of an engine run, its failure told on standard error; a run
// stopped by a signal ends with 128 + its number, as the shell reports a
// process the signal ended.
int finish(const shardix::Result<>& result, ConsoleProgress& progress) {
    progress.endLine();
    if (result.ok())
        return 0;
    failWith(result.error());
    if (!result.error().stopped())
        return 1;
    const int signal = progress.stoppedBy();
    return 128 + (signal != 0 ? signal : SIGINT);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int refuseExisting(const std::string& path) {
    return fail("\"" + path + "\" already exists; not replaced (use --force to replace it).");
}

// Writes `text` to standard output; a failure to write it is a failure.
int print(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
        return fail("cannot write to standard output");
    return 0;
}

int segmentCommand(const std::string& source, const std::string& basePath, const std::string& count,
                   const std::string& size, bool withManifest, bool force, bool quiet) {
    std::optional<int> pieces;
    std::optional<std::int64_t> length;
    if (!size.empty()) {
        if (!count.empty())
            return usageError("give either COUNT or --size, not both");
        length = shardix::parseByteSize(size);
        if (!length)
            return usageError("SIZE must be a number of bytes, with or without a unit (4G, "
                              "700M, 25MB), not \"" +
                              size + "\"");
        if (*length == 0)
            return usageError("SIZE must be at least one byte");
    } else {
        if (count.empty())
            return usageError("COUNT or --size SIZE is required");
        pieces = shardix::parseCount(count);
        if (!pieces || *pieces > shardix::kMaxSegments)
            return usageError("COUNT must be a number from 2 to " +
                              std::to_string(shardix::kMaxSegments) + ", not \"" + count + "\"");
        if (*pieces < 2)
            return fail("The number of file segments must be greater than one.  Please enter a "
                        "number greater than one.");
    }
    if (!force && exists(basePath + "1"))
        return refuseExisting(basePath + "1");
    // A manifest of the base name describes the pieces of an earlier cut: it is
    // replaced or removed once the pieces are written, so only with --force.
    const std::string manifestPath = shardix::manifestPathFor(basePath);
    if (!force && exists(manifestPath))
        return fail("\"" + manifestPath + "\" already exists" +
                    (withManifest ? std::string()
                                  : ": it lists the pieces of an earlier cut, which it would no "
                                    "longer describe") +
                    "; not replaced (use --force to replace it).");

    ConsoleProgress progress("segment", quiet);
    shardix::SegmentOptions options;
    options.writeManifest = withManifest;
    shardix::SegmentReport report;
    const shardix::Result<> result =
        length ? shardix::segmentFileBySize(source, basePath, *length, progress, options, &report)
               : shardix::segmentFile(source, basePath, *pieces, progress, options, &report);
    progress.endLine();
    if (report.removedOldManifest)
        std::fprintf(stderr,
                     "shardix-cli: removed \"%s\": it listed the pieces of an earlier cut.\n",
                     manifestPath.c_str());
    return finish(result, progress);
}

// The manifest to check `inputs` against: the one named, or the one that lies
// beside them and lists them; empty for none. Sets `refusal` when the one
// beside them cannot be chosen.
std::string manifestFor(const std::vector<std::string>& inputs, const std::string& named, bool none,
                        std::string& refusal) {
    if (none)
        return {};
    if (!named.empty())
        return named;
    const shardix::Result<std::string> found = shardix::findManifest(inputs);
    if (!found.ok()) {
        refusal = found.error().message + "  Name one with --manifest FILE, or give --no-manifest.";
        return {};
    }
    return found.value();
}

// Whether the manifest `path` lists `target` as one of its pieces.
bool listedAsPiece(const std::string& path, const std::string& target) {
    try {
        return shardix::listsAsSegment(shardix::Manifest::read(path), path, target);
    } catch (const shardix::Failed&) {
        return false;
    }
}

// Tells, unless quiet, what a successful run checked.
int checked(const std::string& target, const shardix::Checksums& expected, bool quiet,
            ConsoleProgress& progress) {
    progress.endLine();
    if (quiet)
        return 0;
    const std::string parts = std::to_string(expected.parts.size()) + " segments";
    std::fprintf(stderr, "shardix-cli: \"%s\" matches %s in \"%s\".\n", target.c_str(),
                 (expected.whole ? parts + " and the whole file"
                                 : parts + " (the manifest has no line for the whole file)")
                     .c_str(),
                 expected.source.c_str());
    return 0;
}

int verifyCommand(const std::string& path, bool quiet) {
    using Outcome = shardix::Verdict::Outcome;
    shardix::Manifest manifest;
    try {
        manifest = shardix::Manifest::read(path);
    } catch (const shardix::Failed& e) {
        return failWith(e.error());
    }
    if (manifest.entries.empty() && manifest.problems.empty())
        return fail("\"" + path + "\" lists no files.");
    if (shardix::Result<> complete = manifest.checkComplete(path); !complete.ok())
        return failWith(complete.error());
    ConsoleProgress progress("verify", quiet, false);
    const std::vector<shardix::Verdict> verdicts =
        shardix::verifyManifest(manifest, shardix::Manifest::folderOf(path), progress);
    progress.endLine();

    std::string report;
    int wrong = 0;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        const shardix::ManifestEntry& entry = manifest.entries[i];
        const shardix::Verdict& verdict = verdicts[i];
        std::string what;
        switch (verdict.outcome) {
        case Outcome::Good:
            what = "OK";
            break;
        case Outcome::Missing:
            what = entry.whole ? "not there; the whole file is checked once it is assembled"
                               : "missing";
            break;
        case Outcome::Shorter:
            what = "shorter: " + verdict.detail;
            break;
        case Outcome::Longer:
            what = "longer: " + verdict.detail;
            break;
        case Outcome::Different:
            what = verdict.detail.empty() ? "different" : "different: " + verdict.detail;
            break;
        case Outcome::Unreadable:
            what = "cannot be read: " + verdict.detail;
            break;
        case Outcome::Outside:
            what = "not checked: the name leads out of the manifest's folder";
            break;
        }
        const bool good = verdict.outcome == Outcome::Good ||
                          (entry.whole && verdict.outcome == Outcome::Missing);
        if (!good)
            ++wrong;
        if (!quiet || !good)
            report += shardix::Manifest::shownName(entry.name) + ": " + what + "\n";
    }
    if (print(report) != 0)
        return 1;
    for (const std::string& problem : manifest.problems)
        fail("\"" + path + "\", " + problem + ": not a line that sha256sum -c reads.");
    if (wrong > 0)
        return fail("\"" + path + "\": " + std::to_string(wrong) + " of the " +
                    std::to_string(verdicts.size()) + " listed files " +
                    (wrong == 1 ? "is" : "are") + " not right.");
    return manifest.problems.empty() ? 0 : 1;
}

// What assemble and append are told besides their files.
struct JoinOptions {
    bool force = false;
    bool sort = false;
    bool asGiven = false;
    bool quiet = false;
    bool noManifest = false;
    std::string manifest;
};

// Why the files typed cannot be joined as they stand, before anything is read:
// a checksum list among them, numbered pieces out of order or missing, and a
// TARGET that is itself one of the pieces (the output typed last).
shardix::Result<> refusedFiles(bool assembling, const std::string& target,
                               std::vector<std::string>& inputs, const JoinOptions& options) {
    const std::string inputsWord = assembling ? "INPUTs" : "SOURCEs";
    // TARGET among the files to join, by any name, would be lost or grow.
    if (shardix::Result<> refused = assembling ? shardix::refusedTarget(inputs, target)
                                               : shardix::refusedAppendTarget(inputs, target);
        !refused.ok())
        return refused;
    // A glob such as p* takes in p.sha256 beside p1 .. pn: its text would be
    // joined in without a word.
    for (const std::string& input : inputs) {
        if (shardix::isManifestName(input))
            return shardix::Error::of(shardix::ErrorKind::Refused,
                                      "\"" + input +
                                          "\" is a list of checksums, not a piece to join; leave "
                                          "it out (it is found beside the pieces, or give it "
                                          "with --manifest).");
    }
    if (options.sort) {
        shardix::orderByNumber(inputs);
        if (shardix::Result<> missing = shardix::missingSegments(inputs); !missing.ok())
            return missing;
    }
    if (const auto base = shardix::pieceBaseOf(target, inputs))
        return shardix::Error::of(
            shardix::ErrorKind::Refused,
            "TARGET \"" + target + "\" is itself a piece of \"" + *base + "\", like the " +
                inputsWord + ": TARGET comes first (shardix-cli " +
                (assembling ? "assemble TARGET INPUT..." : "append TARGET SOURCE...") +
                ").  Nothing was written.");
    return {};
}

int joinCommand(bool assembling, const std::string& target, std::vector<std::string> inputs,
                const JoinOptions& options) {
    if (shardix::Result<> refused = refusedFiles(assembling, target, inputs, options);
        !refused.ok())
        return failWith(refused.error());
    std::string refusal;
    const std::string manifestPath =
        manifestFor(inputs, options.manifest, options.noManifest, refusal);
    if (!refusal.empty())
        return fail(refusal);
    shardix::Checksums expected;
    if (!manifestPath.empty()) {
        if (!shardix::sameFile(target, manifestPath) && listedAsPiece(manifestPath, target))
            return fail("TARGET \"" + target + "\" is one of the pieces that \"" + manifestPath +
                        "\" lists: TARGET comes first (shardix-cli " +
                        (assembling ? "assemble TARGET INPUT..." : "append TARGET SOURCE...") +
                        ").  Nothing was written.");
        if (shardix::Result<> refused =
                shardix::expectedForJoin(manifestPath, inputs, target, expected);
            !refused.ok())
            return failWith(refused.error());
    } else if (!options.sort && !options.asGiven) {
        if (shardix::Result<> order = shardix::outOfNumberOrder(inputs); !order.ok())
            return fail(order.error().message +
                        "  Give --sort to join them in number order, or --as-given to "
                        "join them in the order given.");
    }
    const shardix::Checksums* checks = manifestPath.empty() ? nullptr : &expected;

    if (assembling) {
        if (!options.force && exists(target))
            return refuseExisting(target);
        ConsoleProgress progress("assemble", options.quiet);
        const shardix::Result<> result =
            shardix::assembleFiles(inputs, target, progress, {shardix::kCopyChunk, checks});
        return !result.ok() || !checks ? finish(result, progress)
                                       : checked(target, expected, options.quiet, progress);
    }
    ConsoleProgress progress("append", options.quiet);
    const shardix::Result<> result =
        shardix::appendFile(inputs, target, progress, {shardix::kCopyChunk, checks});
    return !result.ok() || !checks ? finish(result, progress)
                                   : checked(target, expected, options.quiet, progress);
}

} // namespace

int main(int argc, char** argv) {
    shardix::prepareProcess();

    CLI::App app;
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", kVersion);
    app.require_subcommand(1, 1);
    app.fallthrough(false);

    bool force = false, quiet = false, sort = false, asGiven = false, writeManifest = false,
         noManifest = false;
    const auto flag = [](CLI::App* command, const char* name, bool& value) {
        return command->add_flag(name, value)
            ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
            ->disable_flag_override();
    };
    std::string source, basePath, count, size, target, manifest;
    std::vector<std::string> inputs;
    // --manifest FILE, or --no-manifest, for the commands that check against one.
    const auto readsManifest = [&](CLI::App* command) {
        CLI::Option* named = command->add_option("--manifest", manifest)
                                 ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        flag(command, "--no-manifest", noManifest)->excludes(named);
    };

    CLI::App* segment = app.add_subcommand("segment");
    flag(segment, "--force", force);
    flag(segment, "--manifest", writeManifest);
    flag(segment, "--quiet", quiet);
    segment->add_option("--size", size)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    segment->add_option("SOURCE", source)->required();
    segment->add_option("BASEPATH", basePath)->required();
    segment->add_option("COUNT", count);

    // --sort or --as-given, for the commands that join numbered pieces.
    const auto ordersPieces = [&](CLI::App* command) {
        flag(command, "--as-given", asGiven)->excludes(flag(command, "--sort", sort));
    };

    CLI::App* assemble = app.add_subcommand("assemble");
    flag(assemble, "--force", force);
    ordersPieces(assemble);
    flag(assemble, "--quiet", quiet);
    readsManifest(assemble);
    assemble->add_option("TARGET", target)->required();
    assemble->add_option("INPUT", inputs)->required()->expected(1, -1);

    CLI::App* append = app.add_subcommand("append");
    ordersPieces(append);
    flag(append, "--quiet", quiet);
    readsManifest(append);
    append->add_option("TARGET", target)->required();
    append->add_option("SOURCE", inputs)->required()->expected(1, -1);

    CLI::App* verify = app.add_subcommand("verify");
    flag(verify, "--quiet", quiet);
    verify->add_option("MANIFEST", manifest)->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return print(kUsage);
    } catch (const CLI::CallForVersion&) {
        return print(std::string(kVersion) + "\n");
    } catch (const CLI::ParseError& e) {
        if (argc < 2)
            return usageError("no command given");
        return usageError(e.what());
    }
    if (segment->parsed())
        return segmentCommand(source, basePath, count, size, writeManifest, force, quiet);
    if (verify->parsed())
        return verifyCommand(manifest, quiet);

    JoinOptions options{force, sort, asGiven, quiet, noManifest, manifest};
    return joinCommand(assemble->parsed(), target, inputs, options);
}
