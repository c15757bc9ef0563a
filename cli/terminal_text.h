#pragma once

#include <string>
#include <string_view>

namespace pellorin::cli {

// A name as a terminal may be shown it. A file name may hold any byte but "/" and NUL, and a
// terminal obeys the control characters among them (ESC sequences retitle or clear it, a lone CR
// overwrites the line), so each byte of a control character (below 32, 127, and the controls
// U+0080 to U+009F in UTF-8) is written as \xHH, as a shell's $'...' reads it back. Everything else
// is kept, backslashes included, so a Windows path reads as it is.
std::string EscapedForTerminal(std::string_view text);

}  // namespace pellorin::cli
