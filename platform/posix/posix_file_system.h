#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "file_copy.h"
#include "platform/own_file_names.h"
#include "sorting/file_system.h"
#include "system_calls.h"

namespace pellorin::posix {

// How many moves across devices are made durable together, and for how long a group gathers.
struct GroupLimits {
  std::size_t songs = 1024;  // each keeps its source open until the group closes; at most half
                             // of the descriptors the process may open
  std::chrono::milliseconds work{250};
};

// The file system of Linux and other POSIX systems. A move never replaces an existing file,
// whatever the file system underneath supports:
// - renameat2 with RENAME_NOREPLACE where the file system has it;
// - else link then unlink (NTFS and many FUSE file systems), or a look and a rename where there
//   are no links either (FAT, exFAT);
// - across devices, a group of songs at a time: each copied into an exclusive temporary in its
//   artist folder; the group flushed; each published without replacing; the names flushed; and
//   only then each source removed, provided that nobody has written to it, replaced it or removed
//   it meanwhile and nobody holds it open for writing.
// A kill or a power cut at any moment thus leaves each song whole under its real name, at worst
// twice, plus hidden files of our own that the next move across devices from or into their folder
// tidies away.
// One object serves one run.
class PosixFileSystem final : public FileSystemObject {
 public:
  explicit PosixFileSystem(SystemCalls& calls = SystemCalls::Real(), GroupLimits limits = {});
  ~PosixFileSystem() override;
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;

  std::string GetParentFolderName(std::string_view path) const override;
  bool FolderExists(std::string_view path) const override;
  bool PathExists(std::string_view path) const override;
  std::string BuildPath(std::string_view path, std::string_view name) const override;
  std::error_code CreateFolder(std::string_view path) override;
  void PrepareRun(std::string_view sourceFolder, std::string_view root) override;
  std::error_code MoveFile(std::string_view source, std::string_view destination) override;
  std::optional<std::error_code> StartMove(std::string_view source, std::string_view destination,
                                           MoveTicket ticket) override;
  void FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) override;
  bool IsFolderName(std::string_view name) const override;
  std::error_code RemoveFolder(std::string_view path) override;
  std::optional<std::vector<std::string>> FolderContents(std::string_view path) const override;
  std::optional<FileStamp> Stamp(std::string_view path) const override;
  std::error_code RemoveDuplicate(std::string_view path, std::string_view original) override;
  bool MovesCopy(std::string_view sourceFolder, std::string_view root) const override;

 private:
  // A song copied into its temporary, waiting for its group to be made durable.
  struct PendingMove {
    MoveTicket ticket = 0;
    std::string source, destination, temporary;
    int sourceFd = -1;  // held, with its lease, until the source is removed or kept
    struct stat copied {};
    bool leased = false;
    dev_t device = 0;  // of the copy
  };

  std::error_code RenameWithoutReplacing(const std::string& from, const std::string& to);
  std::error_code LinkOrLookAndRename(const std::string& from, const std::string& to);
  std::optional<std::error_code> StartCopy(MoveTicket ticket, const std::string& source,
                                           const std::string& destination);
  std::error_code CopyIntoTemporary(PendingMove& move);
  void CloseGroup();
  std::error_code FlushCopies(const std::vector<PendingMove>& moves);
  std::error_code FlushNames(const std::vector<PendingMove>& published);
  std::error_code SyncFileSystemOf(const std::string& folder);
  void Finish(PendingMove& move, std::error_code failure);
  void RemoveSources(std::vector<PendingMove>& published);
  std::error_code TakeReadLease(int fd, bool& leased);
  std::error_code RemoveCopiedSource(const PendingMove& move, bool& sourceInPlace);
  enum class Times { ChangeToo, ModificationOnly };
  std::error_code ChangedSince(const std::string& path, const PendingMove& move, Times times);
  int CreateTemporary(const std::string& folder, std::string& temporary);
  std::error_code SetAside(const std::string& source, std::string& aside);
  std::error_code SetAsideInFolder(const std::string& source, std::string& aside);
  std::string OwnName(const std::string& folder, platform::OwnFileKind kind,
                      std::string_view original = {}) const;
  std::error_code FlushFolder(const std::string& folder);
  void TidyOnce(const std::string& folder);
  void TidyAfterDeadRuns(const std::string& folder);
  void PutBack(const std::string& folder, const std::string& aside, const std::string& original);
  bool IsGone(std::uint64_t process);
  std::error_code SameBytes(const std::string& path, const std::string& original);
  std::optional<std::size_t> ReadFully(int fd, std::vector<char>& buffer);
  bool GroupIsDue() const;

  SystemCalls& calls_;
  GroupLimits limits_;
  FileCopy copy_;
  std::string host_;                             // this machine, as our own names carry it
  std::string createdFolder_;                    // the last folder this run made
  std::unordered_set<std::string> tidyFolders_;  // looked at for what dead runs left
  std::unordered_set<std::string> madeIn_;       // folders that got a folder since the last flush

  std::vector<PendingMove> group_;  // copied, not yet durable, in the order they came
  std::chrono::steady_clock::time_point groupStarted_;
  dev_t groupDevice_ = 0;
  bool flushBySyncfs_ = false;          // for the group being closed
  std::vector<FinishedMove> finished_;  // not yet handed to the run
};

}  // namespace pellorin::posix
