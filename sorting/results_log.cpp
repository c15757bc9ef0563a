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

LogPiece SplitLogPiece(std::string_view piece) {
  LogPiece split;
  split.separated = piece.starts_with(kCrLf);
  if (split.separated) piece.remove_prefix(kCrLf.size());
  split.ended = piece.ends_with(kCrLf);
  if (split.ended) piece.remove_suffix(kCrLf.size());
  split.entry = piece;
  return split;
}

}  // namespace pellorin
