#pragma once

// A FileSystemObject and FileEnumeration that pass every call on to real ones, except the calls
// that a schedule picks: those fail with the schedule's error and do nothing. A query that fails
// answers "no", as the real layers do when they cannot tell.

#include <functional>
#include <string>
#include <system_error>

#include "sorting/file_system.h"

namespace pellorin::testing {

enum class FileCall { FolderExists, PathExists, CreateFolder, MoveFile, First, Next };

// Decides, call by call, whether the call fails and with what; an empty error lets it through.
using FaultSchedule = std::function<std::error_code(FileCall call, std::string_view path)>;

class FaultyFileSystem final : public FileSystemObject, public FileEnumeration {
 public:
  FaultyFileSystem(FileSystemObject& disk, FileEnumeration& files, FaultSchedule schedule)
      : disk_(disk), files_(files), schedule_(std::move(schedule)) {}

  // Runs before each move that the schedule lets through: a stand-in for another program that
  // touches the same files at that moment.
  std::function<void(std::string_view source, std::string_view destination)> beforeMove;

  std::string GetParentFolderName(std::string_view path) const override {
    return disk_.GetParentFolderName(path);
  }
  bool FolderExists(std::string_view path) const override {
    return !Fails(FileCall::FolderExists, path) && disk_.FolderExists(path);
  }
  bool PathExists(std::string_view path) const override {
    return !Fails(FileCall::PathExists, path) && disk_.PathExists(path);
  }
  std::string BuildPath(std::string_view path, std::string_view name) const override {
    return disk_.BuildPath(path, name);
  }
  std::error_code CreateFolder(std::string_view path) override {
    if (auto fault = Fault(FileCall::CreateFolder, path)) return fault;
    return disk_.CreateFolder(path);
  }
  std::error_code MoveFile(std::string_view source, std::string_view destination) override {
    if (auto fault = Fault(FileCall::MoveFile, source)) return fault;
    if (beforeMove) beforeMove(source, destination);
    return disk_.MoveFile(source, destination);
  }
  bool IsFolderName(std::string_view name) const override { return disk_.IsFolderName(name); }
  std::string FolderNameAsKept(std::string_view name) const override {
    return disk_.FolderNameAsKept(name);
  }
  std::string FolderNameFor(std::string_view root, std::string_view name) const override {
    return disk_.FolderNameFor(root, name);
  }
  void PrepareRun(std::string_view sourceFolder, std::string_view root) override {
    disk_.PrepareRun(sourceFolder, root);
  }

  int FaultsInjected() const { return faultsInjected_; }

  std::error_code First(std::string_view pattern, std::string& name) override {
    if (auto fault = Fault(FileCall::First, pattern)) {
      name.clear();
      return fault;
    }
    return files_.First(pattern, name);
  }
  std::error_code Next(std::string& name) override {
    if (auto fault = Fault(FileCall::Next, "")) {
      name.clear();
      return fault;
    }
    return files_.Next(name);
  }

 private:
  std::error_code Fault(FileCall call, std::string_view path) const {
    auto fault = schedule_(call, path);
    if (fault) ++faultsInjected_;
    return fault;
  }
  bool Fails(FileCall call, std::string_view path) const {
    return static_cast<bool>(Fault(call, path));
  }

  FileSystemObject& disk_;
  FileEnumeration& files_;
  FaultSchedule schedule_;
  mutable int faultsInjected_ = 0;
};

}  // namespace pellorin::testing
