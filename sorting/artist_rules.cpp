#include "artist_rules.h"

#include "delimited_fields.h"

namespace pellorin {

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string ArtistFromName(std::string_view name) {
  if (name.starts_with('(')) {
    const auto closing = name.find(')');
    if (closing == std::string_view::npos) return {};
    return std::string(name.substr(1, closing - 1));
  }
  if (CountFields(name, "-") == 2) return std::string(TrimBlanks(GetField(name, 0, "-")));
  return {};
}

bool IsPlainFolderName(std::string_view artist, std::string_view separators) {
  if (artist == "." || artist == "..") return false;
  if (artist.find('\0') != std::string_view::npos) return false;
  return artist.find_first_of(separators) == std::string_view::npos;
}

}  // namespace pellorin
