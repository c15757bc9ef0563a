#include "in_order_log.h"

#include <stdexcept>

namespace pellorin {

std::string MovedEntry(std::string_view name) { return "File " + Quoted(name) + " moved."; }
std::string MoveFailedEntry(std::string_view name) { return "Error moving File " + Quoted(name); }

MoveWording ForwardWording() {
  return {MovedEntry,
          [](std::string_view name, std::string_view) { return MoveFailedEntry(name); }};
}

void InOrderLog::Add(std::string entry, bool isError, bool endsFile) {
  Entry added;
  added.text = std::move(entry);
  added.isError = isError;
  added.endsFile = endsFile;
  Add(std::move(added));
}

// The observer hears of a folder made at once, of one removed as its entry retires.
void InOrderLog::AddFolder(std::string entry, std::string_view folder, bool created) {
  if (created) {
    if (observer_ != nullptr) observer_->FolderCreated(folder);
    Add(std::move(entry), false);
    return;
  }
  Entry added;
  added.kind = Kind::FolderRemoved;
  added.text = std::move(entry);
  added.destination = folder;
  Add(std::move(added));
}

void InOrderLog::AddMove(MoveTicket ticket, std::string_view name, std::string_view source,
                         std::string_view destination,
                         const std::optional<std::error_code>& outcome) {
  if (outcome && waiting_.empty()) {  // as every move on one device: straight through
    const bool failed = static_cast<bool>(*outcome);
    Retire(failed ? wording_.failed(name, source) : wording_.moved(name),
           {Kind::Move, failed, true, ticket, name, source, destination, 0});
    return;
  }
  Entry move;
  move.kind = Kind::Move;
  move.endsFile = true;
  move.ticket = ticket;
  move.name = name;
  move.source = source;
  move.destination = destination;
  if (outcome) {
    Settle(move, *outcome);
  } else {
    move.pending = ticket;
  }
  Add(std::move(move));
}

void InOrderLog::Settle(Entry& move, std::error_code outcome) {
  move.pending.reset();
  move.isError = static_cast<bool>(outcome);
  move.text = move.isError ? wording_.failed(move.name, move.source) : wording_.moved(move.name);
}

void InOrderLog::Add(Entry entry) {
  if (waiting_.empty() && !entry.pending) {
    Retire(entry);
  } else {
    waiting_.push_back(std::move(entry));
  }
}

void InOrderLog::Finished(const FinishedMove& move) {
  for (auto& entry : waiting_) {
    if (entry.pending != move.ticket) continue;
    Settle(entry, move.error);
    entry.bytes = move.bytes;
    break;
  }
  RetireReady();
}

void InOrderLog::FinishMoves(FileSystemObject& fileSystem, PendingMoves which) {
  if (!Waiting()) return;
  finished_.clear();
  fileSystem.FinishMoves(which, finished_);
  for (const auto& move : finished_) Finished(move);
  if (!finished_.empty() && observer_ != nullptr) observer_->GroupRetired();
  if (which == PendingMoves::All && Waiting()) {
    throw std::logic_error("the file system left a move unfinished");
  }
}

void InOrderLog::RetireReady() {
  while (!waiting_.empty() && !waiting_.front().pending) {
    Retire(waiting_.front());
    waiting_.pop_front();
  }
}

void InOrderLog::Retire(const Entry& entry) {
  Retire(entry.text, {entry.kind, entry.isError, entry.endsFile, entry.ticket, entry.name,
                      entry.source, entry.destination, entry.bytes});
}

void InOrderLog::Retire(std::string_view text, const Retiring& entry) {
  AppendResult(box_, text);
  if (entry.isError) ++errorEntries_;
  const bool moved = entry.kind == Kind::Move && !entry.isError;
  if (moved) ++filesMoved_;
  if (observer_ == nullptr) return;
  if (entry.kind == Kind::FolderRemoved) observer_->FolderRemoved(entry.destination);
  if (moved) observer_->Moved(entry.ticket, entry.name, entry.source, entry.destination);
  if (entry.endsFile) observer_->FileDone(entry.bytes);
}

}  // namespace pellorin
