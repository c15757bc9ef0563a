#pragma once

// The journals that pellorin-move keeps of its runs, so that a run can be undone, and what an
// undo has put back since. One file a run, "<run>.journal" in the state folder, named after the
// time the run started in UTC ("20261208-143012.345"), so that names sort in the order the runs
// started whatever the local clock did. One record a line, written ahead of what it tells:
//
//   pellorin journal 2
//   run <started> <pattern> <root> <source folder>
//   folder <path>                                 a folder the run is about to make
//   move <n> <name> <from> <to> <size> <modified> <file>
//                                                 the run's nth move is about to be made; the
//                                                 source as it is then
//   done <n>                                      the nth move was made by a rename: the file is
//                                                 at <to> as the move record describes it
//   copied <n> <size> <modified> <file>           the nth move was made by a copy: the file at
//                                                 <to> as the copy left it
//   failed <n>                                    the nth move was not made
//   end <time>                                    the run ended and closed its journal
//   back <n>                                      an undo put the nth move back (or found it back)
//   removed <path>                                an undo removed the folder
//   partly <time>                                 an undo ended with files still out
//   undone <time>                                 an undo put back everything
//
// A folder's record is durable before the folder is made, and a move's before the move can be
// (a rename or the copy's first byte): so whatever stops a run, the journal knows every step it
// may have made. Moves are journaled a batch at a time: the records of the next moves, then one
// flush, then those moves. A move without an outcome is one whose end the journal never heard of;
// an undo looks at both its places.
//
// <file> is the file's identity where its file system keeps one across mounts, else 0; a device
// number is never kept, since a drive plugged in again gets another. Fields are separated by one
// blank. Text fields hold any bytes: each byte below 33, "%" and 127 is written as "%" and two
// hexadecimal digits, so every name comes back exactly. Numbers are decimal; <modified> is in the
// platform's units (nanoseconds on Linux, FILETIME ticks on Windows), other times seconds since
// 1970 (UTC). A line that does not end with a newline was cut short by an interruption and is
// ignored, as is any line not understood. Version 1 journals (written after the moves) are read
// too.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/state_folder.h"
#include "sorting/file_system.h"
#include "sorting/journaled_run.h"
#include "sorting/run_observer.h"

namespace pellorin::journal {

inline constexpr std::size_t kJournalsKept = 100;

std::string EncodeField(std::string_view text);
std::optional<std::string> DecodeField(std::string_view field);

// The run's record ("run ...") and the lines an undo adds.
std::string RunRecord(const JournaledRun& run);
std::string BackRecord(std::size_t index);
std::string RemovedRecord(std::string_view folder);
std::string UndoneRecord(std::int64_t at, bool everythingBack);

// A journal's text; nothing when it is not a journal of a version this one reads.
std::optional<JournaledRun> ParseJournal(std::string name, std::string_view text);

// Records written to one journal. They wait in memory until Write puts them in the file, where a
// kill cannot take them, or Commit also makes them durable, where a power cut cannot either. The
// first failure is said once on the error stream, with how far the journal holds; nothing more is
// written, and what was durable stays.
class JournalWriter {
 public:
  using Opener = std::function<std::unique_ptr<platform::AppendFile>(std::error_code&)>;
  JournalWriter(Opener open, std::ostream& err, std::string whatIsLost)
      : open_(std::move(open)), err_(err), whatIsLost_(std::move(whatIsLost)) {}

  // Where records are appended; nothing once the journal failed.
  std::string* Records();
  std::error_code Write() { return WriteOut(false); }
  std::error_code Commit() { return WriteOut(true); }
  bool Failed() const { return failed_; }
  // Said with the failure: from where on the journal is incomplete.
  void SetProgress(std::string progress) { progress_ = std::move(progress); }

 private:
  std::error_code WriteOut(bool durable);
  void Fail(std::error_code failure);

  Opener open_;  // called at the first write that has something to write
  std::ostream& err_;
  std::string whatIsLost_;
  std::string progress_;
  std::unique_ptr<platform::AppendFile> file_;
  std::string pending_;
  bool unflushed_ = false;  // written, not yet made durable
  bool failed_ = false;
  std::error_code failure_;
};

// The journal of a Move run: made at its first folder or move, so that a run that changes nothing
// leaves none, and the oldest journals beyond the last kJournalsKept go then (never this one).
class RunJournal {
 public:
  // open, where given, opens the journal's file instead (a test's, through its seam).
  RunJournal(const platform::StateFolder& folder, JournaledRun run, std::ostream& err,
             JournalWriter::Opener open = {});
  ~RunJournal();  // what was written, made durable, however the run ended
  RunJournal(const RunJournal&) = delete;
  RunJournal& operator=(const RunJournal&) = delete;

  void Folder(std::string_view path);
  void Move(MoveTicket ticket, std::string_view name, std::string_view source,
            std::string_view destination, const FileStamp& sourceStamp);
  void Done(MoveTicket ticket);
  void Copied(MoveTicket ticket, const FileStamp& destinationStamp);
  void Failed(MoveTicket ticket);
  std::error_code Write() { return WriteOut(false); }
  std::error_code Commit() { return WriteOut(true); }
  bool Failed() const { return writer_.Failed(); }
  const std::string& Name() const { return run_.name; }

 private:
  std::unique_ptr<platform::AppendFile> Create(std::error_code& failure);
  std::string* Records();
  std::error_code WriteOut(bool durable);

  const platform::StateFolder& folder_;
  JournaledRun run_;
  JournalWriter writer_;
  bool started_ = false;
  std::uint64_t moves_ = 0;         // move records so far
  std::uint64_t durableMoves_ = 0;  // of them, made durable
};

// What an undo puts back, added to the journal of the run it undoes.
class UndoJournal final : public RunObserver {
 public:
  UndoJournal(const platform::StateFolder& folder, const std::string& run, std::ostream& err);
  void FolderRemoved(std::string_view folder) override;
  void Moved(MoveTicket ticket, std::string_view name, std::string_view source,
             std::string_view destination) override;
  // The undo ended, having put back everything or not.
  void Finish(std::int64_t at, bool everythingBack);
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
// A name for a run started at that time (milliseconds since 1970), in UTC: "20261208-143012.345".
std::string RunNameFor(std::int64_t startedAtMilliseconds);

}  // namespace pellorin::journal
