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

// Gathers what is appended and hands it on to another box in one piece, when flushed: for a box
// that redraws on every change. (The windows no longer need it: a run on a worker thread queues
// its log and the window drains the queue on a timer, see threaded_run.h.)
class GatheringResultsBox final : public ResultsBox {
 public:
  explicit GatheringResultsBox(ResultsBox& box) : box_(box) {}
  bool IsEmpty() const override { return pending_.empty() && box_.IsEmpty(); }
  void Append(std::string_view text) override { pending_.append(text); }
  void Clear() override;
  // Puts what was appended since the last time into the box.
  void Flush();

 private:
  ResultsBox& box_;
  std::string pending_;
};

inline constexpr std::string_view kCrLf = "\r\n";

// Adds one entry to the log: entries are separated by CR LF, with none before the first. Whatever
// the box already holds (the user may have typed into it) stays in front of the entry.
void AppendResult(ResultsBox& box, std::string_view entry);

}  // namespace pellorin
