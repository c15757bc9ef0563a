#pragma once

#include <string>
#include <string_view>

namespace pellorin {

// Where a run may find an artist that a file's name does not give: the song's own tags, say. The
// run asks only about files whose name gives no artist by the two rules.
class ArtistSuggestions {
 public:
  virtual ~ArtistSuggestions() = default;
  // The artist that the file under path suggests, ready to name a folder, or the empty text.
  virtual std::string SuggestArtist(std::string_view path) = 0;
  // Where the suggestions come from, as the question says it: "its tags".
  virtual std::string_view Origin() const = 0;
};

// How a run uses its suggestions.
struct ArtistSuggestionUse {
  ArtistSuggestions* suggestions = nullptr;  // none: the question offers the file's name
  bool withoutAsking = false;                // a suggestion is the artist; no question is asked
};

}  // namespace pellorin
