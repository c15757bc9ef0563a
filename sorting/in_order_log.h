#pragma once

// The run's entries in the run's order, though some moves finish later than the entries after
// them are known: moves across drives are made durable a group at a time. Like a processor's
// reorder buffer, an entry waits while a move before it is pending, and entries retire into the
// results box strictly in order as the moves before them finish. An observer hears of each
// retired entry's move or removed folder then, in the same order, and of a folder made at once.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"
#include "results_log.h"
#include "run_observer.h"

namespace pellorin {

// The two entries a move can end in, from the file's name and where it is left on failure.
struct MoveWording {
  std::string (*moved)(std::string_view name);
  std::string (*failed)(std::string_view name, std::string_view leftAt);
};

class InOrderLog {
 public:
  InOrderLog(ResultsBox& box, RunObserver* observer, MoveWording wording)
      : box_(box), observer_(observer), wording_(wording) {}

  // An entry whose text is known now; endsFile when it is the last of its file's.
  void Add(std::string entry, bool isError, bool endsFile = false);
  // The entry of a folder made or removed.
  void AddFolder(std::string entry, std::string_view folder, bool created);
  // The entry of a move, once it has finished. A move that has not finished yet (no outcome)
  // holds back every entry after it.
  void AddMove(MoveTicket ticket, std::string_view name, std::string_view source,
               std::string_view destination, const std::optional<std::error_code>& outcome);
  // Settles the entry of a pending move and retires every entry that no longer waits.
  void Finished(const FinishedMove& move);
  // Retires the entries of the moves that the file system has finished; with PendingMoves::All,
  // of every move, or throws when one is left unfinished.
  void FinishMoves(FileSystemObject& fileSystem, PendingMoves which);

  bool Waiting() const { return !waiting_.empty(); }
  std::int64_t FilesMoved() const { return filesMoved_; }
  std::int64_t ErrorEntries() const { return errorEntries_; }

 private:
  enum class Kind { Plain, FolderRemoved, Move };
  struct Entry {
    Kind kind = Kind::Plain;
    std::string text;
    std::optional<MoveTicket> pending;
    bool isError = false;
    bool endsFile = false;
    MoveTicket ticket = 0;
    std::string name, source, destination;  // a move's, or the folder in destination
    std::uint64_t bytes = 0;
  };
  // What the box and the observer are told of an entry as it retires.
  struct Retiring {
    Kind kind = Kind::Plain;
    bool isError = false;
    bool endsFile = false;
    MoveTicket ticket = 0;
    std::string_view name, source, destination;
    std::uint64_t bytes = 0;
  };
  void Add(Entry entry);
  void Settle(Entry& move, std::error_code outcome);
  void RetireReady();
  void Retire(const Entry& entry);
  void Retire(std::string_view text, const Retiring& entry);

  ResultsBox& box_;
  RunObserver* observer_;
  MoveWording wording_;
  std::deque<Entry> waiting_;  // the oldest first; the front is a pending move
  std::vector<FinishedMove> finished_;
  std::int64_t filesMoved_ = 0;
  std::int64_t errorEntries_ = 0;
};

// A Move run's wording: "File "<name>" moved." and "Error moving File "<name>"".
MoveWording ForwardWording();
std::string MovedEntry(std::string_view name);
std::string MoveFailedEntry(std::string_view name);

}  // namespace pellorin
