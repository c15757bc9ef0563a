#pragma once

// The journals that pellorin-move keeps of its runs, so that a run can be undone, and what an
// undo has put back since. One file a run, "<run>.journal" in the state folder; one record a line,
// appended as the run's entries retire and made durable before the log shows them:
//
//   pellorin journal 1
//   run <started> <pattern> <root> <source folder>
//   folder <path>                                    a folder the run made
//   move <name> <from> <to> <size> <modified> <volume> <file>
//   back <n>                                         the nth move was put back (from 0)
//   removed <path>                                   an undo removed the folder
//   undone <time>                                    an undo ran to its end
//
// Fields are separated by one blank. Text fields hold any bytes: each byte below 33, "%" and 127
// is written as "%" and two hexadecimal digits, so every name comes back exactly. Numbers are
// decimal; times are seconds since 1970 (UTC). A line that does not end with a newline was cut
// short by an interruption and is ignored, as is any line not understood.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/group_writer.h"
#include "platform/state_folder.h"
#include "sorting/file_system.h"
#include "sorting/journaled_run.h"
#include "sorting/run_observer.h"

namespace pellorin::cli {

inline constexpr std::size_t kJournalsKept = 100;

std::string EncodeField(std::string_view text);
std::optional<std::string> DecodeField(std::string_view field);

// The run's record ("run ...") and the lines an undo adds.
std::string RunRecord(const JournaledRun& run);
std::string BackRecord(std::size_t index);
std::string RemovedRecord(std::string_view folder);
std::string UndoneRecord(std::int64_t at);

// A journal's text; nothing when it is not a journal of this version.
std::optional<JournaledRun> ParseJournal(std::string name, std::string_view text);

// Records written to one journal. They wait in memory until Commit writes them and makes them
// durable; the first failure is said once on the error stream, then the journal is given up
// (onFailure), and nothing more is written.
class JournalWriter {
 public:
  using Opener = std::function<std::unique_ptr<platform::AppendFile>(std::error_code&)>;
  JournalWriter(Opener open, std::ostream& err, std::string whatIsLost,
                std::function<void()> onFailure = {})
      : open_(std::move(open)),
        err_(err),
        whatIsLost_(std::move(whatIsLost)),
        onFailure_(std::move(onFailure)) {}

  // Where records are appended, to wait for the next commit; nothing once the journal failed.
  std::string* Records();
  // Writes what waits to the file, where a kill cannot take it, and then makes it durable, where a
  // power cut cannot either.
  void Write() { WriteOut(false); }
  void Commit() { WriteOut(true); }

 private:
  void WriteOut(bool durable);
  void Fail(std::error_code failure);

  Opener open_;  // called at the first commit that has something to write
  std::ostream& err_;
  std::string whatIsLost_;
  std::function<void()> onFailure_;
  std::unique_ptr<platform::AppendFile> file_;
  std::string pending_;
  bool unflushed_ = false;  // written, not yet made durable
  bool failed_ = false;
};

// The journal of a Move run: made at its first folder or move, so that a run that changes nothing
// leaves none, and the oldest journals beyond the last kJournalsKept go then. Each moved file is
// looked at, for what it is like as the run left it, on a thread of its own, where its record is
// written too, while the run's thread goes on moving: looking costs a system call, as much as the
// move itself. The record may so describe a file as it was a few moments after its move.
class MoveJournal final : public RunObserver {
 public:
  static constexpr std::size_t kMovesHandedOver = 256;

  MoveJournal(const platform::StateFolder& folder, const FileSystemObject& fileSystem,
              JournaledRun run, std::ostream& err);
  ~MoveJournal() override { Commit(); }  // what retired, however the run ended
  MoveJournal(const MoveJournal&) = delete;
  MoveJournal& operator=(const MoveJournal&) = delete;
  void FolderCreated(std::string_view folder) override;
  void Moved(MoveTicket ticket, std::string_view name, std::string_view source,
             std::string_view destination) override;
  // Writes every record so far and makes it durable.
  void Commit();

 private:
  struct Unrecorded {
    std::string name, source, destination;
  };
  std::unique_ptr<platform::AppendFile> Create(std::error_code& failure);
  std::string* Records();
  void HandOver();

  const platform::StateFolder& folder_;
  const FileSystemObject& fileSystem_;
  JournaledRun run_;
  JournalWriter writer_;
  bool started_ = false;
  bool created_ = false;                // the file is this run's own
  std::vector<Unrecorded> unrecorded_;  // moves not yet handed to the recorder
  std::string recorded_;                // the recorder's records, taken at the next commit
  platform::GroupWriter recorder_;      // last: stopped before anything it uses goes
};

// What an undo puts back, added to the journal of the run it undoes.
class UndoJournal final : public RunObserver {
 public:
  UndoJournal(const platform::StateFolder& folder, const std::string& run, std::ostream& err);
  void FolderRemoved(std::string_view folder) override;
  void Moved(MoveTicket ticket, std::string_view name, std::string_view source,
             std::string_view destination) override;
  // The undo ran to its end.
  void Finish(std::int64_t at);
  void Commit() { writer_.Commit(); }

 private:
  JournalWriter writer_;
};

// The journals in the folder, newest first.
std::vector<std::string> JournaledRunNames(const platform::StateFolder& folder);
std::optional<JournaledRun> ReadJournaledRun(const platform::StateFolder& folder,
                                             const std::string& name);
// A time (seconds since 1970) as strftime writes it in local time.
std::string LocalTime(std::int64_t at, const char* format);
// A name for a run started at that time: its local date and time, "20261208-143012".
std::string RunNameFor(std::int64_t startedAt);

}  // namespace pellorin::cli
