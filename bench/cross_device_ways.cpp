#include "cross_device_ways.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace pellorin::bench {
namespace {

constexpr auto kGroupCopyTime = std::chrono::milliseconds(250);

struct Song {
  std::string source, folder, temporary, destination;
};

// Lists the incoming songs, with where each goes.
std::vector<Song> SongsOf(const Workspace& workspace) {
  const std::string incoming = workspace.Incoming() + "/";
  const std::string library = workspace.Library() + "/";
  std::vector<Song> songs;
  for (const auto& name : ListSample(workspace.Incoming())) {
    const std::string folder = library + std::string(SampleArtist(name));
    songs.push_back({incoming + name, folder, folder + "/." + name + ".part", folder + "/" + name});
  }
  return songs;
}

// Times work, which returns how many songs it failed to file.
RunResult Timed(const std::function<std::size_t()>& work) {
  const auto start = std::chrono::steady_clock::now();
  const std::size_t failures = work();
  RunResult result;
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (failures != 0) result.failure = std::to_string(failures) + " files not filed";
  return result;
}

bool EnsureFolder(const std::string& folder) {
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 || ::mkdir(folder.c_str(), 0777) == 0;
}

// sendfile, what the kernel offers between tmpfs and ext4.
bool CopyAll(int from, int to) {
  struct stat info {};
  if (::fstat(from, &info) != 0) return false;
  for (off_t left = info.st_size; left > 0;) {
    const ssize_t sent = ::sendfile(to, from, nullptr, static_cast<size_t>(left));
    if (sent <= 0) return false;
    left -= sent;
  }
  return true;
}

// A flush, and what the disk charges for it where it charges in time.
bool Flushed(int result, FlushWait* wait) {
  if (wait != nullptr) wait->AfterFlush();
  return result == 0;
}

// Copies source onto a new file, never over one, and flushes the copy if asked.
bool CopyOnto(const std::string& source, const std::string& target, bool flush, FlushWait* wait) {
  const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  const int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  bool copied = from >= 0 && to >= 0 && CopyAll(from, to) && (!flush || Flushed(::fsync(to), wait));
  if (from >= 0) ::close(from);
  if (to >= 0) copied = ::close(to) == 0 && copied;
  return copied;
}

bool Publish(const Song& song) {
  return ::renameat2(AT_FDCWD, song.temporary.c_str(), AT_FDCWD, song.destination.c_str(),
                     RENAME_NOREPLACE) == 0;
}

bool FlushFolder(const std::string& folder, FlushWait* wait) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool flushed = fd >= 0 && Flushed(::fsync(fd), wait);
  if (fd >= 0) ::close(fd);
  return flushed;
}

bool FlushFileSystem(const std::string& folder, FlushWait* wait) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool flushed = fd >= 0 && Flushed(::syncfs(fd), wait);
  if (fd >= 0) ::close(fd);
  return flushed;
}

// Copies songs from next on into their temporaries until kGroupCopyTime has passed; returns the
// songs copied and counts those that could not be.
std::vector<const Song*> CopyGroup(const std::vector<Song>& songs, std::size_t& next,
                                   std::size_t& failures) {
  std::vector<const Song*> group;
  const auto start = std::chrono::steady_clock::now();
  do {
    const Song& song = songs[next++];
    if (EnsureFolder(song.folder) && CopyOnto(song.source, song.temporary, false, nullptr)) {
      group.push_back(&song);
    } else {
      ++failures;
    }
  } while (next < songs.size() && std::chrono::steady_clock::now() - start < kGroupCopyTime);
  return group;
}

// Makes the group's copies durable, publishes them, makes that durable, and only then removes
// their sources. Returns how many songs it failed to file.
std::size_t PublishGroup(const std::vector<const Song*>& group, const Workspace& workspace,
                         PublishFlush publish, FlushWait* wait) {
  if (!FlushFileSystem(workspace.Library(), wait)) return group.size();
  std::vector<const Song*> published;
  std::set<std::string> folders;
  for (const Song* song : group) {
    if (!Publish(*song)) continue;
    published.push_back(song);
    folders.insert(song->folder);
  }
  std::size_t failures = group.size() - published.size();
  const bool durable =
      publish == PublishFlush::kSecondSyncfs
          ? FlushFileSystem(workspace.Library(), wait)
          : std::all_of(folders.begin(), folders.end(),
                        [wait](const std::string& folder) { return FlushFolder(folder, wait); });
  if (!durable) return group.size();
  for (const Song* song : published) {
    if (::unlink(song->source.c_str()) != 0) ++failures;
  }
  return FlushFolder(workspace.Incoming(), wait) ? failures : group.size();
}

}  // namespace

RunResult FileEachDurably(const Workspace& workspace, FlushWait* wait) {
  return Timed([&workspace, wait] {
    std::size_t failures = 0;
    for (const auto& song : SongsOf(workspace)) {
      const bool filed = EnsureFolder(song.folder) &&
                         CopyOnto(song.source, song.temporary, true, wait) && Publish(song) &&
                         FlushFolder(song.folder, wait) && ::unlink(song.source.c_str()) == 0;
      if (!filed) ++failures;
    }
    return failures;
  });
}

RunResult FileInGroups(const Workspace& workspace, PublishFlush publish, FlushWait* wait) {
  return Timed([&workspace, publish, wait] {
    const auto songs = SongsOf(workspace);
    std::size_t failures = 0;
    for (std::size_t next = 0; next < songs.size();) {
      const auto group = CopyGroup(songs, next, failures);
      failures += PublishGroup(group, workspace, publish, wait);
    }
    return failures;
  });
}

RunResult FileLikeMvThenSync(const Workspace& workspace, FlushWait* wait) {
  return Timed([&workspace, wait] {
    std::size_t failures = 0;
    for (const auto& song : SongsOf(workspace)) {
      const bool filed = EnsureFolder(song.folder) &&
                         CopyOnto(song.source, song.destination, false, nullptr) &&
                         ::unlink(song.source.c_str()) == 0;
      if (!filed) ++failures;
    }
    return FlushFileSystem(workspace.Library(), wait) ? failures : failures + 1;
  });
}

}  // namespace pellorin::bench
