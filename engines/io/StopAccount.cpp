#include "engines/io/StopAccount.h"

#include "errors/Quoted.h"

#include <sys/stat.h>

namespace shardix {

namespace {

struct LeftFile {
    std::string path;
    std::int64_t length = 0;
};

std::string bytes(std::int64_t length) {
    return groupedDigits(length) + (length == 1 ? " byte" : " bytes");
}

// Files in a row of one length: one by one up to two, else the first and the
// last with their number.
std::string runText(const std::vector<LeftFile>& files, std::size_t from, std::size_t to) {
    const LeftFile& first = files[from];
    if (to - from == 1)
        return shardix::quoted(first.path) + " with " + bytes(first.length);
    if (to - from == 2)
        return shardix::quoted(first.path) + " and " + shardix::quoted(files[from + 1].path) +
               " with " + bytes(first.length) + " each";
    return shardix::quoted(first.path) + " to " + shardix::quoted(files[to - 1].path) + ", " +
           std::to_string(to - from) + " files of " + bytes(first.length) + " each";
}

std::string listed(const std::vector<LeftFile>& files) {
    std::vector<std::string> runs;
    for (std::size_t from = 0; from < files.size();) {
        std::size_t to = from + 1;
        while (to < files.size() && files[to].length == files[from].length)
            ++to;
        runs.push_back(runText(files, from, to));
        from = to;
    }
    std::string text;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0)
            text += i + 1 == runs.size() ? "; and " : "; ";
        text += runs[i];
    }
    return text;
}

} // namespace

std::string groupedDigits(std::int64_t number) {
    const std::string digits = std::to_string(number < 0 ? -number : number);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return number < 0 ? "-" + text : text;
}

namespace {

const char* const kLeftWith = " was left with ";
const char* const kHoldsItsFirst = " holds its first ";

} // namespace

std::string stoppedAccount(const std::vector<std::string>& written, const std::string& completes) {
    std::vector<LeftFile> files;
    for (const std::string& path : written) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            files.push_back({path, st.st_size});
    }
    if (files.empty())
        return {};
    std::string text = "The run was stopped.  ";
    if (files.size() == 1)
        text += shardix::quoted(files[0].path) + kLeftWith + bytes(files[0].length) + ".";
    else
        text += "It left " + std::to_string(files.size()) + " files: " + listed(files) + ".";
    if (!completes.empty())
        text += "  " + completes;
    return text;
}

std::string shortOutputAccount(const std::string& path, std::int64_t length, std::int64_t total) {
    return shardix::quoted(path) + kHoldsItsFirst + std::to_string(length) + " bytes of " +
           std::to_string(total);
}

std::string withWhatIsLeft(std::string message, const std::string& path,
                           const std::vector<std::string>& inputs, const std::string& completes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return message;
    std::int64_t total = 0;
    for (const std::string& input : inputs) {
        struct stat in {};
        total += ::stat(input.c_str(), &in) == 0 ? in.st_size : 0;
    }
    if (st.st_size >= total)
        return message;
    if (message.find(kLeftWith) == std::string::npos &&
        message.find(kHoldsItsFirst) == std::string::npos)
        message += "  " + shortOutputAccount(path, st.st_size, total) + ".";
    if (message.find("completes it") == std::string::npos)
        message += "  " + completes;
    return message;
}

} // namespace shardix
