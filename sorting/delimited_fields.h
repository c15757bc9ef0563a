#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellorin {

// A text read as fields separated by a delimiter. Occurrences never overlap and are found by
// exact, case-sensitive comparison. Texts are UTF-8: a byte search finds a UTF-8 delimiter exactly
// where a character search would.

// The number of non-overlapping occurrences of delimiter in text, plus one. An empty delimiter is
// never found, so the whole text is one field. Throws std::overflow_error past 32 bits.
std::int32_t CountFields(std::string_view text, std::string_view delimiter);

// The field with the 0-based number index: any index of 0 or less gives the first field, an index
// past the last field gives the empty text. Fields keep their blanks.
std::string GetField(std::string_view text, std::int16_t index, std::string_view delimiter);

}  // namespace pellorin
