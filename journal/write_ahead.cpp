#include "write_ahead.h"

#include <algorithm>
#include <utility>

namespace pellorin::journal {

std::error_code WriteAheadFileSystem::CreateFolder(std::string_view path) {
  {
    const std::lock_guard lock(journalMutex_);
    journal_.Folder(path);
    if (const auto failure = journal_.Commit()) return failure;
  }
  return disk_.CreateFolder(path);
}

void WriteAheadFileSystem::WriteJournal() {
  const std::lock_guard lock(journalMutex_);
  journal_.Write();
}

bool WriteAheadFileSystem::JournalFailed() {
  const std::lock_guard lock(journalMutex_);
  return journal_.Failed();
}

std::error_code WriteAheadFileSystem::MoveFile(std::string_view source,
                                               std::string_view destination) {
  const MoveTicket ticket = ownTickets_++;
  auto started = StartMove(source, destination, ticket);
  std::vector<FinishedMove> finished;
  FinishMoves(PendingMoves::All, finished);
  for (const auto& move : finished) {
    if (move.ticket == ticket) started = move.error;
  }
  return started.value_or(std::make_error_code(std::errc::io_error));
}

std::optional<std::error_code> WriteAheadFileSystem::StartMove(std::string_view source,
                                                               std::string_view destination,
                                                               MoveTicket ticket) {
  if (!copying_) {
    copying_ =
        disk_.MovesCopy(disk_.GetParentFolderName(source), disk_.GetParentFolderName(destination));
  }
  if (batch_.empty()) batchSince_ = std::chrono::steady_clock::now();
  batch_.push_back({ticket, std::string(source), std::string(destination)});
  if (*copying_) batchBytes_ += Record({batch_.back()});
  if (batch_.size() >= kBatchMoves || batchBytes_ >= kBatchBytes) CloseBatch();
  return std::nullopt;
}

// Each move's record, with its source as it is now; the sources' bytes.
std::uint64_t WriteAheadFileSystem::Record(const std::vector<Waiting>& moves) {
  std::vector<FileStamp> stamps;
  std::uint64_t bytes = 0;
  for (const auto& move : moves) {
    stamps.push_back(disk_.Stamp(move.source).value_or(FileStamp{}));
    bytes += stamps.back().size;
  }
  const std::lock_guard lock(journalMutex_);
  for (std::size_t at = 0; at < moves.size(); ++at) {
    const auto& move = moves[at];
    const auto folder = disk_.GetParentFolderName(move.destination);
    const auto name = std::string_view(move.destination)
                          .substr(std::min(move.destination.size(), folder.size() + 1));
    journal_.Move(move.ticket, name, move.source, move.destination, stamps[at]);
  }
  return bytes;
}

// The batch before goes to the disk once its records are durable; this one goes to be recorded.
// Across devices its records are written already, and it is made at once.
void WriteAheadFileSystem::CloseBatch() {
  recorder_.WaitUntilIdle();
  MakeRecorded();
  if (batch_.empty()) return;
  recorded_ = std::exchange(batch_, {});
  batchBytes_ = 0;
  if (*copying_) {
    {
      const std::lock_guard lock(journalMutex_);
      recordFailure_ = journal_.Commit();
    }
    MakeRecorded();
    return;
  }
  recorder_.Hand([this] {
    Record(recorded_);
    const std::lock_guard lock(journalMutex_);
    recordFailure_ = journal_.Commit();
    return std::vector<FinishedMove>{};
  });
}

// A batch whose records may not have reached the disk is not made at all, and the run stops on
// the journal's failure.
void WriteAheadFileSystem::MakeRecorded() {
  std::vector<FinishedMove> none;
  recorder_.TakeFinished(none);  // what the recorder threw, if anything
  for (const auto& move : recorded_) {
    const auto started = recordFailure_
                             ? std::optional(recordFailure_)
                             : disk_.StartMove(move.source, move.destination, move.ticket);
    if (started) {
      finished_.push_back({.ticket = move.ticket, .error = *started});
      Journal(finished_.back(), false);
    } else {
      beingCopied_.emplace(move.ticket, move.destination);
    }
  }
  recorded_.clear();
}

void WriteAheadFileSystem::FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) {
  if (which == PendingMoves::All) {
    CloseBatch();
    recorder_.WaitUntilIdle();
    MakeRecorded();
  } else if (!batch_.empty() && std::chrono::steady_clock::now() - batchSince_ >= kBatchAge) {
    CloseBatch();
  }
  finished.insert(finished.end(), finished_.begin(), finished_.end());
  finished_.clear();
  const auto from = finished.size();
  disk_.FinishMoves(which, finished);
  for (auto at = from; at < finished.size(); ++at) Journal(finished[at], true);
}

void WriteAheadFileSystem::Journal(const FinishedMove& move, bool copied) {
  const std::lock_guard lock(journalMutex_);
  if (move.error) {
    journal_.Failed(move.ticket);
  } else if (!copied) {
    journal_.Done(move.ticket);
  } else if (const auto found = beingCopied_.find(move.ticket); found != beingCopied_.end()) {
    journal_.Copied(move.ticket,
                    move.copy ? *move.copy : disk_.Stamp(found->second).value_or(FileStamp{}));
  }
  if (copied) beingCopied_.erase(move.ticket);
}

}  // namespace pellorin::journal
