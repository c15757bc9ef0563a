#include "own_file_names.h"

#include <charconv>

namespace pellorin::platform {
namespace {

constexpr std::string_view kPrefix = ".pellorin-";
constexpr std::string_view kTemporaryEnding = ".part";
constexpr std::string_view kSetAsideEnding = ".gone";
constexpr std::size_t kMaxHostLength = 32;

bool IsAsciiAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Takes a decimal number and the "-" after it from the front of text.
std::optional<std::uint64_t> TakeNumber(std::string_view& text) {
  std::uint64_t value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end == text.data() || end == text.data() + text.size() ||
      *end != '-') {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
  return value;
}

}  // namespace

std::string HostTag(std::string_view machineName) {
  std::string tag(machineName.substr(0, kMaxHostLength));
  for (char& c : tag) {
    if (!IsAsciiAlphanumeric(c)) c = '_';
  }
  return tag.empty() ? std::string("_") : tag;
}

std::string FormatOwnFileName(const OwnFileName& name) {
  std::string formatted(kPrefix);
  formatted.append(std::to_string(name.process))
      .append("-")
      .append(std::to_string(name.serial))
      .append("-")
      .append(name.host);
  if (name.kind == OwnFileKind::Temporary) return formatted.append(kTemporaryEnding);
  formatted.append(kSetAsideEnding);
  if (!name.original.empty()) formatted.append("-").append(name.original);
  return formatted;
}

std::optional<OwnFileName> ParseOwnFileName(std::string_view name) {
  if (!name.starts_with(kPrefix)) return std::nullopt;
  std::string_view rest = name.substr(kPrefix.size());
  OwnFileName parsed;
  const auto process = TakeNumber(rest);
  if (!process) return std::nullopt;
  const auto serial = TakeNumber(rest);
  if (!serial) return std::nullopt;
  parsed.process = *process;
  parsed.serial = *serial;

  const std::size_t hostEnd = rest.find('.');
  if (hostEnd == std::string_view::npos) return std::nullopt;
  parsed.host = std::string(rest.substr(0, hostEnd));
  rest.remove_prefix(hostEnd);
  if (rest == kTemporaryEnding) {
    parsed.kind = OwnFileKind::Temporary;
  } else if (rest.starts_with(kSetAsideEnding)) {
    parsed.kind = OwnFileKind::SetAside;
    rest.remove_prefix(kSetAsideEnding.size());
    if (!rest.empty()) {
      if (rest.front() != '-' || rest.size() == 1) return std::nullopt;
      parsed.original = std::string(rest.substr(1));
    }
  } else {
    return std::nullopt;
  }
  // Only a name this program would have made itself counts as ours: no leading zeros, no odd host.
  if (FormatOwnFileName(parsed) != name || HostTag(parsed.host) != parsed.host) {
    return std::nullopt;
  }
  return parsed;
}

}  // namespace pellorin::platform
