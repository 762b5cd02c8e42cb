#include "cli/Usage.h"

#include "engines/names/PiecePolicy.h"
#include "shardix/Version.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace shardix::cli {

namespace {

// One option of a command: its name with its value as the usage writes it
// ("--digits N"), and what it does, in lines of at most 54 characters.
struct OptionText {
    std::string_view name;
    std::string_view text;
};

// One command: its name, its synopses (each after "shardix-cli "), what it
// does and its options. Marks in the texts: {max} for the largest count of
// pieces, {digits} for the most digits of padded numbers, {suffix} and
// {script} for what follows the base name in a manifest's and a join
// script's name, all from the naming policy.
struct CommandText {
    std::string_view name;
    std::vector<std::string_view> synopses;
    std::string_view summary;
    std::vector<OptionText> options;
};

constexpr OptionText kHelp{"-h, --help", "show this help and end"};
constexpr OptionText kManifestFile{"--manifest FILE",
                                   "check against the checksum list FILE instead of\n"
                                   "the one beside the pieces"};
constexpr OptionText kNoManifest{"--no-manifest", "check against no checksum list"};
constexpr OptionText kSort{"--sort", "join numbered pieces in number order, whatever\n"
                                     "the order given (p1 p2 .. p10); refuse one missing"};
constexpr OptionText kAsGiven{"--as-given", "join them in the order given, even when it is\n"
                                            "not their number order"};

// Every command, in the order of the usage.
const std::vector<CommandText> kCommands{
    {"segment",
     {"segment [OPTION]... SOURCE BASEPATH COUNT",
      "segment [OPTION]... --size SIZE SOURCE BASEPATH"},
     "Cut SOURCE into COUNT (2 to {max}) equal pieces, the last one taking the\n"
     "remainder, or into pieces of SIZE bytes, named BASEPATH1, BASEPATH2, ...\n"
     "SOURCE \"-\" is standard input, cut by --size.",
     {{"--force", "replace an existing first piece, manifest and join\nscript"},
      {"--manifest", "also write BASEPATH{suffix}, the SHA-256 of every\n"
                     "piece and of the whole SOURCE (sha256sum -c reads it)"},
      {"--join-script", "also write BASEPATH{script}, a shell script that\n"
                        "joins the pieces without shardix-cli"},
      {"--digits N", "number the pieces with N digits (1 to {digits}),\nzero-padded"},
      {"--size SIZE", "pieces of SIZE bytes instead of COUNT pieces: 4G,\n"
                      "700M (powers of 1024), 25MB (powers of 1000)"},
      {"--recovery PERCENT", "also write PAR 2.0 recovery files, PERCENT (1 to\n"
                             "100) of the pieces' blocks"},
      {"--block-size BYTES", "the size of the recovery blocks: a multiple of 4\nup to 64M"},
      {"--quiet", "show no progress, and do not tell what was written"},
      kHelp}},
    {"assemble",
     {"assemble [OPTION]... TARGET INPUT..."},
     "Join the INPUTs, in the order given, into TARGET (\"-\": standard output),\n"
     "checked against the checksum list beside them when there is one.",
     {{"--force", "replace an existing TARGET once the new one is\ncomplete"},
      kSort,
      kAsGiven,
      kManifestFile,
      kNoManifest,
      {"--quiet", "show no progress, and do not tell what matched"},
      kHelp}},
    {"append",
     {"append [OPTION]... TARGET SOURCE..."},
     "Complete TARGET, which holds the beginning of the SOURCEs joined in order,\n"
     "with exactly the bytes it lacks; a TARGET that does not match them is left\n"
     "alone.",
     {kSort,
      kAsGiven,
      kManifestFile,
      kNoManifest,
      {"--quiet", "show no progress, and do not tell what matched"},
      kHelp}},
    {"join",
     {"join [OPTION]... PIECE"},
     "Find the whole set that PIECE (one piece, or the folder of one set)\n"
     "belongs to, ours or another tool's, and join it in order.",
     {{"--output TARGET", "the file to write (\"-\": standard output); by\n"
                          "default the set's base name beside the pieces"},
      {"--force", "replace an existing TARGET once the new one is\ncomplete"},
      {"--first N", "the set's numbers begin at N: those below are not\nmissing"},
      {"--prefix TEXT", "the names' text before the number, where PIECE\n"
                        "reads as a piece of two sets (eps_ or eps_1)"},
      kManifestFile,
      kNoManifest,
      {"--quiet", "show no progress, and do not tell what was written"},
      kHelp}},
    {"verify",
     {"verify [OPTION]... MANIFEST", "verify [OPTION]... INDEX [FILE]..."},
     "Check the files that MANIFEST (a checksum list or a recovery index\n"
     "BASE.par2) lists, in its folder: one line each, \"OK\" or what is wrong.\n"
     "Blocks of a recovery set not in place are also sought in the FILEs.",
     {{"--quiet", "show only the files that are wrong"}, kHelp}},
    {"repair",
     {"repair [OPTION]... INDEX [FILE]..."},
     "Check the files that the recovery index INDEX (BASE.par2) lists and\n"
     "rebuild every missing or damaged one from the recovery files; intact\n"
     "blocks are also sought at other places of damaged files and in the\n"
     "FILEs (misnamed or moved pieces), which are only read.",
     {{"--quiet", "show no progress, only the files that are wrong"}, kHelp}},
};

// `text` with every `mark` replaced by `value`.
std::string replaced(std::string text, std::string_view mark, std::string_view value) {
    for (std::size_t at = text.find(mark); at != std::string::npos;
         at = text.find(mark, at + value.size()))
        text.replace(at, mark.size(), value);
    return text;
}

// `text` with the marks of the naming policy filled in.
std::string filled(std::string_view text) {
    std::string out = replaced(std::string(text), "{max}", std::to_string(kMaxPieces));
    out = replaced(std::move(out), "{digits}", std::to_string(kMaxDigits));
    out = replaced(std::move(out), "{script}", kJoinScriptSuffix);
    return replaced(std::move(out), "{suffix}", kManifestSuffix);
}

// `text`'s lines, each after `indent`.
std::string indented(std::string_view text, std::string_view indent) {
    std::string out;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        out.append(indent).append(text.substr(from, end - from)).append("\n");
        from = end + 1;
    }
    return out;
}

