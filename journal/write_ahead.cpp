#include "write_ahead.h"

#include <algorithm>

namespace pellorin::journal {

std::error_code WriteAheadFileSystem::CreateFolder(std::string_view path) {
  journal_.Folder(path);
  if (const auto failure = journal_.Commit()) return failure;
  return disk_.CreateFolder(path);
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
  const auto stamp = disk_.Stamp(source).value_or(FileStamp{});
  const auto folder = disk_.GetParentFolderName(destination);
  const auto name = destination.substr(std::min(destination.size(), folder.size() + 1));
  journal_.Move(ticket, name, source, destination, stamp);
  if (batch_.empty()) batchSince_ = std::chrono::steady_clock::now();
  batch_.push_back({ticket, std::string(source), std::string(destination)});
  batchBytes_ += stamp.size;
  if (batch_.size() >= kBatchMoves || batchBytes_ >= kBatchBytes) MakeBatch();
  return std::nullopt;
}

// One flush of the journal for the whole batch; a batch whose records may not have reached the
// disk is not made at all, and the run stops on the journal's failure.
void WriteAheadFileSystem::MakeBatch() {
  if (batch_.empty()) return;
  const auto failure = journal_.Commit();
  for (const auto& move : batch_) {
    const auto started = failure ? std::optional(failure)
                                 : disk_.StartMove(move.source, move.destination, move.ticket);
    if (started) {
      finished_.push_back({.ticket = move.ticket, .error = *started});
      Journal(finished_.back(), false);
    } else {
      beingCopied_.emplace(move.ticket, move.destination);
    }
  }
  batch_.clear();
  batchBytes_ = 0;
}

void WriteAheadFileSystem::FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) {
  if (which == PendingMoves::All || std::chrono::steady_clock::now() - batchSince_ >= kBatchAge) {
    MakeBatch();
  }
  finished.insert(finished.end(), finished_.begin(), finished_.end());
  finished_.clear();
  const auto from = finished.size();
  disk_.FinishMoves(which, finished);
  for (auto at = from; at < finished.size(); ++at) Journal(finished[at], true);
}

void WriteAheadFileSystem::Journal(const FinishedMove& move, bool copied) {
  if (move.error) {
    journal_.Failed(move.ticket);
  } else if (!copied) {
    journal_.Done(move.ticket);
  } else if (const auto found = beingCopied_.find(move.ticket); found != beingCopied_.end()) {
    journal_.Copied(move.ticket, disk_.Stamp(found->second).value_or(FileStamp{}));
  }
  if (copied) beingCopied_.erase(move.ticket);
}

}  // namespace pellorin::journal
