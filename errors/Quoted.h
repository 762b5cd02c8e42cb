#pragma once

#include <string>
#include <string_view>

namespace shardix {

// The one way a file's name appears in a message.
//
// A name of printable UTF-8 is shown as it is: in double quotes by quoted(),
// bare by shownName() (for texts that set the name off themselves, such as the
// desktop program's "... in this folder: " + folder). A name that holds a
// control character (C0, DEL or C1) or bytes that are not UTF-8 is shown in the
// shell-escape form of GNU ls (--quoting-style=shell-escape): the printable
// runs in single quotes and every other byte as $'\n', $'\t', $'\033' or
// $'\377', so no name can move the terminal's cursor, change its colours or
// cut a message into lines, and the form can be pasted back into a shell.
// Call it as shardix::quoted(): unqualified, a std::string argument also finds
// std::quoted of <iomanip> (argument-dependent lookup), which may win.
std::string quoted(std::string_view name);
std::string shownName(std::string_view name);
// For strings and literals, so that a call never lands on std::quoted, which
// argument-dependent lookup also finds and would prefer to a conversion.
inline std::string quoted(const std::string& name) {
    return quoted(std::string_view(name));
}
inline std::string quoted(std::string& name) {
    return quoted(std::string_view(name));
}
inline std::string quoted(const char* name) {
    return quoted(std::string_view(name));
}

// Whether a name is shown as it is (printable UTF-8 only).
bool printableName(std::string_view name);

} // namespace shardix
