#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellorin::posix {

// Paths with "/" as the only separator; repeated and trailing separators are tolerated.

// The path without its last component: "/" for "/x", empty for "x" and for "/".
std::string ParentFolder(std::string_view path);
// The last component, without trailing separators.
std::string LastComponent(std::string_view path);
// Path and name with exactly one "/" between them.
std::string JoinPath(std::string_view path, std::string_view name);
// The path as the kernel takes it, or nothing when it holds a NUL, which the kernel would
// silently read as the end of a shorter path.
std::optional<std::string> KernelPath(std::string_view path);

// The user's home folder: $HOME, else the one the password database gives.
std::string HomeFolder();
// The name in Unicode's composed form (NFC); a name that is not valid UTF-8 stays as it is.
std::string ComposedName(std::string_view name);

}  // namespace pellorin::posix
