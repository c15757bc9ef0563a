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

// Gathers what is appended and hands it on to another box in one piece. A window whose box
// redraws on every change shows the run's log through it, and flushes whenever the run hands the
// window to the user (a question, a message) and when the run ends: the only moments at which
// anyone can see the box while a run is busy.
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
