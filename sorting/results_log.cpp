#include "results_log.h"

#include <string>

namespace pellorin {

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

void GatheringResultsBox::Clear() {
  pending_.clear();
  box_.Clear();
}

void GatheringResultsBox::Flush() {
  if (pending_.empty()) return;
  box_.Append(pending_);
  pending_ = std::string();  // a long log's buffer is not kept for the next run
}

}  // namespace pellorin
