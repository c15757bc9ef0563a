#pragma once

// The file system a run of pellorin-move works on: the disk itself, a stand-in that only pretends,
// or the disk with the run's journal written ahead of every move.

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>

#include "journal/journal.h"
#include "journal/write_ahead.h"
#include "platform/platform.h"
#include "platform/state_folder.h"
#include "sorting/dry_run_file_system.h"
#include "terminal_window.h"

namespace pellorin::cli {

inline std::int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

struct RunDisk {
  explicit RunDisk(bool dryRun) : disk(platform::MakeFileSystem()) {
    if (dryRun) pretend = std::make_unique<DryRunFileSystem>(*disk);
  }
  FileSystemObject& Used() { return pretend ? *pretend : *disk; }

  std::unique_ptr<FileSystemObject> disk;
  std::unique_ptr<FileSystemObject> pretend;
};

// One Move run's disk with its journal, for as long as it lives; without a journal, the disk.
class JournaledDisk {
 public:
  JournaledDisk(RunDisk& disk, TerminalWindow& window, const platform::StateFolder& journals,
                bool keepJournal, std::ostream& err)
      : disk_(disk), window_(window) {
    if (!keepJournal) return;
    JournaledRun run;
    run.startedAtMilliseconds = NowMilliseconds();
    run.startedAt = run.startedAtMilliseconds / 1000;
    run.pattern = window.PatternText();
    run.root = window.RootText();
    run.sourceFolder = disk.disk->GetParentFolderName(run.pattern);
    journal_.emplace(journals, run, err);
    ahead_.emplace(*disk.disk, *journal_);
    window.StopWhen([this] { return ahead_->JournalFailed(); });
    // The outcomes the log shows are in the file, for an undo to read.
    window.Results().BeforeShowing([this] { ahead_->WriteJournal(); });
  }
  ~JournaledDisk() {
    window_.StopWhen(nullptr);
    window_.Results().BeforeShowing(nullptr);
  }
  JournaledDisk(const JournaledDisk&) = delete;
  JournaledDisk& operator=(const JournaledDisk&) = delete;

  FileSystemObject& Used() { return ahead_ ? *ahead_ : disk_.Used(); }

 private:
  RunDisk& disk_;
  TerminalWindow& window_;
  std::optional<journal::RunJournal> journal_;
  std::optional<journal::WriteAheadFileSystem> ahead_;
};

}  // namespace pellorin::cli
