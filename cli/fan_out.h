#pragma once

#include <vector>

#include "sorting/run_observer.h"

namespace pellorin::cli {

// One observer that tells what it hears to several.
class FanOut final : public RunObserver {
 public:
  void Add(RunObserver& observer) { observers_.push_back(&observer); }

  bool WantsBytes() const override {
    for (const auto* observer : observers_) {
      if (observer->WantsBytes()) return true;
    }
    return false;
  }
  void Listed(std::size_t files, std::uint64_t bytes) override {
    for (auto* observer : observers_) observer->Listed(files, bytes);
  }
  void FolderCreated(std::string_view folder) override {
    for (auto* observer : observers_) observer->FolderCreated(folder);
  }
  void FolderRemoved(std::string_view folder) override {
    for (auto* observer : observers_) observer->FolderRemoved(folder);
  }
  void Moved(MoveTicket ticket, std::string_view name, std::string_view source,
             std::string_view destination) override {
    for (auto* observer : observers_) observer->Moved(ticket, name, source, destination);
  }
  void FileDone(std::uint64_t bytes) override {
    for (auto* observer : observers_) observer->FileDone(bytes);
  }
  void GroupRetired() override {
    for (auto* observer : observers_) observer->GroupRetired();
  }

 private:
  std::vector<RunObserver*> observers_;
};

}  // namespace pellorin::cli
