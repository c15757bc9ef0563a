#pragma once

// The run's entries in the run's order, though some moves finish later than the entries after
// them are known: moves across drives are made durable a group at a time. Like a processor's
// reorder buffer, an entry waits while a move before it is pending, and entries retire into the
// results box strictly in order as the moves before them finish.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "file_system.h"
#include "results_log.h"

namespace pellorin {

class InOrderLog {
 public:
  explicit InOrderLog(ResultsBox& box) : box_(box) {}

  // An entry whose text is known now.
  void Add(std::string entry, bool isError);
  // The entry of a move: "moved" or "Error moving" once it has finished. A move that has not
  // finished yet (no outcome) holds back every entry after it.
  void AddMove(MoveTicket ticket, std::string_view name,
               const std::optional<std::error_code>& outcome);
  // Settles the entry of a pending move and retires every entry that no longer waits.
  void Finished(const FinishedMove& move);

  bool Waiting() const { return !waiting_.empty(); }
  std::int64_t FilesMoved() const { return filesMoved_; }
  std::int64_t ErrorEntries() const { return errorEntries_; }

 private:
  struct Entry {
    std::string text;
    std::string name;  // a move's file name, until its outcome is known
    std::optional<MoveTicket> pending;
    bool isError = false;
    bool isMove = false;
  };
  void Add(Entry entry);
  void RetireReady();
  void Retire(const Entry& entry);

  ResultsBox& box_;
  std::deque<Entry> waiting_;  // the oldest first; the front is a pending move
  std::int64_t filesMoved_ = 0;
  std::int64_t errorEntries_ = 0;
};

// The two entries a move can end in.
std::string MovedEntry(std::string_view name);
std::string MoveFailedEntry(std::string_view name);

}  // namespace pellorin
