#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "file_copy.h"
#include "platform/own_file_names.h"
#include "sorting/file_system.h"
#include "system_calls.h"

namespace pellorin::posix {

// The file system of Linux and other POSIX systems. A move never replaces an existing file,
// whatever the file system underneath supports:
// - renameat2 with RENAME_NOREPLACE where the file system has it;
// - else link then unlink, or an exclusive placeholder renamed over, for FAT, NFS and FUSE;
// - across devices, a copy into an exclusive temporary in the destination folder, flushed and
//   published without replacing, and only then the source removed, provided that nobody has
//   written to it, replaced it or removed it meanwhile and nobody holds it open for writing.
// A kill at any moment thus leaves each file whole under its real name, at worst twice, plus a
// hidden file of our own that the next move across devices from or into its folder tidies away.
// One object serves one run.
class PosixFileSystem final : public FileSystemObject {
 public:
  explicit PosixFileSystem(SystemCalls& calls = SystemCalls::Real());

  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
  void PrepareRun(std::string_view sourceFolder, std::string_view root) override;
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  bool IsFolderName(std::string_view name) const override;

 private:
  std::error_code RenameWithoutReplacing(const std::string& from, const std::string& to);
  std::error_code LinkOrPlaceholderRename(const std::string& from, const std::string& to);
  std::error_code CopyAcrossDevices(const std::string& source, const std::string& destination);
  std::error_code CopyThenRemoveSource(const std::string& source, int sourceFd,
                                       const std::string& destination);
  std::error_code TakeReadLease(int fd, bool& leased);
  std::error_code RemoveCopiedSource(const std::string& source, int fd, const struct stat& copied,
                                     bool leased, bool& sourceInPlace);
  enum class Times { ChangeToo, ModificationOnly };
  std::error_code ChangedSince(const std::string& path, int fd, const struct stat& copied,
                               bool leased, Times times);
  std::error_code CopyIntoTemporary(int sourceFd, const struct stat& sourceInfo,
                                    const std::string& temporary, int temporaryFd);
  int CreateTemporary(const std::string& folder, std::string& temporary);
  std::error_code SetAside(const std::string& source, std::string& aside);
  std::string OwnName(const std::string& folder, platform::OwnFileKind kind,
                      std::string_view original = {}) const;
  void FlushFolder(const std::string& folder);
  void TidyOnce(const std::string& folder);
  void TidyAfterDeadRuns(const std::string& folder);
  bool IsGone(std::uint64_t process);

  SystemCalls& calls_;
  FileCopy copy_;
  std::string host_;                             // this machine, as our own names carry it
  std::string createdFolder_;                    // the last folder this run made
  std::unordered_set<std::string> tidyFolders_;  // looked at for what dead runs left
};

}  // namespace pellorin::posix
