#include "paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace pellorin::posix {
namespace {

std::string_view WithoutTrailingSeparators(std::string_view path) {
  const auto end = path.find_last_not_of('/');
  return end == std::string_view::npos ? std::string_view() : path.substr(0, end + 1);
}

}  // namespace

std::string ParentFolder(std::string_view path) {
  const auto trimmed = WithoutTrailingSeparators(path);
  const auto slash = trimmed.rfind('/');
  if (slash == std::string_view::npos) return {};
  const auto parentEnd = trimmed.find_last_not_of('/', slash);
  if (parentEnd == std::string_view::npos) return "/";
  return std::string(trimmed.substr(0, parentEnd + 1));
}

std::string LastComponent(std::string_view path) {
  const auto trimmed = WithoutTrailingSeparators(path);
  const auto slash = trimmed.rfind('/');
  return std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

std::string JoinPath(std::string_view path, std::string_view name) {
  if (path.empty()) return std::string(name);
  const auto nameStart = name.find_first_not_of('/');
  std::string joined(WithoutTrailingSeparators(path));
  joined.reserve(joined.size() + 1 + name.size());
  joined += '/';
  if (nameStart != std::string_view::npos) joined.append(name.substr(nameStart));
  return joined;
}

std::optional<std::string> KernelPath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  return std::string(path);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
    return user->pw_dir;
  }
  return "/";
}

}  // namespace pellorin::posix
