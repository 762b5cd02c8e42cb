// shardix-cli: the file engines of Shardix! for scripts and benchmarks.
#include "engines/Appender.h"
#include "engines/Assembler.h"
#include "engines/EngineUi.h"
#include "engines/Segmenter.h"

#include <cstdio>
#include <cstring>
#include <iostream>
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
    "      with exactly the bytes it lacks.\n"
    "  shardix-cli --help\n"
    "\n"
    "An existing first piece (segment) or TARGET (assemble) is replaced only with --force.\n"
    "Exit status: 0 on success, 1 on a failure or refusal, 2 on a usage error.\n";

// Messages go to standard error; progress too, when it is a terminal.
class ConsoleUi : public shardix::EngineUi {
public:
    explicit ConsoleUi(const char* verb) : verb_(verb), showProgress_(isatty(STDERR_FILENO)) {}
    ~ConsoleUi() override {
        if (drawn_)
            std::fputc('\n', stderr);
    }

    void pumpEvents() override {}
    int messageBox(const std::string& text, int style, const std::string&) override {
        if (drawn_) {
            std::fputc('\n', stderr);
            drawn_ = false;
        }
        std::fprintf(stderr, "shardix-cli: %s\n", text.c_str());
        // Questions (re-ordering) are not put by this tool; a Yes/No gets No.
        return (style & 0x7) == 4 ? shardix::MsgAnswer::No : shardix::MsgAnswer::Ok;
    }
    void setBusy(bool) override {}
    void setProgressMin(int) override {}
    void setProgressMax(int v) override { max_ = v; }
    void setProgressValue(int v) override {
        if (showProgress_ && visible_)
            draw(v);
        value_ = v;
    }
    void setProgressVisible(bool v) override {
        visible_ = v;
        if (showProgress_ && v)
            draw(value_);
    }

private:
    void draw(int v) {
        std::fprintf(stderr, "\r%s: %d/%d", verb_, v, max_);
        std::fflush(stderr);
        drawn_ = true;
    }
    const char* verb_;
    bool showProgress_;
    bool visible_ = false;
    bool drawn_ = false;
    int max_ = 0;
    int value_ = 0;
};

int usageError(const std::string& why) {
    std::fprintf(stderr, "shardix-cli: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int refuseExisting(const std::string& path) {
    std::fprintf(stderr,
                 "shardix-cli: \"%s\" already exists; not replaced (use --force to replace it).\n",
                 path.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    bool force = false;
    if (!args.empty() && args[0] == "--force" && command != "append") {
        force = true;
        args.erase(args.begin());
    }
    if (!args.empty() && args[0] == "--")
        args.erase(args.begin());

    if (command == "segment") {
        if (args.size() != 3)
            return usageError("segment takes SOURCE BASEPATH COUNT");
        const std::string& count = args[2];
        // The count box takes up to three digits; blanks count for nothing there.
        if (count.size() > 3 || count.find_first_not_of("0123456789 ") != std::string::npos)
            return usageError("COUNT must be a number from 2 to 999");
        int value = 0;
        for (char c : count)
            if (c != ' ')
                value = value * 10 + (c - '0');
        if (value < 2) {
            std::fprintf(stderr,
                         "shardix-cli: The number of file segments must be greater than one.  "
                         "Please enter a number greater than one.\n");
            return 1;
        }
        if (!force && exists(args[1] + "1"))
            return refuseExisting(args[1] + "1");
        ConsoleUi ui("segment");
        return shardix::segmentFile(args[0], args[1], count, ui) ? 0 : 1;
    }
    if (command == "assemble") {
        if (args.size() < 2)
            return usageError("assemble takes TARGET INPUT...");
        if (!force && exists(args[0]))
            return refuseExisting(args[0]);
        ConsoleUi ui("assemble");
        const std::vector<std::string> inputs(args.begin() + 1, args.end());
        return shardix::assembleFiles(inputs, args[0], ui) ? 0 : 1;
    }
    if (command == "append") {
        if (args.size() < 2)
            return usageError("append takes TARGET SOURCE...");
        ConsoleUi ui("append");
        const std::vector<std::string> sources(args.begin() + 1, args.end());
        return shardix::appendFile(sources, args[0], ui) ? 0 : 1;
    }
    return usageError("unknown command \"" + command + "\"");
}
