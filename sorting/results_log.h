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

}  // namespace pellorin
