// shardix-cli: the file engines of Shardix! for scripts and benchmarks.
#include "engines/Appender.h"
#include "engines/Assembler.h"
#include "engines/Count.h"
#include "engines/Failure.h"
#include "engines/Messages.h"
#include "engines/ProcessSetup.h"
#include "engines/RunProgress.h"
#include "engines/Segmenter.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "Usage:\n"
    "  shardix-cli segment [--force] SOURCE BASEPATH COUNT\n"
    "      Cut SOURCE into COUNT (2 to 999) equal pieces named BASEPATH1 .. BASEPATHn;\n"
    "      the last piece also takes the remainder.\n"
    "  shardix-cli assemble [--force] TARGET INPUT...\n"
    "      Join the INPUTs, in the order given, into TARGET.\n"
    "  shardix-cli append TARGET SOURCE...\n"
    "      Complete TARGET, which holds the beginning of the SOURCEs joined in order,\n"
    "      with exactly the bytes it lacks. TARGET is compared with the SOURCEs first;\n"
    "      one that does not match is left alone.\n"
    "  shardix-cli --help | --version\n"
    "\n"
    "Options:\n"
    "  --force     replace an existing first piece (segment) or TARGET (assemble)\n"
    "  --          end of the options: a file name that begins with \"-\" follows\n"
    "\n"
    "Without --force an existing first piece or TARGET is left alone. Every INPUT is\n"
    "checked before TARGET is touched. Messages go to standard error.\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure or refusal, 2 on a usage error.\n";

constexpr const char* kVersion = "shardix-cli (Shardix!) " SHARDIX_VERSION;

// Progress on standard error, when it is a terminal.
class ConsoleProgress : public shardix::RunProgress {
  public:
    explicit ConsoleProgress(const char* verb) : verb_(verb), shown_(isatty(STDERR_FILENO)) {}
    ~ConsoleProgress() override { endLine(); }

    void pumpEvents() override {}
    void setProgressMin(int) override {}
    void setProgressMax(int v) override { max_ = v; }
    void setProgressValue(int v) override {
        value_ = v;
        if (visible_)
            draw();
    }
    void setProgressVisible(bool v) override {
        visible_ = v;
        if (v)
            draw();
    }
    // Ends the progress line, so that a message starts on a line of its own.
    void endLine() {
        if (drawn_)
            std::fputc('\n', stderr);
        drawn_ = false;
    }

  private:
    void draw() {
        if (!shown_)
            return;
        std::fprintf(stderr, "\r%s: %d/%d", verb_, value_, max_);
        std::fflush(stderr);
        drawn_ = true;
    }
    const char* verb_;
    bool shown_;
    bool visible_ = false;
    bool drawn_ = false;
    int max_ = 0;
    int value_ = 0;
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

// Exit status of an engine run, its failure told on standard error.
int finish(const shardix::RunResult& result, ConsoleProgress& progress) {
    progress.endLine();
    if (!result)
        return 0;
    if (!result->file.empty())
        return fail("\"" + result->file + "\": " + result->message);
    return fail(result->message);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int refuseExisting(const std::string& path) {
    return fail("\"" + path + "\" already exists; not replaced (use --force to replace it).");
}

// Writes `text` to standard output; a failure to write it is a failure.
int print(const char* text) {
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0)
        return fail("cannot write to standard output");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    shardix::prepareProcess();

    CLI::App app;
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", kVersion);
    app.require_subcommand(1, 1);
    app.fallthrough(false);

    bool force = false;
    const auto forceFlag = [&force](CLI::App* command) {
        command->add_flag("--force", force)
            ->multi_option_policy(CLI::MultiOptionPolicy::Throw)
            ->disable_flag_override();
    };
    std::string source, basePath, count, target;
    std::vector<std::string> inputs;

    CLI::App* segment = app.add_subcommand("segment");
    forceFlag(segment);
    segment->add_option("SOURCE", source)->required();
    segment->add_option("BASEPATH", basePath)->required();
    segment->add_option("COUNT", count)->required();

    CLI::App* assemble = app.add_subcommand("assemble");
    forceFlag(assemble);
    assemble->add_option("TARGET", target)->required();
    assemble->add_option("INPUT", inputs)->required()->expected(1, -1);

    CLI::App* append = app.add_subcommand("append");
    append->add_option("TARGET", target)->required();
    append->add_option("SOURCE", inputs)->required()->expected(1, -1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return print(kUsage);
    } catch (const CLI::CallForVersion&) {
        return print((std::string(kVersion) + "\n").c_str());
    } catch (const CLI::ParseError& e) {
        if (argc < 2)
            return usageError("no command given");
        return usageError(e.what());
    }

    if (segment->parsed()) {
        const std::optional<int> pieces = shardix::parseCount(count);
        if (!pieces || *pieces > 999)
            return usageError("COUNT must be a number from 2 to 999, not \"" + count + "\"");
        if (*pieces < 2)
            return fail("The number of file segments must be greater than one.  Please enter a "
                        "number greater than one.");
        if (!force && exists(basePath + "1"))
            return refuseExisting(basePath + "1");
        ConsoleProgress progress("segment");
        return finish(shardix::segmentFile(source, basePath, *pieces, progress), progress);
    }
    if (assemble->parsed()) {
        if (!force && exists(target))
            return refuseExisting(target);
        ConsoleProgress progress("assemble");
        return finish(shardix::assembleFiles(inputs, target, progress), progress);
    }
    ConsoleProgress progress("append");
    return finish(shardix::appendFile(inputs, target, progress), progress);
}
