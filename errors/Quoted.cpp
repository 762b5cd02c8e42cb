#include "errors/Quoted.h"

#include <cstdint>

namespace shardix {

namespace {

// The length of the UTF-8 sequence that starts at `at`, or 0 where the bytes
// there are not one valid, printable character (a C1 control is not).
std::size_t printableLength(std::string_view name, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(name[i]); };
    const std::uint8_t lead = byte(at);
    if (lead >= 0x20 && lead < 0x7f) {
        return 1;
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > name.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0u) != 0x80u) {
            return 0;
        }
        code = (code << 6u) | (byte(at + i) & 0x3fu);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool overlong = code < smallest[length];
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    const bool c1 = code >= 0x80 && code <= 0x9f;
    return overlong || surrogate || c1 || code > 0x10ffff ? 0 : length;
}

// One byte that is not shown as it is, as the shell writes it inside $'...'.
std::string escapedByte(std::uint8_t byte) {
    switch (byte) {
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\v':
        return "\\v";
    case '\f':
        return "\\f";
    case '\r':
        return "\\r";
    default:
        break;
    }
    std::string octal = "\\000";
    octal[1] = static_cast<char>('0' + ((byte >> 6u) & 7u));
    octal[2] = static_cast<char>('0' + ((byte >> 3u) & 7u));
    octal[3] = static_cast<char>('0' + (byte & 7u));
    return octal;
}

// The shell-escape form of a name that is not printable.
std::string shellEscaped(std::string_view name) {
    std::string shown;
    bool inQuotes = false;
    bool inEscapes = false;
    const auto close = [&] {
        if (inQuotes || inEscapes) {
            shown += '\'';
        }
        inQuotes = inEscapes = false;
    };
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = printableLength(name, at);
        if (length == 0) {
            if (!inEscapes) {
                close();
                shown += "$'";
                inEscapes = true;
            }
            shown += escapedByte(static_cast<std::uint8_t>(name[at]));
            ++at;
            continue;
        }
        if (name[at] == '\'') {
            close();
            shown += "\\'";
        } else {
            if (!inQuotes) {
                close();
                shown += '\'';
                inQuotes = true;
            }
            shown.append(name.substr(at, length));
        }
        at += length;
    }
    close();
    return shown;
}

} // namespace

bool printableName(std::string_view name) {
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = printableLength(name, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string quoted(std::string_view name) {
    if (printableName(name)) {
        std::string shown = "\"";
        shown.append(name);
        shown += '"';
        return shown;
    }
    return shellEscaped(name);
}

std::string shownName(std::string_view name) {
    return printableName(name) ? std::string(name) : shellEscaped(name);
}

} // namespace shardix
