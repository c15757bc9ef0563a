#pragma once

// A Move run on a worker thread, for a window that has to stay alive while the disk works. A
// single move across drives can take many seconds; the window's own thread stays free for the
// system's messages, its repaints and the log as it grows:
//
//   window's thread: Start -> wait, answering its events, DrainLog on a timer -> Finish
//   worker:          MoveRun(stand-in window, file system, enumeration)
//                      log entries -> queued in order under a lock, as the window shows them
//                      pointer, message and input boxes -> run on the window's thread, with the
//                        queued entries in the box first
//                      between two files -> ends when the window has asked it to stop
//
// The real window is only ever touched on its own thread, and the run sees the same texts,
// boxes and answers in the same order as on one thread.

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "file_system.h"
#include "move_run.h"
#include "run_window.h"

namespace pellorin {

// What a window's run works on, made afresh for each run.
struct RunFiles {
  std::unique_ptr<FileSystemObject> fileSystem;
  std::unique_ptr<FileEnumeration> files;
};

// How often a window puts the queued entries into its box while a run goes on.
inline constexpr std::chrono::milliseconds kLogDrainInterval{100};

class ThreadedRun {
 public:
  // Runs a call on the window's thread and returns once it has returned there.
  using OnWindowThread = std::function<void(const std::function<void()>&)>;

  // Appends one piece of the log, as AppendResult gives it to a box ("[CR LF] entry"), to the
  // text queued for the window's box, as the box is to show it. Pieces are joined in the queue,
  // where an entry's separator can no longer be told from a line break inside the entry.
  using QueueForDisplay = std::function<void(std::string& queued, std::string_view piece)>;

  // wake is called on the worker once the run has ended, so that the window's wait can end.
  // forDisplay, on the worker: by default each piece is queued as it is.
  ThreadedRun(RunWindow& window, FileSystemObject& fileSystem, FileEnumeration& files,
              OnWindowThread onWindowThread, std::function<void()> wake,
              QueueForDisplay forDisplay = {});
  // Waits for the worker. Destroy a started run only once Finished() says so, or the window
  // would wait for a worker that waits for the window.
  ~ThreadedRun();
  ThreadedRun(const ThreadedRun&) = delete;
  ThreadedRun& operator=(const ThreadedRun&) = delete;

  // On the window's thread: reads the window's texts and starts the worker.
  void Start();
  bool Finished() const { return finished_.load(); }
  // The run ends after the file it is handling, never inside a move.
  void RequestStop() { stopRequested_.store(true); }
  // On the window's thread: puts the entries queued since the last time into the window's box.
  void DrainLog();
  // On the window's thread, once Finished(): the rest of the log into the box, then the run's
  // outcome, or the failure that ended it, thrown here.
  MoveRunOutcome Finish();

 private:
  class WorkerWindow;

  RunWindow& window_;
  FileSystemObject& fileSystem_;
  FileEnumeration& files_;
  OnWindowThread onWindowThread_;
  std::unique_ptr<WorkerWindow> workerWindow_;
  std::function<void()> wake_;
  QueueForDisplay forDisplay_;
  std::atomic<bool> stopRequested_ = false;
  std::atomic<bool> finished_ = false;

  std::mutex queueLock_;
  std::string queuedText_;    // guarded by queueLock_
  bool clearQueued_ = false;  // guarded by queueLock_

  MoveRunOutcome outcome_;      // written by the worker, read after joining it
  std::exception_ptr failure_;  // likewise
  std::thread worker_;
};

}  // namespace pellorin
