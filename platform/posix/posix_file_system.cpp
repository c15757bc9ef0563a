#include "posix_file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>
#include <memory>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "paths.h"
#include "platform/group_steps.h"
#include "sorting/artist_rules.h"

namespace pellorin::posix {
namespace {

using platform::OwnFileKind;

std::string MachineTag(SystemCalls& calls) {
  char name[HOST_NAME_MAX + 1] = {};
  if (calls.Gethostname(name, sizeof name - 1) != 0) name[0] = '\0';
  return platform::HostTag(name);
}

std::error_code LastError() { return {errno, std::generic_category()}; }
std::error_code Error(int number) { return {number, std::generic_category()}; }

// Errors by which a file system says it cannot do what was asked at all, as opposed to "not now".
bool Unsupported(int number) {
  return number == EINVAL || number == ENOSYS || number == ENOTSUP || number == EOPNOTSUPP;
}
bool LinkUnsupported(int number) {
  return Unsupported(number) || number == EPERM || number == EMLINK;
}

// The ticket of a move that MoveFile makes on its own, outside any run's numbering.
constexpr MoveTicket kOwnTicket = std::numeric_limits<MoveTicket>::max();

// File systems that the kernel itself writes to the storage, where one syncfs makes everything
// written before it durable. On FUSE and network file systems it does not reach the storage (the
// daemon or the server holds the data); there only a flush of each file and folder does.
bool SyncfsReachesStorage(long type) {
  switch (static_cast<unsigned long>(type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0xF2F52010:  // F2FS
    case 0x01021994:  // tmpfs: memory only, nothing further to reach
      return true;
    default:
      return false;
  }
}

// File systems whose inode numbers are stored on the storage, and so are the same after the drive
// comes back. FAT and exFAT (through FUSE or the kernel) make them up at each mount; FUSE and
// network file systems are not known to keep them.
bool KeepsInodesAcrossMounts(long type) {
  switch (static_cast<unsigned long>(type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0x01021994:  // tmpfs: gone with its mount, but the same while it lasts
      return true;
    default:
      return false;
  }
}

}  // namespace

PosixFileSystem::PosixFileSystem(SystemCalls& calls, GroupLimits limits)
    : calls_(calls),
      limits_(limits),
      copy_(calls),
      host_(MachineTag(calls)),
      process_(static_cast<std::uint64_t>(::getpid())) {
  // Two groups in flight hold their sources open: together at most half the descriptors.
  const long openMax = ::sysconf(_SC_OPEN_MAX);
  if (openMax > 0) limits_.songs = std::min(limits_.songs, static_cast<std::size_t>(openMax) / 4);
  limits_.songs = std::max<std::size_t>(limits_.songs, 1);
}

// A run that did not finish: the group being made durable is finished, as its sources go only once
// it is; the songs still gathering stay where they were.
PosixFileSystem::~PosixFileSystem() {
  writer_.Stop();
  Abandon(group_);
}

void PosixFileSystem::Abandon(std::vector<PendingMove>& moves) {
  for (const auto& move : moves) {
    calls_.Unlink(move.temporary.c_str());
    calls_.Close(move.sourceFd);
  }
  moves.clear();
}

std::string PosixFileSystem::GetParentFolderName(std::string_view path) const {
  return ParentFolder(path);
}

bool PosixFileSystem::FolderExists(std::string_view path) const {
  const auto kernelPath = KernelPath(path);
  struct stat info {};
  return kernelPath && !path.empty() && calls_.Stat(kernelPath->c_str(), &info) == 0 &&
         S_ISDIR(info.st_mode);
}

bool PosixFileSystem::PathExists(std::string_view path) const {
  const auto kernelPath = KernelPath(path);
  struct stat info {};
  return kernelPath && !path.empty() && calls_.Lstat(kernelPath->c_str(), &info) == 0;
}

std::string PosixFileSystem::BuildPath(std::string_view path, std::string_view name) const {
  return JoinPath(path, name);
}

bool PosixFileSystem::IsFolderName(std::string_view name) const {
  return IsPlainFolderName(name, "/");
}

std::string PosixFileSystem::FolderNameFor(std::string_view root, std::string_view name) const {
  const auto composed = ComposedName(name);
  const auto found = spellings_.Find(*this, root, composed);
  return found.empty() ? composed : found;
}

std::error_code PosixFileSystem::CreateFolder(std::string_view path) {
  const auto kernelPath = KernelPath(path);
  if (!kernelPath || path.empty()) return Error(EINVAL);
  if (calls_.Mkdir(kernelPath->c_str(), 0777) != 0) return LastError();
  createdFolders_.insert(*kernelPath);
  auto parent = ParentFolder(*kernelPath);
  if (madeIn_.empty() || madeIn_.back() != parent) madeIn_.push_back(std::move(parent));
  return {};
}

std::error_code PosixFileSystem::MoveFile(std::string_view source, std::string_view destination) {
  if (auto done = StartMove(source, destination, kOwnTicket)) return *done;
  CloseGroup(Durable::Now);
  writer_.WaitUntilIdle();
  writer_.TakeFinished(finished_);
  const auto own = std::find_if(finished_.begin(), finished_.end(),
                                [](const FinishedMove& move) { return move.ticket == kOwnTicket; });
  const auto failure = own->error;
  finished_.erase(own);
  return failure;
}

std::optional<std::error_code> PosixFileSystem::StartMove(std::string_view source,
                                                          std::string_view destination,
                                                          MoveTicket ticket) {
  const auto from = KernelPath(source);
  const auto to = KernelPath(destination);
  if (!from || !to || source.empty() || destination.empty()) return Error(EINVAL);
  // A rename from a folder to one under a root that it was refused for as crossing devices is
  // refused alike for every later song: each folder under the root is on the root's mount, or on
  // another that is not the source's either. (Where an artist folder is a link into the source's
  // mount, the copy that goes instead is only slower.)
  auto crossing = std::pair(ParentFolder(*from), ParentFolder(ParentFolder(*to)));
  if (crossings_.contains(crossing)) return StartCopy(ticket, *from, *to);
  const auto moved = RenameWithoutReplacing(*from, *to);
  if (moved.value() != EXDEV) return moved;
  crossings_.insert(std::move(crossing));
  return StartCopy(ticket, *from, *to);
}

void PosixFileSystem::FinishMoves(PendingMoves which, std::vector<FinishedMove>& finished) {
  if (which == PendingMoves::All) {
    CloseGroup(Durable::Now);
    writer_.WaitUntilIdle();
  } else if (GroupIsDue()) {
    CloseGroup();
  }
  writer_.TakeFinished(finished_);
  finished.insert(finished.end(), finished_.begin(), finished_.end());
  finished_.clear();
}

bool PosixFileSystem::GroupIsDue() const {
  return !group_.empty() &&
         limits_.IsDue(group_.size(), groupBytes_, std::chrono::steady_clock::now() - groupStarted_,
                       !writer_.Busy(), writer_.LastTook());
}

std::error_code PosixFileSystem::RenameWithoutReplacing(const std::string& from,
                                                        const std::string& to) {
  if (calls_.RenameNoReplace(from.c_str(), to.c_str()) == 0) return {};
  const int number = errno;
  if (!Unsupported(number)) return Error(number);
  return LinkOrLookAndRename(from, to);
}

std::error_code PosixFileSystem::LinkOrLookAndRename(const std::string& from,
                                                     const std::string& to) {
  if (calls_.Link(from.c_str(), to.c_str()) == 0) {
    if (calls_.Unlink(from.c_str()) == 0) return {};
    const auto failure = LastError();
    calls_.Unlink(to.c_str());
    return failure;
  }
  if (!LinkUnsupported(errno)) return LastError();

  // No hard links either (FAT, exFAT): look, then rename. Nothing of ours ever stands under the
  // real name before the whole file does; only a file that another program makes under the same
  // name between these two calls would be replaced.
  struct stat existing {};
  if (calls_.Lstat(to.c_str(), &existing) == 0) return Error(EEXIST);
  if (errno != ENOENT) return LastError();
  if (calls_.Rename(from.c_str(), to.c_str()) == 0) return {};
  return LastError();
}

// Only a run across devices sets sources aside, so only then can a dead one have left one in the
// source folder.
void PosixFileSystem::PrepareRun(std::string_view sourceFolder, std::string_view root) {
  spellings_.Forget();
  const auto from = KernelPath(sourceFolder);
  const auto to = KernelPath(root);
  struct stat fromInfo {};
  struct stat toInfo {};
  if (from && to && calls_.Stat(from->c_str(), &fromInfo) == 0 &&
      calls_.Stat(to->c_str(), &toInfo) == 0 && fromInfo.st_dev != toInfo.st_dev) {
    TidyOnce(ParentFolder(JoinPath(*from, "x")));  // spelt as the moves will spell it
  }
}

// Copies the song into a temporary beside its destination and adds it to the group; a song that
// cannot be copied is answered at once, with its source as it was and no copy left.
std::optional<std::error_code> PosixFileSystem::StartCopy(MoveTicket ticket,
                                                          const std::string& source,
                                                          const std::string& destination) {
  TidyOnce(ParentFolder(destination));
  TidyOnce(ParentFolder(source));
  struct stat existing {};
  if (calls_.Lstat(destination.c_str(), &existing) == 0) return Error(EEXIST);

  PendingMove move;
  move.ticket = ticket;
  move.source = source;
  move.destination = destination;
  move.sourceFd = calls_.Open(source.c_str(), kOpenWithoutWaiting, 0);
  if (move.sourceFd < 0) return LastError();
  const auto copyStarted = std::chrono::steady_clock::now();
  if (auto failure = CopyIntoTemporary(move)) {
    calls_.Close(move.sourceFd);  // ends the lease too
    return failure;
  }
  if (!group_.empty() && move.made.st_dev != groupDevice_) CloseGroup();
  if (group_.empty()) {
    groupDevice_ = move.made.st_dev;
    groupStarted_ = copyStarted;
  }
  groupBytes_ += static_cast<std::uint64_t>(move.copied.st_size);
  group_.push_back(std::move(move));
  if (GroupIsDue()) CloseGroup();
  return std::nullopt;
}

// Copies, carries mode and times over where the file system keeps them, and closes the
// temporary; on failure the temporary is gone.
std::error_code PosixFileSystem::CopyIntoTemporary(PendingMove& move) {
  if (calls_.Fstat(move.sourceFd, &move.copied) != 0) return LastError();
  if (!S_ISREG(move.copied.st_mode)) return Error(EINVAL);
  calls_.Fcntl(move.sourceFd, F_SETFL, 0);  // reads wait for the disk again, as they should
  if (auto busy = TakeReadLease(move.sourceFd, move.leased)) return busy;

  const int temporaryFd = CreateTemporary(ParentFolder(move.destination), move.temporary);
  if (temporaryFd < 0) return LastError();
  auto failure = copy_.Copy(move.sourceFd, temporaryFd, move.copied.st_size);
  if (!failure) {
    calls_.Fchmod(temporaryFd, move.copied.st_mode & 07777);
    const struct timespec times[2] = {move.copied.st_atim, move.copied.st_mtim};
    calls_.Futimens(temporaryFd, times);
    if (calls_.Fstat(temporaryFd, &move.made) != 0) failure = LastError();
  }
  if (calls_.Close(temporaryFd) != 0 && !failure) failure = LastError();
  if (failure) calls_.Unlink(move.temporary.c_str());
  return failure;
}

// Hands the group to the writer, with the folders made while it gathered: their names are made
// durable with the group's. A group that the run is about to wait for is made durable on the
// run's thread, which spares it waking the writer.
void PosixFileSystem::CloseGroup(Durable when) {
  if (group_.empty()) return;
  auto group =
      std::make_shared<Group>(Group{std::exchange(group_, {}), std::exchange(madeIn_, {})});
  groupBytes_ = 0;
  auto job = [this, group] { return MakeDurable(*group); };
  if (when == Durable::Now) {
    writer_.MakeDurableHere(std::move(job));
  } else {
    writer_.Hand(std::move(job));
  }
}

// The steps of MakeGroupDurable, on POSIX: the copies flushed by one syncfs where it reaches the
// storage, else one by one; a source's descriptor, which holds its lease, let go with its outcome.
struct PosixFileSystem::GroupSteps {
  PosixFileSystem& layer;
  bool bySyncfs = false;

  std::error_code FlushCopies(const std::vector<PendingMove*>& moves) {
    return layer.FlushCopies(moves, bySyncfs);
  }
  std::error_code Publish(PendingMove& move) {
    auto failure = layer.RenameWithoutReplacing(move.temporary, move.destination);
    if (failure) Withdraw(move);
    return failure;
  }
  void Withdraw(PendingMove& move) { layer.calls_.Unlink(move.temporary.c_str()); }
  std::error_code FlushNames(const std::vector<PendingMove*>& published) {
    return layer.FlushNames(published, bySyncfs);
  }
  // One file, where it was; but while the source is not back under its name, the copy stays.
  std::error_code RemoveSource(PendingMove& move) {
    bool sourceInPlace = true;
    const auto failure = layer.RemoveCopiedSource(move, sourceInPlace);
    if (failure && sourceInPlace) layer.calls_.Unlink(move.destination.c_str());
    return failure;
  }
  void Finish(PendingMove& move) {
    if (move.sourceFd >= 0) layer.calls_.Close(move.sourceFd);  // ends the lease too
    move.sourceFd = -1;
  }
  // Whatever this answers, every song is whole in its artist folder by now.
  void SourcesRemoved(const std::vector<PendingMove*>& published) {
    layer.FlushFolder(ParentFolder(published.front()->source));
  }
  FinishedMove Outcome(const PendingMove& move) const {
    return {move.ticket,
            {},
            static_cast<std::uint64_t>(move.copied.st_size),
            layer.StampOf(move.made, move.destination.c_str())};
  }
};

std::vector<FinishedMove> PosixFileSystem::MakeDurable(Group& group) {
  unflushed_.insert(group.madeIn.begin(), group.madeIn.end());
  GroupSteps steps{*this};
  return platform::MakeGroupDurable(group.moves, steps);
}

// One syncfs where it reaches the storage, else a flush of each copy.
std::error_code PosixFileSystem::FlushCopies(const std::vector<PendingMove*>& moves,
                                             bool& bySyncfs) {
  const std::string folder = ParentFolder(moves.front()->destination);
  const int folderFd = calls_.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (folderFd < 0) return LastError();
  long type = 0;
  bySyncfs = calls_.FileSystemType(folderFd, type) == 0 && SyncfsReachesStorage(type);
  std::error_code failure;
  if (bySyncfs && calls_.Syncfs(folderFd) != 0) failure = LastError();
  calls_.Close(folderFd);
  if (bySyncfs) return failure;

  for (const auto* move : moves) {
    const int copyFd = calls_.Open(move->temporary.c_str(), kOpenWithoutWaiting, 0);
    if (copyFd < 0) return LastError();
    if (calls_.Fsync(copyFd) != 0 && !Unsupported(errno)) failure = LastError();
    calls_.Close(copyFd);
    if (failure) return failure;
  }
  return {};
}

// The published names, and the artist folders made for them (in this group or in one before whose
// flush failed), made durable.
std::error_code PosixFileSystem::FlushNames(const std::vector<PendingMove*>& published,
                                            bool bySyncfs) {
  std::error_code failure;
  if (bySyncfs) {
    failure = SyncFileSystemOf(ParentFolder(published.front()->destination));  // flushes them all
  } else {
    std::set<std::string> folders = unflushed_;
    for (const auto* move : published) folders.insert(ParentFolder(move->destination));
    for (const auto& folder : folders) {
      if ((failure = FlushFolder(folder))) break;
    }
  }
  if (!failure) unflushed_.clear();
  return failure;
}

std::error_code PosixFileSystem::SyncFileSystemOf(const std::string& folder) {
  const int fd = calls_.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return LastError();
  const auto failure = calls_.Syncfs(fd) == 0 ? std::error_code() : LastError();
  calls_.Close(fd);
  return failure;
}

// Between a look at the source and its removal another program could put a new file under its
// name, so the source is first moved aside to a hidden name of our own, where nobody swaps it, and
// looked at there: only the very file that was copied, unchanged, is removed.
// sourceInPlace tells whether, on failure, the source is under its own name again.
std::error_code PosixFileSystem::RemoveCopiedSource(PendingMove& move, bool& sourceInPlace) {
  sourceInPlace = true;
  if (auto changed = ChangedSince(move.source, move, Times::ChangeToo)) return changed;
  std::string aside;
  if (auto failure = SetAside(move.source, aside)) return failure;
  // The rename itself has set the change time, so from here on only the data's time tells.
  auto failure = ChangedSince(aside, move, Times::ModificationOnly);
  if (!failure && calls_.Unlink(aside.c_str()) != 0) {
    failure = LastError();
    // A network file system may answer a repeated unlink with ENOENT: then the source is gone.
    struct stat info {};
    if (calls_.Lstat(aside.c_str(), &info) != 0 && errno == ENOENT) failure = {};
  }
  if (failure) sourceInPlace = !RenameWithoutReplacing(aside, move.source);
  const std::string asideFolder = ParentFolder(aside);
  if (asideFolder != ParentFolder(move.source)) {
    calls_.Close(move.sourceFd);  // the removed source is let go of before its folder goes
    move.sourceFd = -1;
    RemoveEmptyFolder(asideFolder);
  }
  return failure;
}

// The kernel refuses a read lease while anyone has the file open for writing, and breaks it when
// anyone opens it for writing later. Where no lease is to be had (a file of another owner, a file
// system without leases), the comparison of identity, size and times still stands.
std::error_code PosixFileSystem::TakeReadLease(int fd, bool& leased) {
  leased = false;
  // A broken lease is announced by a signal: SIGURG, ignored unless asked for, rather than the
  // default SIGIO, which would end the program.
  if (calls_.Fcntl(fd, F_SETSIG, SIGURG) != 0) return {};
  leased = calls_.Fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
  if (!leased && errno == EAGAIN) return Error(EBUSY);
  return {};
}

// Whether path still names the file held open, with the size and times it had when copied, and
// nobody has opened it for writing since.
std::error_code PosixFileSystem::ChangedSince(const std::string& path, const PendingMove& move,
                                              Times times) {
  if (move.leased && calls_.Fcntl(move.sourceFd, F_GETLEASE, 0) != F_RDLCK) return Error(EBUSY);
  struct stat now {};
  struct stat named {};
  if (calls_.Fstat(move.sourceFd, &now) != 0 || calls_.Lstat(path.c_str(), &named) != 0) {
    return LastError();
  }
  const auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  const auto& copied = move.copied;
  const bool unchanged = named.st_dev == now.st_dev && named.st_ino == now.st_ino &&
                         now.st_size == copied.st_size && same(now.st_mtim, copied.st_mtim) &&
                         (times == Times::ModificationOnly || same(now.st_ctim, copied.st_ctim));
  return unchanged ? std::error_code() : Error(EBUSY);
}

// A hidden name of our own in the destination folder, created exclusively so that nothing of
// anyone else's is ever written to. Returns the descriptor, or -1 with errno set.
int PosixFileSystem::CreateTemporary(const std::string& folder, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = OwnName(folder, OwnFileKind::Temporary);
    const int fd = calls_.Open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

std::error_code PosixFileSystem::FlushFolder(const std::string& folder) {
  const int fd =
      calls_.Open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return LastError();
  std::error_code failure;
  if (calls_.Fsync(fd) != 0 && !Unsupported(errno)) failure = LastError();
  calls_.Close(fd);
  return failure;
}

// Under a name of our own that keeps the original, so that a run that dies here leaves a file
// the next run can put back. Where that name would be too long, the source keeps its own name
// inside a hidden folder of ours instead.
std::error_code PosixFileSystem::SetAside(const std::string& source, std::string& aside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    aside = OwnName(ParentFolder(source), OwnFileKind::SetAside, LastComponent(source));
    if (LastComponent(aside).size() > NAME_MAX) return SetAsideInFolder(source, aside);
    const auto failure = RenameWithoutReplacing(source, aside);
    if (failure.value() == ENAMETOOLONG) return SetAsideInFolder(source, aside);
    if (failure.value() != EEXIST) return failure;  // EEXIST: a dead namesake of ours is there
  }
  return Error(EEXIST);
}

std::error_code PosixFileSystem::SetAsideInFolder(const std::string& source, std::string& aside) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = OwnName(ParentFolder(source), OwnFileKind::SetAside);
    if (calls_.Mkdir(folder.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      return LastError();
    }
    aside = JoinPath(folder, LastComponent(source));
    const auto failure = RenameWithoutReplacing(source, aside);
    if (failure) calls_.Rmdir(folder.c_str());
    return failure;
  }
  return Error(EEXIST);
}

std::string PosixFileSystem::OwnName(const std::string& folder, OwnFileKind kind,
                                     std::string_view original) const {
  static std::atomic<std::uint64_t> serial{0};
  const platform::OwnFileName name{.kind = kind,
                                   .process = process_,
                                   .serial = serial++,
                                   .host = host_,
                                   .original = std::string(original)};
  return JoinPath(folder, platform::FormatOwnFileName(name));
}

// Only folders that a move across devices uses can hold what a dead run left, and each is looked
// at once per run, so a run on one device never pays for this. A folder this run made holds
// nothing of a dead run's, even where a journaled run makes the folders of a batch before its
// moves: listing each new artist's folder cost five system calls a song.
void PosixFileSystem::TidyOnce(const std::string& folder) {
  if (tidyFolders_.insert(folder).second && !createdFolders_.contains(folder)) {
    TidyAfterDeadRuns(folder);
  }
}

// What a run of this machine that has died left in folder. Its temporaries go: a source is
// removed only once its copy is durable under its real name, so a temporary is never the only
// copy. A source it had set aside goes back under its own name, as a duplicate for the next run
// to report, rather than being removed unverified; a set-aside folder gives back the source it
// holds and goes. Anything else (a live run's files, another machine's, names not made by us)
// stays untouched.
void PosixFileSystem::TidyAfterDeadRuns(const std::string& folder) {
  std::vector<std::string> names;
  if (calls_.ListNames(folder.empty() ? "." : folder.c_str(), ".", names) != 0) return;
  for (const auto& name : names) {
    const auto own = platform::ParseOwnFileName(name);
    if (!own || own->host != host_ || !IsGone(own->process)) continue;
    const std::string path = JoinPath(folder, name);
    struct stat info {};
    if (calls_.Lstat(path.c_str(), &info) != 0) continue;
    if (own->kind == OwnFileKind::Temporary && S_ISREG(info.st_mode)) {
      calls_.Unlink(path.c_str());
    } else if (own->kind == OwnFileKind::SetAside && S_ISREG(info.st_mode)) {
      if (!own->original.empty()) PutBack(folder, path, own->original);
    } else if (own->kind == OwnFileKind::SetAside && own->original.empty() &&
               S_ISDIR(info.st_mode)) {
      std::vector<std::string> held;
      calls_.ListNames(path.c_str(), "", held);
      for (const auto& heldName : held) {
        if (heldName != "." && heldName != "..")
          PutBack(folder, JoinPath(path, heldName), heldName);
      }
      calls_.Rmdir(path.c_str());
    }
  }
}

// A set-aside source back under its own name. Where that name already holds the very same file
// (a link made to set it aside, whose unlink never came), the second name simply goes. So does an
// empty one beside another file (an older version claimed set-aside names with empty placeholders):
// a source is set aside only once its copy is durable under its real name, so an empty song lives
// on there.
void PosixFileSystem::PutBack(const std::string& folder, const std::string& aside,
                              const std::string& original) {
  const std::string home = JoinPath(folder, original);
  struct stat asideInfo {};
  struct stat homeInfo {};
  if (calls_.Lstat(aside.c_str(), &asideInfo) != 0 || !S_ISREG(asideInfo.st_mode)) return;
  if (calls_.Lstat(home.c_str(), &homeInfo) != 0) {
    RenameWithoutReplacing(aside, home);
    return;
  }
  const bool sameFile = homeInfo.st_dev == asideInfo.st_dev && homeInfo.st_ino == asideInfo.st_ino;
  if (sameFile || asideInfo.st_size == 0) calls_.Unlink(aside.c_str());
}

// Only "no such process" counts: a process of another user answers EPERM and is alive. This
// process counts as alive even where it shares its number with a dead run of long ago.
bool PosixFileSystem::IsGone(std::uint64_t process) {
  if (process == 0 || process > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max()) ||
      process == process_) {
    return false;
  }
  return calls_.Kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

std::error_code PosixFileSystem::RemoveFolder(std::string_view path) {
  const auto kernelPath = KernelPath(path);
  if (!kernelPath || path.empty()) return Error(EINVAL);
  return RemoveEmptyFolder(*kernelPath);
}

// A FUSE drive keeps a removed file that was open under a hidden name of its own until its daemon
// hears it closed, a moment after the close, and fusefat may refuse (EPERM) a folder emptied a
// moment ago: a folder that holds nothing else is waited for, a tenth of a second at most.
std::error_code PosixFileSystem::RemoveEmptyFolder(const std::string& folder) {
  for (int attempt = 0;; ++attempt) {
    if (calls_.Rmdir(folder.c_str()) == 0) return {};
    const int error = errno;
    std::vector<std::string> names;
    const bool onlyLetGo = calls_.ListNames(folder.c_str(), "", names) == 0 &&
                           std::all_of(names.begin(), names.end(), [](const std::string& name) {
                             return name == "." || name == ".." || name.starts_with(".fuse_hidden");
                           });
    if (error == ENOENT || attempt == 50 || !onlyLetGo) return Error(error);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::optional<std::vector<std::string>> PosixFileSystem::FolderContents(
    std::string_view path) const {
  const auto kernelPath = KernelPath(path);
  std::vector<std::string> names;
  if (!kernelPath || path.empty() || calls_.ListNames(kernelPath->c_str(), "", names) != 0) {
    return std::nullopt;
  }
  std::erase_if(names, [](const std::string& name) { return name == "." || name == ".."; });
  return names;
}

std::optional<FileStamp> PosixFileSystem::Stamp(std::string_view path) const {
  const auto kernelPath = KernelPath(path);
  struct stat info {};
  if (!kernelPath || path.empty() || calls_.Lstat(kernelPath->c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return StampOf(info, kernelPath->c_str());
}

FileStamp PosixFileSystem::StampOf(const struct stat& info, const char* path) const {
  const bool identity = KeepsInodes(info.st_dev, path);
  return FileStamp{.size = static_cast<std::uint64_t>(info.st_size),
                   .modified = info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
                   .file = identity ? static_cast<std::uint64_t>(info.st_ino) : 0};
}

// The device number only says which mount it is, to ask each mount's type once.
bool PosixFileSystem::KeepsInodes(dev_t device, const char* path) const {
  {
    const std::lock_guard lock(keepsInodesMutex_);
    if (const auto known = keepsInodes_.find(device); known != keepsInodes_.end()) {
      return known->second;
    }
  }
  const int fd = calls_.Open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
  long type = 0;
  const bool asked = fd >= 0 && calls_.FileSystemType(fd, type) == 0;
  if (fd >= 0) calls_.Close(fd);
  if (!asked) return false;
  const std::lock_guard lock(keepsInodesMutex_);
  return keepsInodes_[device] = KeepsInodesAcrossMounts(type);
}

bool PosixFileSystem::MovesCopy(std::string_view sourceFolder, std::string_view root) const {
  const auto from = KernelPath(sourceFolder);
  const auto to = KernelPath(root);
  struct stat fromInfo {};
  struct stat toInfo {};
  return from && to && calls_.Stat(from->empty() ? "." : from->c_str(), &fromInfo) == 0 &&
         calls_.Stat(to->c_str(), &toInfo) == 0 && fromInfo.st_dev != toInfo.st_dev;
}

std::error_code PosixFileSystem::RemoveDuplicate(std::string_view path, std::string_view original) {
  const auto copy = KernelPath(path);
  const auto kept = KernelPath(original);
  if (!copy || !kept || path.empty() || original.empty()) return Error(EINVAL);
  if (OtherLinkOfOneFile(*copy, *kept)) {
    return calls_.Unlink(copy->c_str()) == 0 ? std::error_code() : LastError();
  }
  if (auto differs = SameBytes(*copy, *kept)) return differs;
  return calls_.Unlink(copy->c_str()) == 0 ? std::error_code() : LastError();
}

// A move by a link that was cut short before its source's name went leaves one file under both
// names: then either may go. Names that differ only in case may be one entry on a case-blind file
// system, which only one link holds: they are never taken for two.
bool PosixFileSystem::OtherLinkOfOneFile(const std::string& path, const std::string& original) {
  struct stat info[2]{};
  const auto lower = [](std::string text) {
    for (auto& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
  };
  return calls_.Lstat(path.c_str(), &info[0]) == 0 &&
         calls_.Lstat(original.c_str(), &info[1]) == 0 && S_ISREG(info[0].st_mode) &&
         info[0].st_dev == info[1].st_dev && info[0].st_ino == info[1].st_ino &&
         info[0].st_nlink >= 2 && lower(path) != lower(original);
}

// Two regular files, not one under two names (as a case-blind file system would show it), of the
// same size and bytes; EEXIST when they differ.
std::error_code PosixFileSystem::SameBytes(const std::string& path, const std::string& original) {
  const int fds[2] = {calls_.Open(path.c_str(), kOpenWithoutWaiting, 0),
                      calls_.Open(original.c_str(), kOpenWithoutWaiting, 0)};
  struct stat info[2]{};
  std::error_code outcome;
  if (fds[0] < 0 || fds[1] < 0 || calls_.Fstat(fds[0], &info[0]) != 0 ||
      calls_.Fstat(fds[1], &info[1]) != 0) {
    outcome = LastError();
  } else if (!S_ISREG(info[0].st_mode) || !S_ISREG(info[1].st_mode) ||
             info[0].st_size != info[1].st_size ||
             (info[0].st_dev == info[1].st_dev && info[0].st_ino == info[1].st_ino)) {
    outcome = Error(EEXIST);
  } else {
    std::vector<char> buffers[2] = {std::vector<char>(1 << 16), std::vector<char>(1 << 16)};
    for (;;) {
      const auto got = ReadFully(fds[0], buffers[0]);
      const auto gotToo = ReadFully(fds[1], buffers[1]);
      if (!got || !gotToo) {
        outcome = Error(EIO);
      } else if (*got != *gotToo ||
                 !std::equal(buffers[0].begin(), buffers[0].begin() + static_cast<long>(*got),
                             buffers[1].begin())) {
        outcome = Error(EEXIST);
      }
      if (outcome || *got == 0) break;
    }
  }
  for (const int fd : fds) {
    if (fd >= 0) calls_.Close(fd);
  }
  return outcome;
}

// As many bytes as fill the buffer, fewer only at the end of the file; nothing on a failure.
std::optional<std::size_t> PosixFileSystem::ReadFully(int fd, std::vector<char>& buffer) {
  std::size_t filled = 0;
  while (filled < buffer.size()) {
    const ssize_t got = calls_.Read(fd, buffer.data() + filled, buffer.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return filled;
}

}  // namespace pellorin::posix
