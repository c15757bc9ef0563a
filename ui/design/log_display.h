#pragma once

// How both windows show the results log. The log separates its entries with CR LF, and a file
// name may hold any byte but "/" and NUL, CR and LF among them; the boxes break lines at CR LF,
// and some at a lone CR or LF too. So inside an entry every control character is shown as its
// picture from Unicode's Control Pictures block (CR as U+240D, LF as U+240A, DEL as U+2421), and
// a name can never make one entry look like two. A picture keeps the entry's length and tells
// each code apart; an escape such as "\n" would read like a folder of a Windows path. Where no
// font has the pictures they show as boxes, still inside their entry's line.

#include <string>
#include <string_view>

namespace pellorin::design {

// Appends to shown one piece of the log as AppendResult adds it, "[CR LF] entry", as the box is
// to show it. The piece's leading CR LF separates it from the entry before; a trailing one is the
// entry's own ("Directory ... Exists." ends with one): both stay line breaks. No name can stand at
// either end, since every entry begins and ends with its own words. The Unicode line and paragraph
// separators, line breaks to Qt, are shown as U+2424.
void AppendLogPieceForDisplay(std::string& shown, std::string_view piece);

}  // namespace pellorin::design
