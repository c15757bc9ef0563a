#pragma once

#include <map>
#include <set>
#include <string>

#include "file_system.h"

namespace pellorin {

// Answers as the disk would after the folders, moves and removals asked of it, without changing
// anything: reads go to the disk, writes are kept in memory. A second file of the same artist thus
// finds the folder that the first one "created".
class DryRunFileSystem final : public FileSystemObject {
 public:
  explicit DryRunFileSystem(const FileSystemObject& disk) : disk_(disk) {}

  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  bool IsFolderName(std::string_view name) const override;
  std::string FolderNameAsKept(std::string_view name) const override;
  std::string FolderNameFor(std::string_view root, std::string_view name) const override {
    return disk_.FolderNameFor(root, name);
  }
  std::error_code RemoveFolder(std::string_view path) override;
  std::optional<FileStamp> Stamp(std::string_view path) const override;
  bool MovesCopy(std::string_view sourceFolder, std::string_view root) const override;

 private:
  bool HoldsAnything(std::string_view folder) const;

  const FileSystemObject& disk_;
  std::set<std::string, std::less<>> createdFolders_;
  std::set<std::string, std::less<>> removedFolders_;
  std::map<std::string, std::string, std::less<>> movedIn_;  // where each came from on the disk
  std::set<std::string, std::less<>> movedAway_;
};

}  // namespace pellorin
