#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "paths.h"

namespace pellorin::posix {

std::string ComposedName(std::string_view name) {
  if (std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; })) {
    return std::string(name);  // ASCII is composed already
  }
  utf8proc_uint8_t* composed = nullptr;
  const auto length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(name.data()),
                   static_cast<utf8proc_ssize_t>(name.size()), &composed,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(composed, &std::free);
  if (length < 0) return std::string(name);  // not UTF-8: compared byte for byte
  return {reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length)};
}

}  // namespace pellorin::posix
