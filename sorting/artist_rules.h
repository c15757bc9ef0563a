#pragma once

#include <string>
#include <string_view>

namespace pellorin {

// The text without leading and trailing blanks (the space character only, not tabs or other white
// space), as a view into text.
std::string_view TrimBlanks(std::string_view text);

// The artist that the two fixed rules read from a trimmed file name, or the empty text:
// - a name that begins with "(" gives the text up to the first ")", untrimmed, and nothing else
//   is tried;
// - any other name with exactly one "-" gives the text before it, trimmed.
std::string ArtistFromName(std::string_view name);

// True when the artist names one entry directly inside a folder: not "." or "..", and no folder
// separator or NUL in it. Anything else would send the file somewhere other than under the root.
bool IsPlainFolderName(std::string_view artist, std::string_view separators);

}  // namespace pellorin
