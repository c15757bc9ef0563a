#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "sorting/file_system.h"

namespace pellorin::win32 {

// The Windows file system through the wide-character API, with paths in the extended form so
// that none is too long. A move never replaces a file. On one volume it is one rename; across
// volumes the song is copied into a hidden temporary of our own beside its destination, flushed,
// published under its name, and only then is the source removed, if it is still the file that was
// copied. However the run ends, a song is then whole in one place or both, never partly anywhere.
class Win32FileSystem final : public FileSystemObject {
 public:
  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  bool IsFolderName(std::string_view name) const override;
  std::string FolderNameAsKept(std::string_view name) const override;

  // Called after each piece of a copy across volumes, so that a test can play another program
  // that touches the source meanwhile.
  void SetCopyObserver(std::function<void()> observer) { copyObserver_ = std::move(observer); }

 private:
  std::error_code MoveAcrossVolumes(const std::wstring& from, const std::wstring& to);
  void TidyOnce(const std::wstring& folder);

  std::function<void()> copyObserver_;
  std::vector<char> copyBuffer_;          // one for the whole run, not one per file
  std::set<std::wstring> tidiedFolders_;  // where this run has looked for dead runs' leftovers
};

}  // namespace pellorin::win32
