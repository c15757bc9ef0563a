#pragma once

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
class PosixFileSystem final : public FileSystemObject {
 public:
  explicit PosixFileSystem(SystemCalls& calls = SystemCalls::Real()) : calls_(calls) {}

  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
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
                                     bool leased);
  enum class Times { ChangeToo, ModificationOnly };
  std::error_code ChangedSince(const std::string& path, int fd, const struct stat& copied,
                               bool leased, Times times);
  std::error_code CopyIntoTemporary(int sourceFd, const struct stat& sourceInfo,
                                    const std::string& temporary, int temporaryFd);
  std::error_code CopyBytes(int fromFd, int toFd);
  int CreateTemporary(const std::string& folder, std::string& temporary);
  void FlushFolder(const std::string& folder);

  SystemCalls& calls_;
};

}  // namespace pellorin::posix
