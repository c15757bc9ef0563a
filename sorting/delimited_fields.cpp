#include "delimited_fields.h"

#include <limits>
#include <stdexcept>

namespace pellorin {

std::int32_t CountFields(std::string_view text, std::string_view delimiter) {
  std::int64_t fields = 1;
  if (!delimiter.empty()) {
    for (auto at = text.find(delimiter); at != std::string_view::npos;
         at = text.find(delimiter, at + delimiter.size())) {
      ++fields;
    }
  }
  if (fields > std::numeric_limits<std::int32_t>::max()) {
    throw std::overflow_error("CountFields: more fields than a 32-bit count holds");
  }
  return static_cast<std::int32_t>(fields);
}

std::string GetField(std::string_view text, std::int16_t index, std::string_view delimiter) {
  if (delimiter.empty()) return index <= 0 ? std::string(text) : std::string();
  std::size_t start = 0;
  for (std::int16_t skipped = 0; skipped < index; ++skipped) {
    const auto at = text.find(delimiter, start);
    if (at == std::string_view::npos) return {};
    start = at + delimiter.size();
  }
  const auto end = text.find(delimiter, start);
  return std::string(text.substr(start, end == std::string_view::npos ? text.npos : end - start));
}

}  // namespace pellorin
