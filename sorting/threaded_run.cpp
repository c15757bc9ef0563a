#include "threaded_run.h"

#include <utility>

namespace pellorin {

// The window as the worker sees it: texts read before the start, the log queued for the
// window's thread, everything else run there. Only the run writes to the box while it goes on
// (the window takes no input meanwhile), so whether the box is empty is known here.
class ThreadedRun::WorkerWindow final : public RunWindow, public ResultsBox {
 public:
  explicit WorkerWindow(ThreadedRun& run)
      : run_(run),
        pattern_(run.window_.PatternText()),
        root_(run.window_.RootText()),
        boxEmpty_(run.window_.Results().IsEmpty()) {}

  std::string PatternText() const override { return pattern_; }
  std::string RootText() const override { return root_; }
  ResultsBox& Results() override { return *this; }
  void SetMousePointer(MousePointer pointer) override {
    OnWindow([&] { run_.window_.SetMousePointer(pointer); });
  }
  void ShowMessage(std::string_view text) override {
    OnWindow([&] { run_.window_.ShowMessage(text); });
  }
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override {
    std::string answer;
    OnWindow([&] { answer = run_.window_.InputBox(prompt, title, defaultText); });
    return answer;
  }
  bool StopRequested() const override { return run_.stopRequested_.load(); }

  bool IsEmpty() const override { return boxEmpty_; }
  void Append(std::string_view text) override {
    if (text.empty()) return;
    boxEmpty_ = false;
    const std::lock_guard lock(run_.queueLock_);
    if (run_.forDisplay_) {
      run_.forDisplay_(run_.queuedText_, text);
    } else {
      run_.queuedText_.append(text);
    }
  }
  void Clear() override {
    boxEmpty_ = true;
    const std::lock_guard lock(run_.queueLock_);
    run_.queuedText_.clear();
    run_.clearQueued_ = true;
  }

 private:
  // Runs call on the window's thread, after the log so far has reached the box; a failure there
  // is thrown again here, on the worker, so that it ends the run as it would on one thread.
  template <typename Call>
  void OnWindow(const Call& call) {
    std::exception_ptr failure;
    run_.onWindowThread_([&] {
      try {
        run_.DrainLog();
        call();
      } catch (...) {
        failure = std::current_exception();
      }
    });
    if (failure) std::rethrow_exception(failure);
  }

  ThreadedRun& run_;
  const std::string pattern_;
  const std::string root_;
  bool boxEmpty_;
};

ThreadedRun::ThreadedRun(RunWindow& window, FileSystemObject& fileSystem, FileEnumeration& files,
                         OnWindowThread onWindowThread, std::function<void()> wake,
                         QueueForDisplay forDisplay)
    : window_(window),
      fileSystem_(fileSystem),
      files_(files),
      onWindowThread_(std::move(onWindowThread)),
      wake_(std::move(wake)),
      forDisplay_(std::move(forDisplay)) {}

ThreadedRun::~ThreadedRun() {
  if (worker_.joinable()) worker_.join();
}

void ThreadedRun::Start() {
  workerWindow_ = std::make_unique<WorkerWindow>(*this);
  worker_ = std::thread([this] {
    try {
      outcome_ = MoveRun(*workerWindow_, fileSystem_, files_);
    } catch (...) {
      failure_ = std::current_exception();
    }
    finished_.store(true);
    if (wake_) wake_();
  });
}

void ThreadedRun::DrainLog() {
  std::string text;
  bool clear = false;
  {
    const std::lock_guard lock(queueLock_);
    text.swap(queuedText_);
    clear = std::exchange(clearQueued_, false);
  }
  ResultsBox& box = window_.Results();
  if (clear) box.Clear();
  if (!text.empty()) box.Append(text);
}

MoveRunOutcome ThreadedRun::Finish() {
  if (worker_.joinable()) worker_.join();
  DrainLog();
  if (failure_) std::rethrow_exception(failure_);
  return outcome_;
}

}  // namespace pellorin
