#pragma once

#include <string>
#include <string_view>

namespace pellorin {

// The box that holds the results log. Appending goes to the end without re-reading the whole log,
// so a run over 100,000 files stays linear.
class ResultsBox {
 public:
  virtual ~ResultsBox() = default;
  virtual bool IsEmpty() const = 0;
  virtual void Append(std::string_view text) = 0;
  virtual void Clear() = 0;
};

inline constexpr std::string_view kCrLf = "\r\n";

// Text in double quotes, as the log's entries name files and folders.
std::string Quoted(std::string_view text);

// Adds one entry to the log: entries are separated by CR LF, with none before the first. Whatever
// the box already holds (the user may have typed into it) stays in front of the entry.
void AppendResult(ResultsBox& box, std::string_view entry);

// A piece of the log as AppendResult hands it to a box, taken apart: the CR LF that separates it
// from the entry before, if any; the entry; and the CR LF that ends the one entry that has one
// ("Directory ... Exists."). Every entry begins and ends with words of its own, never with a
// name, so any other line break inside it is a name's.
struct LogPiece {
  bool separated = false;
  std::string_view entry;
  bool ended = false;
};
LogPiece SplitLogPiece(std::string_view piece);

}  // namespace pellorin
