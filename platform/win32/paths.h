#pragma once

#include <string>
#include <string_view>

namespace pellorin::win32 {

// Windows paths in UTF-8: "\" is the separator, and "/" is accepted as one on input.

// The path without its last component: "C:\" for "C:\x", empty for "x" and for "C:\".
std::string ParentFolder(std::string_view path);
// The last component, without trailing separators.
std::string LastComponent(std::string_view path);
// Path and name with exactly one "\" between them.
std::string JoinPath(std::string_view path, std::string_view name);
// The name as Windows keeps it as the last component of a path: without trailing dots and
// blanks ("Mr." is "Mr", " The Band " is " The Band"). A name that would be nothing stays as it is.
std::string NameAsWindowsKeepsIt(std::string_view name);
// False for names that Windows refuses or would read as another name: reserved characters,
// control characters, device names (CON, NUL, COM1...), and names that are nothing, "." or ".."
// once Windows has dropped their trailing dots and blanks.
bool IsNameWindowsKeeps(std::string_view name);

}  // namespace pellorin::win32
