#pragma once

// The field and artist rules written a second time, as plainly as possible and independently of
// the core: 1-based positions and a naive search, step by step as the rules are stated. Tests and
// fuzzers compare the core with these.

#include <cstdint>
#include <string>
#include <string_view>

namespace pellorin::reference {

// 1-based position of the first occurrence of what at or after position from, or 0.
inline std::size_t Find(std::string_view text, std::string_view what, std::size_t from) {
  if (what.empty()) return 0;
  for (std::size_t p = from; p + what.size() <= text.size() + 1; ++p) {
    bool same = true;
    for (std::size_t i = 0; i < what.size() && same; ++i) same = text[p - 1 + i] == what[i];
    if (same) return p;
  }
  return 0;
}

inline std::int64_t CountFields(std::string_view text, std::string_view delimiter) {
  std::int64_t count = 0;
  for (std::size_t p = Find(text, delimiter, 1); p != 0;
       p = Find(text, delimiter, p + delimiter.size())) {
    ++count;
  }
  return count + 1;
}

inline std::string GetField(std::string_view text, std::int16_t index, std::string_view delimiter) {
  std::size_t start = 1;
  for (int n = 1; n <= index; ++n) {
    const std::size_t found = Find(text, delimiter, start);
    if (found == 0) return {};
    start = found + delimiter.size();
  }
  const std::size_t end = Find(text, delimiter, start);
  if (end == 0) return std::string(text.substr(start - 1));
  return std::string(text.substr(start - 1, end - start));
}

inline std::string Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

inline std::string Artist(std::string_view name) {
  if (!name.empty() && name[0] == '(') {
    const std::size_t closing = Find(name, ")", 1);
    return closing == 0 ? std::string() : std::string(name.substr(1, closing - 2));
  }
  return CountFields(name, "-") == 2 ? Trim(GetField(name, 0, "-")) : std::string();
}

}  // namespace pellorin::reference
