#include "engines/names/ByteSize.h"

#include <limits>
#include <string>

namespace shardix {

std::optional<std::int64_t> parseByteSize(std::string_view text) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::size_t i = 0;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    if (i == 0)
        return std::nullopt;
    const std::string_view unit = text.substr(i);
    if (unit.empty())
        return value;
    if (unit == "b")
        return value > kMax / 512 ? std::nullopt : std::optional<std::int64_t>(value * 512);

    static constexpr std::string_view kLetters = "KMGTPE";
    const char letter = unit[0] == 'k' ? 'K' : unit[0] == 'm' ? 'M' : unit[0];
    const std::size_t power = kLetters.find(letter);
    if (power == std::string_view::npos)
        return std::nullopt;
    std::int64_t base;
    const std::string_view after = unit.substr(1);
    if (after.empty() || after == "iB")
        base = 1024;
    else if (after == "B")
        base = 1000;
    else
        return std::nullopt;
    for (std::size_t p = 0; p <= power; ++p) {
        if (value > kMax / base)
            return std::nullopt;
        value *= base;
    }
    return value;
}

} // namespace shardix
