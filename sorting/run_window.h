#pragma once

#include <string>
#include <string_view>

#include "results_log.h"

namespace pellorin {

enum class MousePointer { Default = 0, Hourglass = 11 };

// What a Move run needs from the window that started it. A window can be a real one, a terminal
// or a test's script.
class RunWindow {
 public:
  virtual ~RunWindow() = default;

  virtual std::string PatternText() const = 0;  // the files to move, as typed
  virtual std::string RootText() const = 0;     // the root folder, as typed
  virtual ResultsBox& Results() = 0;
  virtual void SetMousePointer(MousePointer pointer) = 0;
  // Modal, OK button only, titled with the product name.
  virtual void ShowMessage(std::string_view text) = 0;
  // Modal; the text the user entered, or the empty text on Cancel.
  virtual std::string InputBox(std::string_view prompt, std::string_view title,
                               std::string_view defaultText) = 0;
  // Asked between two files: true ends the run there, with its closing entry, as when the last
  // file has been handled. A window that is being closed while a run goes on says so here.
  virtual bool StopRequested() const { return false; }
};

// Shows the hourglass for as long as it lives, so the pointer comes back however a run ends.
class BusyPointer {
 public:
  explicit BusyPointer(RunWindow& window) : window_(window) {
    window_.SetMousePointer(MousePointer::Hourglass);
  }
  ~BusyPointer() { window_.SetMousePointer(MousePointer::Default); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  RunWindow& window_;
};

}  // namespace pellorin
