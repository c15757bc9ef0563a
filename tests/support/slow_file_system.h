#pragma once

// The platform's own file system, taking its time over every move as a large file going to
// another drive would: a run over a dozen small files lasts long enough to be watched,
// clicked at and closed while it goes on.

#include <chrono>
#include <memory>
#include <thread>

#include "platform/platform.h"
#include "sorting/threaded_run.h"

namespace pellorin::testing {

class SlowFileSystem final : public FileSystemObject {
 public:
  SlowFileSystem(std::unique_ptr<FileSystemObject> disk, std::chrono::milliseconds perMove)
      : disk_(std::move(disk)), perMove_(perMove) {}

  std::string GetParentFolderName(std::string_view path) const override {
    return disk_->GetParentFolderName(path);
  }
  bool FolderExists(std::string_view path) const override { return disk_->FolderExists(path); }
  bool PathExists(std::string_view path) const override { return disk_->PathExists(path); }
  std::string BuildPath(std::string_view path, std::string_view name) const override {
    return disk_->BuildPath(path, name);
  }
  std::error_code CreateFolder(std::string_view path) override { return disk_->CreateFolder(path); }
  std::error_code MoveFile(std::string_view source, std::string_view destination) override {
    std::this_thread::sleep_for(perMove_);
    return disk_->MoveFile(source, destination);
  }
  bool IsFolderName(std::string_view name) const override { return disk_->IsFolderName(name); }
  std::string FolderNameAsKept(std::string_view name) const override {
    return disk_->FolderNameAsKept(name);
  }
  std::string FolderNameFor(std::string_view root, std::string_view name) const override {
    return disk_->FolderNameFor(root, name);
  }
  void PrepareRun(std::string_view sourceFolder, std::string_view root) override {
    disk_->PrepareRun(sourceFolder, root);
  }

 private:
  std::unique_ptr<FileSystemObject> disk_;
  std::chrono::milliseconds perMove_;
};

// What a window's runs work on: the platform's files, each move slowed down.
inline RunFiles SlowPlatformFiles(std::chrono::milliseconds perMove) {
  return {std::make_unique<SlowFileSystem>(platform::MakeFileSystem(), perMove),
          platform::MakeFileEnumeration()};
}

}  // namespace pellorin::testing