// An option's lines: its name, then its text beside it (or below a name too
// wide for the column).
std::string optionLines(std::string_view name, std::string_view text) {
    constexpr std::size_t kColumn = 22;
    const std::string first = "  " + std::string(name);
    if (text.empty())
        return first + "\n";
    const std::string column(kColumn, ' ');
    if (first.size() + 2 > kColumn)
        return first + "\n" + indented(filled(text), column);
    std::string lines = indented(filled(text), column);
    return first + lines.substr(first.size());
}

// The name an option is known by on the command line: its long name.
std::string_view longName(std::string_view name) {
    const std::size_t at = name.find("--");
    name = at == std::string_view::npos ? name : name.substr(at);
    return name.substr(0, name.find(' '));
}

const CommandText* commandNamed(const std::string& name) {
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [&](const CommandText& c) { return c.name == name; });
    return found == kCommands.end() ? nullptr : &*found;
}

// How many letters must be left out, added, changed or swapped with the next
// to make `a` into `b` (optimal string alignment).
std::size_t slips(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t changed = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, changed});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

} // namespace

std::string usageText() {
    std::string text = "Usage: shardix-cli COMMAND [OPTION]... ARGUMENT...\n"
                       "       shardix-cli help [COMMAND]\n"
                       "       shardix-cli --help | --version\n"
                       "\n"
                       "Cut files into pieces, join pieces, complete truncated files: the file\n"
                       "engines of the desktop program shardix, for the command line.\n"
                       "\n"
                       "Commands:\n";
    for (const CommandText& command : kCommands) {
        for (std::string_view synopsis : command.synopses)
            text += "  " + std::string(synopsis) + "\n";
        text += indented(filled(command.summary), "      ");
    }
    text += "\n"
            "'shardix-cli help COMMAND' or 'shardix-cli COMMAND --help' shows a command's\n"
            "options; 'man shardix-cli' tells the whole of what each does.\n"
            "\n"
            "Exit status: 0 on success, 1 on a failure or refusal, 2 on a usage error,\n"
            "130 or 143 for a run stopped by SIGINT or SIGTERM.\n";
    return text;
}

std::optional<std::string> commandUsage(const std::string& name,
                                        const std::vector<std::string>& accepted) {
    const CommandText* command = commandNamed(name);
    if (!command)
        return std::nullopt;
    std::string text;
    const char* lead = "Usage: ";
    for (std::string_view synopsis : command->synopses) {
        text += lead + std::string("shardix-cli ") + std::string(synopsis) + "\n";
        lead = "  or:  ";
    }
    text += filled(command->summary) + "\n\nOptions:\n";
    std::vector<std::string_view> described;
    for (const OptionText& option : command->options) {
        text += optionLines(option.name, option.text);
        described.push_back(longName(option.name));
    }
    for (const std::string& option : accepted) {
        if (std::find(described.begin(), described.end(), option) == described.end())
            text += optionLines(option, {});
    }
    text += optionLines("--", "end of the options: a name that begins with \"-\"\nfollows");
    return text;
}

std::vector<std::string> commandNames() {
    std::vector<std::string> names;
    for (const CommandText& command : kCommands)
        names.emplace_back(command.name);
    names.emplace_back("help");
    return names;
}

std::optional<std::string> nearestCommand(const std::string& typed) {
    std::optional<std::string> nearest;
    std::size_t fewest = 3; // more slips than two make another word
    for (const std::string& name : commandNames()) {
        const std::size_t count = slips(typed, name);
        if (count < fewest && count < name.size()) {
            fewest = count;
            nearest = name;
        }
    }
    return nearest;
}

std::string versionText() {
    return "shardix-cli (Shardix!) " SHARDIX_VERSION;
}

} // namespace shardix::cli
