#include "results_log.h"

#include <string>

namespace pellorin {

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  return quoted.append("\"").append(text).append("\"");
}

void AppendResult(ResultsBox& box, std::string_view entry) {
  if (box.IsEmpty()) {
    box.Append(entry);
    return;
  }
  std::string separated;
  separated.reserve(kCrLf.size() + entry.size());
  separated.append(kCrLf).append(entry);
  box.Append(separated);
}

}  // namespace pellorin
