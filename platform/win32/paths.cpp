#include "paths.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace pellorin::win32 {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string_view WithoutTrailingSeparators(std::string_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

bool IsDrive(std::string_view path) {
  return path.size() == 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

bool IsDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  static constexpr std::array<std::string_view, 5> kDevices = {"CON", "PRN", "AUX", "NUL",
                                                               "CONIN$"};
  if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         std::isdigit(static_cast<unsigned char>(stem[3]));
}

}  // namespace

std::string ParentFolder(std::string_view path) {
  const auto trimmed = WithoutTrailingSeparators(path);
  const auto separator = LastSeparator(trimmed);
  if (separator == std::string_view::npos) return {};
  const auto parent = WithoutTrailingSeparators(trimmed.substr(0, separator));
  if (parent.empty()) return "\\";
  if (IsDrive(parent)) return std::string(parent) + "\\";
  return std::string(parent);
}

std::string LastComponent(std::string_view path) {
  const auto trimmed = WithoutTrailingSeparators(path);
  const auto separator = LastSeparator(trimmed);
  return std::string(separator == std::string_view::npos ? trimmed : trimmed.substr(separator + 1));
}

std::string JoinPath(std::string_view path, std::string_view name) {
  if (path.empty()) return std::string(name);
  while (!name.empty() && IsSeparator(name.front())) name.remove_prefix(1);
  std::string joined(WithoutTrailingSeparators(path));
  joined.reserve(joined.size() + 1 + name.size());
  return joined.append("\\").append(name);
}

std::string NameAsWindowsKeepsIt(std::string_view name) {
  const auto kept = name.substr(0, name.find_last_not_of(". ") + 1);
  return std::string(kept.empty() ? name : kept);
}

bool IsNameWindowsKeeps(std::string_view name) {
  const bool forbidden = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 32 ||
           std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
  });
  if (forbidden || IsDeviceName(name)) return false;
  return name.find_last_not_of(". ") != std::string_view::npos;
}

}  // namespace pellorin::win32
