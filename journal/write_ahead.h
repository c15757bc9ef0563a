#pragma once

// The file system a journaled run works on: the disk's own, with every folder and move journaled
// before it is made. A folder's record is made durable before the folder is made. Moves wait in a
// batch, their records written as they come: when the batch is full (or old, or the run must see
// every move finished), the journal is made durable once, and only then are the batch's moves
// handed to the disk. So a kill or a power cut can find a move made that its record lacks only if
// the journal said where it stops being complete, and the run stops then. Each outcome is
// journaled as the disk reports it: a rename leaves the file as its record describes it; a copy is
// stamped where it arrived, since it is another file, at the destination's time resolution.
//
//   StartMove -> batch full -> records (the sources' size, time, identity) -> one flush of the
//     journal -> the disk's StartMove for each -> outcomes journaled as they finish
//
// On one device a look at a source costs as much as its rename, so a batch's records are made on
// a thread of their own while the run gathers the next batch; the moves wait for their records as
// before. Across devices the copies take the time and a batch is recorded where it is gathered.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "journal.h"
#include "platform/group_writer.h"
#include "sorting/file_system.h"

namespace pellorin::journal {

class WriteAheadFileSystem final : public FileSystemObject {
 public:
  // A batch is bounded so that a stop waits little for it: a few hundred renames, or, across
  // devices, what copies in half a second.
  static constexpr std::size_t kBatchMoves = 256;
  static constexpr std::uint64_t kBatchBytes = std::uint64_t{64} << 20;
  static constexpr std::chrono::milliseconds kBatchAge{100};

  WriteAheadFileSystem(FileSystemObject& disk, RunJournal& journal)
      : disk_(disk), journal_(journal) {}
  ~WriteAheadFileSystem() override { recorder_.Stop(); }
  WriteAheadFileSystem(const WriteAheadFileSystem&) = delete;
  WriteAheadFileSystem& operator=(const WriteAheadFileSystem&) = delete;

  // The journal's records so far in its file, where a kill cannot take them.
  void WriteJournal();
  // The journal could not be written: the run is to stop.
  bool JournalFailed();

  std::string GetParentFolderName(std::string_view path) const override {
    return disk_.GetParentFolderName(path);
  }
  bool FolderExists(std::string_view path) const override { return disk_.FolderExists(path); }
  bool PathExists(std::string_view path) const override { return disk_.PathExists(path); }
  std::string BuildPath(std::string_view path, std::string_view name) const override {
    return disk_.BuildPath(path, name);
  }
  bool IsFolderName(std::string_view name) const override { return disk_.IsFolderName(name); }
  std::string FolderNameAsKept(std::string_view name) const override {
    return disk_.FolderNameAsKept(name);
  }
  std::string FolderNameFor(std::string_view root, std::string_view name) const override {
    return disk_.FolderNameFor(root, name);
  }
  std::optional<FileStamp> Stamp(std::string_view path) const override { return disk_.Stamp(path); }
  std::int64_t CoarsestTimeStep() const override { return disk_.CoarsestTimeStep(); }
  bool MovesCopy(std::string_view sourceFolder, std::string_view root) const override {
    return disk_.MovesCopy(sourceFolder, root);
  }
  void PrepareRun(std::string_view sourceFolder, std::string_view root) override {
    disk_.PrepareRun(sourceFolder, root);
  }

  std::error_code CreateFolder(std::string_view path) override;
  // A move of its own, outside the run's numbering, is journaled as a batch of one.
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  std::optional<std::error_code> StartMove(std::string_view source, std::string_view destination,
                                           MoveTicket ticket) override;
  void FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) override;

 private:
  struct Waiting {
    MoveTicket ticket;
    std::string source, destination;
  };
  std::uint64_t Record(const std::vector<Waiting>& moves);
  void CloseBatch();
  void MakeRecorded();
  void Journal(const FinishedMove& move, bool copied);

  FileSystemObject& disk_;
  RunJournal& journal_;
  std::mutex journalMutex_;       // the journal is written from the recorder's thread too
  std::optional<bool> copying_;   // whether this run's moves copy, seen at its first move
  std::vector<Waiting> batch_;    // gathered, not yet recorded
  std::uint64_t batchBytes_ = 0;  // across devices, where the batch is recorded as it gathers
  std::chrono::steady_clock::time_point batchSince_;
  std::vector<Waiting> recorded_;  // being recorded, or recorded and not yet handed to the disk
  std::error_code recordFailure_;  // of the journal's flush for recorded_
  std::vector<FinishedMove> finished_;                       // by the disk at once
  std::unordered_map<MoveTicket, std::string> beingCopied_;  // handed over, still pending
  MoveTicket ownTickets_ = std::uint64_t{1} << 62;
  platform::GroupWriter recorder_;  // last: stopped before anything it uses goes
};

}  // namespace pellorin::journal
