// The Move run on a worker thread, against the same run on one thread: the window must not be
// able to tell them apart, but for the run that it asked to stop.

#include "sorting/threaded_run.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "support/memory_file_system.h"
#include "support/scripted_window.h"

namespace pellorin {
namespace {

// The scripted window, also noting what its box held each time the run turned to the window.
class WatchedWindow final : public RunWindow {
 public:
  testing::ScriptedWindow script;
  std::vector<std::string> logWhenCalled;
  std::function<void()> onQuestion;

  std::string PatternText() const override { return script.PatternText(); }
  std::string RootText() const override { return script.RootText(); }
  ResultsBox& Results() override { return script.Results(); }
  void SetMousePointer(MousePointer pointer) override {
    logWhenCalled.push_back(script.results.text);
    script.SetMousePointer(pointer);
  }
  void ShowMessage(std::string_view text) override {
    logWhenCalled.push_back(script.results.text);
    script.ShowMessage(text);
  }
  std::string InputBox(std::string_view prompt, std::string_view title,
                       std::string_view defaultText) override {
    logWhenCalled.push_back(script.results.text);
    if (onQuestion) onQuestion();
    return script.InputBox(prompt, title, defaultText);
  }
};

// A window's thread in miniature: the worker's calls wait until this thread takes them, as a
// window's event loop would, and the log is drained between them.
class WindowThread {
 public:
  ThreadedRun::OnWindowThread Caller() {
    return [this](const std::function<void()>& call) {
      std::unique_lock lock(mutex_);
      call_ = &call;
      changed_.notify_all();
      changed_.wait(lock, [this] { return call_ == nullptr; });
    };
  }
  std::function<void()> Waker() {
    return [this] {
      const std::lock_guard lock(mutex_);
      ended_ = true;
      changed_.notify_all();
    };
  }
  MoveRunOutcome Serve(ThreadedRun& run) {
    run.Start();
    std::unique_lock lock(mutex_);
    while (!ended_) {
      changed_.wait_for(lock, std::chrono::milliseconds(1));
      if (const auto* call = call_) {
        lock.unlock();
        (*call)();
        lock.lock();
        call_ = nullptr;
        changed_.notify_all();
      }
      lock.unlock();
      run.DrainLog();
      lock.lock();
    }
    lock.unlock();
    EXPECT_TRUE(run.Finished());
    return run.Finish();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  const std::function<void()>* call_ = nullptr;
  bool ended_ = false;
};

struct Sample {
  testing::MemoryFileSystem disk;
  WatchedWindow window;

  explicit Sample(const std::vector<std::string>& songs) {
    disk.folders = {"c:", "c:\\temp", "c:\\music", "c:\\music\\mp3"};
    for (const auto& song : songs) disk.files["c:\\temp\\" + song] = song;
    window.script.results.text = "typed";
  }
  MoveRunOutcome RunThreaded() {
    WindowThread thread;
    ThreadedRun run(window, disk, disk, thread.Caller(), thread.Waker());
    return thread.Serve(run);
  }
};

TEST(ThreadedRun, SameEntriesBoxesAndAnswersAsOnOneThread) {
  const struct {
    const char* name;
    std::vector<std::string> songs;
    std::string root;
  } cases[] = {
      {"questions", {"Artist - One.mp3", "Song.mp3", "Artist - Two.mp3", "Tune.mp3"}, ""},
      {"invalid root", {"Artist - One.mp3"}, "c:\\missing"},
      {"no files", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sample oneThread(c.songs), worker(c.songs);
    for (auto* sample : {&oneThread, &worker}) {
      if (!c.root.empty()) sample->window.script.root = c.root;
      sample->window.script.answers = {"Typed", ""};
    }
    const auto expected = MoveRun(oneThread.window, oneThread.disk, oneThread.disk);
    const auto outcome = worker.RunThreaded();
    EXPECT_EQ(outcome.filesMoved, expected.filesMoved);
    EXPECT_EQ(worker.window.script.results.text, oneThread.window.script.results.text);
    EXPECT_EQ(worker.window.script.events, oneThread.window.script.events);
    EXPECT_EQ(worker.window.logWhenCalled, oneThread.window.logWhenCalled);
  }
}

TEST(ThreadedRun, StopsAfterTheFileInHandAndCarriesFailuresBack) {
  Sample stopped({"A - 1.mp3", "Song.mp3", "Z - 3.mp3"});
  stopped.window.script.answers = {"Typed"};
  ThreadedRun* running = nullptr;
  stopped.window.onQuestion = [&running] { running->RequestStop(); };
  WindowThread thread;
  ThreadedRun run(stopped.window, stopped.disk, stopped.disk, thread.Caller(), thread.Waker());
  running = &run;
  EXPECT_EQ(thread.Serve(run).filesMoved, 2);
  EXPECT_TRUE(stopped.disk.files.contains("c:\\temp\\Z - 3.mp3"));
  EXPECT_TRUE(
      stopped.window.script.results.text.ends_with("File \"Song.mp3\" moved.\r\n2files(s) moved."));

  Sample failing({"Song.mp3"});  // no answer scripted: the input box throws on the window's thread
  EXPECT_THROW(failing.RunThreaded(), std::runtime_error);
  EXPECT_EQ(failing.window.script.events.back(), "pointer 0");
}

}  // namespace
}  // namespace pellorin
