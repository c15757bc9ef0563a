#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "file_copy.h"
#include "paths.h"
#include "platform/folder_spellings.h"
#include "platform/group_writer.h"
#include "platform/own_file_names.h"
#include "sorting/file_system.h"
#include "system_calls.h"

namespace pellorin::posix {

// How many moves across devices are made durable together, and for how long a group gathers. Each
// song keeps its source open until its group is durable, so a group holds at most half of the
// descriptors the process may open.
using GroupLimits = platform::GroupLimits;

// The file system of Linux and other POSIX systems. A move never replaces an existing file,
// whatever the file system underneath supports:
// - renameat2 with RENAME_NOREPLACE where the file system has it;
// - else link then unlink (NTFS and many FUSE file systems), or a look and a rename where there
//   are no links either (FAT, exFAT);
// - across devices, a group of songs at a time: each copied into an exclusive temporary in its
//   artist folder; the group flushed; each published without replacing; the names flushed; and
//   only then each source removed, provided that nobody has written to it, replaced it or removed
//   it meanwhile and nobody holds it open for writing. A group is made durable on a thread of its
//   own while the next one is copied (see GroupWriter).
// A kill or a power cut at any moment thus leaves each song whole under its real name, at worst
// twice (the songs of the group being made durable), plus hidden files of our own that the next
// move across devices from or into their folder tidies away. One object serves one run.
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
  std::string FolderNameFor(std::string_view root, std::string_view name) const override;
  std::error_code RemoveFolder(std::string_view path) override;
  std::optional<std::vector<std::string>> FolderContents(std::string_view path) const override;
  std::optional<FileStamp> Stamp(std::string_view path) const override;
  std::error_code RemoveDuplicate(std::string_view path, std::string_view original) override;
  bool MovesCopy(std::string_view sourceFolder, std::string_view root) const override;
  std::int64_t CoarsestTimeStep() const override { return 2'000'000'000; }  // FAT's 2 s

 private:
  // A song copied into its temporary, waiting for its group to be made durable.
  struct PendingMove {
    MoveTicket ticket = 0;
    std::string source, destination, temporary;
    int sourceFd = -1;  // held, with its lease, until the source is removed or kept
    struct stat copied {};
    bool leased = false;
    struct stat made {};  // the copy, with its mode and times
  };
  // What the writer makes durable at once.
  struct Group {
    std::vector<PendingMove> moves;   // in the order they came
    std::vector<std::string> madeIn;  // folders that got a folder while the group gathered
  };

  std::error_code RenameWithoutReplacing(const std::string& from, const std::string& to);
  std::error_code LinkOrLookAndRename(const std::string& from, const std::string& to);
  std::optional<std::error_code> StartCopy(MoveTicket ticket, const std::string& source,
                                           const std::string& destination);
  std::error_code CopyIntoTemporary(PendingMove& move);
  bool GroupIsDue() const;
  enum class Durable { Meanwhile, Now };
  void CloseGroup(Durable when = Durable::Meanwhile);
  void Abandon(std::vector<PendingMove>& moves);
  // These run on the writer's thread, one group at a time.
  struct GroupSteps;
  std::vector<FinishedMove> MakeDurable(Group& group);
  std::error_code FlushCopies(const std::vector<PendingMove*>& moves, bool& bySyncfs);
  std::error_code FlushNames(const std::vector<PendingMove*>& published, bool bySyncfs);
  std::error_code SyncFileSystemOf(const std::string& folder);
  std::error_code TakeReadLease(int fd, bool& leased);
  std::error_code RemoveCopiedSource(PendingMove& move, bool& sourceInPlace);
  enum class Times { ChangeToo, ModificationOnly };
  std::error_code ChangedSince(const std::string& path, const PendingMove& move, Times times);
  int CreateTemporary(const std::string& folder, std::string& temporary);
  std::error_code SetAside(const std::string& source, std::string& aside);
  std::error_code SetAsideInFolder(const std::string& source, std::string& aside);
  std::string OwnName(const std::string& folder, platform::OwnFileKind kind,
                      std::string_view original = {}) const;
  std::error_code FlushFolder(const std::string& folder);
  std::error_code RemoveEmptyFolder(const std::string& folder);
  void TidyOnce(const std::string& folder);
  void TidyAfterDeadRuns(const std::string& folder);
  void PutBack(const std::string& folder, const std::string& aside, const std::string& original);
  bool IsGone(std::uint64_t process);
  bool OtherLinkOfOneFile(const std::string& path, const std::string& original);
  std::error_code SameBytes(const std::string& path, const std::string& original);
  std::optional<std::size_t> ReadFully(int fd, std::vector<char>& buffer);

  bool KeepsInodes(dev_t device, const char* path) const;
  FileStamp StampOf(const struct stat& info, const char* path) const;

  SystemCalls& calls_;  // shared by the run's thread and the writer's
  GroupLimits limits_;

  // The run's thread only.
  FileCopy copy_;
  std::string host_;       // this machine, as our own names carry it
  std::uint64_t process_;  // as our own names carry it
  // Source folders and roots between which a rename was refused as crossing devices.
  std::set<std::pair<std::string, std::string>> crossings_;
  std::unordered_set<std::string> createdFolders_;  // made by this run: nothing of a dead run's
  std::unordered_set<std::string> tidyFolders_;     // looked at for what dead runs left
  std::vector<std::string> madeIn_;  // folders that got a folder since the last group
  std::vector<PendingMove> group_;   // copied, not yet handed to the writer
  std::uint64_t groupBytes_ = 0;
  std::chrono::steady_clock::time_point groupStarted_;
  dev_t groupDevice_ = 0;
  std::vector<FinishedMove> finished_;  // taken from the writer, not yet handed to the run

  // The writer's thread only.
  std::set<std::string> unflushed_;  // folders that got a folder whose name is not yet durable

  // Whether each file system seen keeps its inode numbers across mounts; asked by any thread.
  mutable platform::FolderSpellings spellings_{ComposedName};
  mutable std::mutex keepsInodesMutex_;
  mutable std::unordered_map<dev_t, bool> keepsInodes_;

  platform::GroupWriter writer_;  // last: stopped before anything it uses goes
};

}  // namespace pellorin::posix
