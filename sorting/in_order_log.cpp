#include "in_order_log.h"

namespace pellorin {

std::string MovedEntry(std::string_view name) { return "File " + Quoted(name) + " moved."; }
std::string MoveFailedEntry(std::string_view name) { return "Error moving File " + Quoted(name); }

void InOrderLog::Add(std::string entry, bool isError) {
  Entry added;
  added.text = std::move(entry);
  added.isError = isError;
  Add(std::move(added));
}

void InOrderLog::AddMove(MoveTicket ticket, std::string_view name,
                         const std::optional<std::error_code>& outcome) {
  Entry move;
  move.isMove = true;
  if (outcome) {
    move.isError = static_cast<bool>(*outcome);
    move.text = move.isError ? MoveFailedEntry(name) : MovedEntry(name);
  } else {
    move.name = std::string(name);
    move.pending = ticket;
  }
  Add(std::move(move));
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
    entry.pending.reset();
    entry.isError = static_cast<bool>(move.error);
    entry.text = entry.isError ? MoveFailedEntry(entry.name) : MovedEntry(entry.name);
    break;
  }
  RetireReady();
}

void InOrderLog::RetireReady() {
  while (!waiting_.empty() && !waiting_.front().pending) {
    Retire(waiting_.front());
    waiting_.pop_front();
  }
}

void InOrderLog::Retire(const Entry& entry) {
  AppendResult(box_, entry.text);
  if (entry.isError) ++errorEntries_;
  if (entry.isMove && !entry.isError) ++filesMoved_;
}

}  // namespace pellorin
