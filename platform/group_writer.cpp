#include "group_writer.h"

#include <system_error>
#include <utility>

namespace pellorin::platform {

void GroupWriter::Hand(Job job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  busy_ = true;
  if (!thread_.joinable() && !stopping_) {
    try {
      thread_ = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
    }
  }
  if (!thread_.joinable()) {
    lock.unlock();
    Run(std::move(job));
    return;
  }
  job_ = std::move(job);
  changed_.notify_all();
}

void GroupWriter::MakeDurableHere(Job job) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    busy_ = true;
  }
  Run(std::move(job));
}

bool GroupWriter::Busy() const {
  const std::lock_guard lock(mutex_);
  return busy_;
}

std::chrono::steady_clock::duration GroupWriter::LastTook() const {
  const std::lock_guard lock(mutex_);
  return lastTook_;
}

void GroupWriter::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
}

void GroupWriter::TakeFinished(std::vector<FinishedMove>& finished) {
  const std::lock_guard lock(mutex_);
  finished.insert(finished.end(), finished_.begin(), finished_.end());
  finished_.clear();
  if (thrown_) std::rethrow_exception(std::exchange(thrown_, nullptr));
}

void GroupWriter::Stop() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void GroupWriter::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || job_ != nullptr; });
    if (job_ == nullptr) return;
    Job job = std::exchange(job_, nullptr);
    lock.unlock();
    Run(std::move(job));
    lock.lock();
  }
}

// The job goes before the group counts as durable: whatever it holds (descriptors, handles that
// remove sources as they close) is let go first. A job that throws leaves the writer idle, and what
// it threw for the run's thread, rather than ending the program on the writer's or leaving every
// wait for it waiting for ever.
void GroupWriter::Run(Job job) {
  std::vector<FinishedMove> outcomes;
  std::exception_ptr thrown;
  const auto started = std::chrono::steady_clock::now();
  try {
    outcomes = job();
  } catch (...) {
    thrown = std::current_exception();
  }
  job = nullptr;
  const auto took = std::chrono::steady_clock::now() - started;
  const std::lock_guard lock(mutex_);
  lastTook_ = took;
  if (thrown && !thrown_) thrown_ = thrown;
  finished_.insert(finished_.end(), outcomes.begin(), outcomes.end());
  busy_ = false;
  changed_.notify_all();
}

}  // namespace pellorin::platform
