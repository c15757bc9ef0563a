// Power cuts in the middle of moves across devices, and the run after them. A kill leaves the
// kernel's page cache to finish what the run wrote; a power cut does not, so a kill proves too
// little. The run is therefore not cut for real: a small move from /dev/shm into /tmp (another
// device) goes through the real POSIX layer with every system call recorded, and for each point a
// cut could hit (after call k, for every k) the test builds the states a disk could hold, under
// this model of a disk:
// - what was there before the run is certain;
// - data written into a file and not yet flushed since, by an fsync of that file or a syncfs of
//   its file system, may be missing or cut short: the file holds its data whole, cut short, or
//   only what was last flushed (nothing, for a new file);
// - a name created, renamed, linked or removed, and a folder made or removed, is certain only once
//   its folder (both folders, for a rename or a link) or its file system has been flushed since;
//   until then it may have happened or not, each such change independently of the others. The
//   changes that happen are applied in the run's order, each skipped where what it needs is
//   missing in that state (a rename of a name that was never made, a file in a folder never made);
// - a flush makes certain only what came before it, and only on its own file system;
// - nothing else (closing, sync_file_range, modes, times) makes anything certain.
// Every combination of a point is built where there are at most kAllStatesUpTo; beyond that, a
// deterministic sample of kSampledStates: nothing uncertain happened, everything did, each change
// alone happened, each alone did not, and the rest drawn with a fixed seed. A point after a call
// that changed nothing holds the states of the point before it and is not built again.
// In every state each song must be whole under its real name somewhere, or under a name of ours
// that sets it aside for the next run to put back; and no song's real name may hold less than the
// song. Then, for the extremes of each point (nothing uncertain happened, all of it did) and each
// uncertain thing gone another way alone from either, the state is written onto real folders, our
// hidden names as they are but carrying a process that is dead, and a second run must file each
// song or report it with a whole copy kept, and leave nothing hidden of ours behind. A failure
// names the point, the state (each uncertain change, + happened, - did not) and the song.
// The run is journaled as pellorin-move journals it, ahead of its moves, into a journal beside the
// root whose writes are recorded too; on the same states an undo from the journal as the cut left
// it must bring back every song the run moved, and leave the root as it was.
// The run is made twice: flushed as the layer flushes /tmp here (one syncfs where the kernel's own
// file system is underneath), and told that /tmp is FUSE, where it flushes each file and folder.
// The layer's writer is held back until the run's thread can go no further, and no state may have
// more songs in flight (in files of ours, or twice) than the two groups the layer allows.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/own_file_names.h"
#include "platform/posix/append_file.h"
#include "platform/posix/posix_file_enumeration.h"
#include "platform/posix/posix_file_system.h"
#include "real_run.h"
#include "sorting/move_run.h"
#include "support/recording_system_calls.h"
#include "support/run_goes_first.h"
#include "support/scripted_window.h"
#include "support/temp_folder.h"

namespace pellorin::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kAllStatesUpTo = 4096;
constexpr std::size_t kSampledStates = 1024;
constexpr std::size_t kFailuresShown = 5;  // of each way
// Groups of two songs, whatever the time: a run of five makes three.
constexpr posix::GroupLimits kGroups{.songs = 2, .work = std::chrono::hours(1)};
constexpr long kFuseType = 0x65735546;  // statfs's f_type for FUSE

// A group for each artist: A's folder is there before the run, B's and C's are made by it.
const std::map<std::string, std::string>& Songs() {
  static const std::map<std::string, std::string> songs = {{"A - one.mp3", "one 1111"},
                                                           {"A - three.mp3", "three 33"},
                                                           {"B - two.mp3", "two 2222"},
                                                           {"B - four.mp3", "four 444"},
                                                           {"C - five.mp3", "five 555"}};
  return songs;
}

std::string Artist(const std::string& song) { return song.substr(0, 1); }

bool Inside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

std::string Normal(std::string_view path) {
  std::string normal = fs::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

std::string Parent(const std::string& path) { return fs::path(path).parent_path().string(); }
std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

// The two folders a run works in, each on its own device.
struct Tops {
  std::string shm, tmp;  // the test's folders: /dev/shm/..., /tmp/...
  std::string in, root;  // the songs' folder in the first, the root in the second
  std::string journal;   // the run's journal, in a folder of the root's that the run leaves alone
  std::map<std::string, fs::file_time_type> songTimes;  // what a copy keeps of its song
  dev_t inDevice = 0, rootDevice = 0;

  dev_t DeviceOf(const std::string& path) const {
    if (path == in || Inside(path, in)) return inDevice;
    if (path == root || Inside(path, root)) return rootDevice;
    return 0;
  }
  std::string Short(std::string path) const {
    if (path.starts_with(shm)) return "shm" + path.substr(shm.size());
    if (path.starts_with(tmp)) return "tmp" + path.substr(tmp.size());
    return path;
  }
};

using Inode = int;

// What a disk holds: folders, names of files, and each file's bytes.
struct Disk {
  std::set<std::string> folders;
  std::map<std::string, Inode> files;
  std::map<Inode, std::string> bytes;

  bool Has(const std::string& path) const { return files.contains(path) || folders.contains(path); }
  bool HasInside(const std::string& folder) const {
    const auto next = folders.lower_bound(folder + "/");
    const auto file = files.lower_bound(folder + "/");
    return (next != folders.end() && Inside(*next, folder)) ||
           (file != files.end() && Inside(file->first, folder));
  }
  // The file or folder at from, with all inside it, now at to.
  void Move(const std::string& from, const std::string& to) {
    const auto moved = [&](const std::string& path) { return to + path.substr(from.size()); };
    if (folders.erase(from) != 0) {
      folders.insert(to);
      for (auto it = folders.lower_bound(from + "/"); it != folders.end() && Inside(*it, from);) {
        folders.insert(moved(*it));
        it = folders.erase(it);
      }
      for (auto it = files.lower_bound(from + "/"); it != files.end() && Inside(it->first, from);) {
        files[moved(it->first)] = it->second;
        it = files.erase(it);
      }
    } else {
      files[to] = files.at(from);
      files.erase(from);
    }
  }
  // Every path with its bytes, one text: equal texts, equal disks.
  std::string Key() const {
    std::string key;
    for (const auto& folder : folders) key.append(folder).append("/\n");
    for (const auto& [path, inode] : files)
      key.append(path).append("=").append(bytes.at(inode)).append("\n");
    return key;
  }
};

Disk Scan(const Tops& tops, Inode& nextInode) {
  Disk disk;
  for (const auto& top : {tops.in, tops.root}) {
    disk.folders.insert(top);
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      if (entry.is_directory()) {
        disk.folders.insert(entry.path().string());
      } else {
        disk.files[entry.path().string()] = nextInode;
        disk.bytes[nextInode++] = ReadFile(entry.path());
      }
    }
  }
  return disk;
}

enum class Change {
  None,
  Create,
  Mkdir,
  Rmdir,
  Rename,
  RenameNoReplace,
  Link,
  Unlink,
  Data,
  FlushFile,
  FlushFolder,
  FlushFileSystem
};

bool ChangesName(Change change) { return change >= Change::Create && change <= Change::Unlink; }

// One recorded call as it bears on the disk.
struct Step {
  Change change = Change::None;
  std::string path, to;  // normal paths
  Inode file = -1;       // Create, Data, FlushFile
  std::string bytes;     // Data: the file's whole content after the call
  dev_t device = 0;      // FlushFileSystem
  std::string call;      // as recorded, for messages
};

// The folders in which a name change is made.
std::vector<std::string> FoldersOf(const Step& step) {
  if (step.to.empty()) return {Parent(step.path)};
  return {Parent(step.path), Parent(step.to)};
}

// Makes one name change on disk; false, and nothing done, where what it needs is missing there.
bool Apply(Disk& disk, const Step& step) {
  const bool parentThere = disk.folders.contains(Parent(step.to.empty() ? step.path : step.to));
  switch (step.change) {
    case Change::Create:
      if (!parentThere || disk.Has(step.path)) return false;
      disk.files[step.path] = step.file;
      return true;
    case Change::Mkdir:
      return parentThere && !disk.Has(step.path) && disk.folders.insert(step.path).second;
    case Change::Rmdir:
      return disk.folders.contains(step.path) && !disk.HasInside(step.path) &&
             disk.folders.erase(step.path) != 0;
    case Change::Link:
      if (!disk.files.contains(step.path) || !parentThere || disk.Has(step.to)) return false;
      disk.files[step.to] = disk.files.at(step.path);
      return true;
    case Change::Rename:
    case Change::RenameNoReplace: {
      if (!disk.Has(step.path) || !parentThere || Inside(step.to, step.path)) return false;
      if (disk.Has(step.to)) {
        const bool replaceable = step.change == Change::Rename && disk.files.contains(step.path) &&
                                 disk.files.contains(step.to);
        if (!replaceable) return false;
        disk.files.erase(step.to);
      }
      disk.Move(step.path, step.to);
      return true;
    }
    case Change::Unlink:
      return disk.files.erase(step.path) != 0;
    default:
      return false;
  }
}

std::string Describe(const RecordedCall& call, const Tops& tops) {
  std::string text(CallName(call.call));
  text += "(";
  for (std::size_t i = 0; i < call.paths.size(); ++i) {
    text.append(i == 0 ? "" : ", ").append(tops.Short(call.paths[i]));
  }
  text += ") = " + std::to_string(call.result);
  if (call.failed()) text += " errno " + std::to_string(call.error);
  return text;
}

// The recorded calls as steps, replayed on live, the disk as the run really left it.
class Replay {
 public:
  Replay(const Tops& tops, Disk& live, Inode& nextInode)
      : tops_(tops), live_(live), nextInode_(nextInode) {}

  Step Next(const RecordedCall& call) {
    Step step;
    step.call = Describe(call, tops_);
    if (!call.failed()) Read(call, step);
    if (ChangesName(step.change)) Apply(live_, step);
    if (step.change == Change::Data) live_.bytes[step.file] = step.bytes;
    if (step.change == Change::Create) live_.bytes[step.file] = "";
    if (call.call == SystemCall::Open && call.result >= 0) Opened(call);
    if (call.call == SystemCall::Close) {
      fileFds_.erase(call.fds[0]);
      folderFds_.erase(call.fds[0]);
    }
    return step;
  }

 private:
  void Read(const RecordedCall& call, Step& step) {
    const auto names = [&](Change change) {
      step.change = change;
      step.path = Normal(call.paths.at(0));
      if (call.paths.size() > 1) step.to = Normal(call.paths.at(1));
    };
    const auto onFile = [&](Change change, int fd) {
      if (!fileFds_.contains(fd)) return false;
      step.change = change;
      step.file = fileFds_.at(fd);
      return true;
    };
    switch (call.call) {
      case SystemCall::Open:
        if (call.created) names(Change::Create), step.file = nextInode_++;
        break;
      case SystemCall::Mkdir:
        return names(Change::Mkdir);
      case SystemCall::Rmdir:
        return names(Change::Rmdir);
      case SystemCall::Unlink:
        return names(Change::Unlink);
      case SystemCall::Rename:
        return names(Change::Rename);
      case SystemCall::RenameNoReplace:
        return names(Change::RenameNoReplace);
      case SystemCall::Link:
        return names(Change::Link);
      case SystemCall::Write:
      case SystemCall::Sendfile:
      case SystemCall::CopyFileRange:
        // The written descriptor: the second of copy_file_range, the first of the others.
        if (call.result > 0 &&
            onFile(Change::Data, call.fds[call.call == SystemCall::CopyFileRange ? 1 : 0])) {
          step.bytes = call.bytes;
        }
        break;
      case SystemCall::Fsync:
        if (!onFile(Change::FlushFile, call.fds[0]) && folderFds_.contains(call.fds[0])) {
          step.change = Change::FlushFolder;
          step.path = folderFds_.at(call.fds[0]);
        }
        break;
      case SystemCall::Syncfs:
        step.change = Change::FlushFileSystem;
        step.device = call.device;
        break;
      default:
        break;
    }
  }

  void Opened(const RecordedCall& call) {
    const std::string path = Normal(call.paths[0]);
    if (live_.files.contains(path)) fileFds_[call.fds[0]] = live_.files.at(path);
    if (live_.folders.contains(path)) folderFds_[call.fds[0]] = path;
  }

  const Tops& tops_;
  Disk& live_;
  Inode& nextInode_;
  std::map<int, Inode> fileFds_;
  std::map<int, std::string> folderFds_;
};

// Where a power cut might hit: after the first `calls` steps.
struct Point {
  std::size_t calls = 0;
  std::vector<std::size_t> names;  // the name changes not yet certain
  struct Data {
    Inode file;
    std::vector<std::string> choices;  // as last flushed, cut short, whole
  };
  std::vector<Data> data;               // the files whose data is not all flushed
  std::map<Inode, std::string> latest;  // each file's data as the run left it

  // How many ways each uncertain thing can go: the names first, then the data.
  std::vector<std::size_t> Radix() const {
    std::vector<std::size_t> radix(names.size(), 2);
    for (const auto& file : data) radix.push_back(file.choices.size());
    return radix;
  }
};

class CrashModel {
 public:
  CrashModel(const Tops& tops, Disk before, std::vector<Step> steps)
      : tops_(tops), before_(std::move(before)), steps_(std::move(steps)) {
    for (const auto& [path, inode] : before_.files) deviceOf_[inode] = tops_.DeviceOf(path);
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      if (steps_[i].change == Change::Create) {
        deviceOf_[steps_[i].file] = tops_.DeviceOf(steps_[i].path);
        firstName_[steps_[i].file] = steps_[i].path;
      }
      certainFrom_.push_back(ChangesName(steps_[i].change) ? FlushedAfter(i) : 0);
    }
  }

  const std::vector<Step>& steps() const { return steps_; }

  Point At(std::size_t calls) const {
    Point point;
    point.calls = calls;
    std::map<Inode, std::string> flushed = before_.bytes;
    point.latest = before_.bytes;
    for (std::size_t i = 0; i < calls; ++i) {
      const Step& step = steps_[i];
      if (ChangesName(step.change) && certainFrom_[i] > calls) point.names.push_back(i);
      if (step.change == Change::Create) point.latest[step.file] = flushed[step.file] = "";
      if (step.change == Change::Data) point.latest[step.file] = step.bytes;
      for (const auto& [inode, bytes] : point.latest) {
        if ((step.change == Change::FlushFile && step.file == inode) ||
            (step.change == Change::FlushFileSystem && step.device == deviceOf_.at(inode))) {
          flushed[inode] = bytes;
        }
      }
    }
    for (const auto& [inode, bytes] : point.latest) {
      const std::string& last = flushed[inode];
      if (bytes == last) continue;
      const std::string cut = bytes.substr(0, (last.size() + bytes.size()) / 2);
      std::vector<std::string> choices = {last};
      if (cut != last && cut != bytes) choices.push_back(cut);
      choices.push_back(bytes);
      point.data.push_back({inode, std::move(choices)});
    }
    return point;
  }

  // The disk after a cut at point, with each uncertain thing gone the way picks says.
  Disk State(const Point& point, const std::vector<std::size_t>& picks) const {
    Disk disk = before_;
    auto uncertain = point.names.begin();
    for (std::size_t i = 0; i < point.calls; ++i) {
      if (!ChangesName(steps_[i].change)) continue;
      bool happens = true;
      if (uncertain != point.names.end() && *uncertain == i) {
        happens = picks[static_cast<std::size_t>(uncertain - point.names.begin())] == 1;
        ++uncertain;
      }
      if (happens) Apply(disk, steps_[i]);
    }
    disk.bytes = point.latest;
    for (std::size_t d = 0; d < point.data.size(); ++d) {
      disk.bytes[point.data[d].file] = point.data[d].choices[picks[point.names.size() + d]];
    }
    return disk;
  }

  std::string Describe(const Point& point, const std::vector<std::size_t>& picks) const {
    std::string text;
    for (std::size_t n = 0; n < point.names.size(); ++n) {
      text.append(picks[n] == 1 ? "\n    + " : "\n    - ").append(steps_[point.names[n]].call);
    }
    for (std::size_t d = 0; d < point.data.size(); ++d) {
      const auto& file = point.data[d];
      const std::size_t pick = picks[point.names.size() + d];
      const auto name = firstName_.find(file.file);
      text.append("\n    data of ")
          .append(name == firstName_.end() ? "?" : tops_.Short(name->second))
          .append(pick + 1 == file.choices.size() ? ": whole"
                  : pick == 0                     ? ": as last flushed"
                                                  : ": cut short");
    }
    return text.empty() ? " nothing uncertain" : text;
  }

 private:
  // The number of steps after which every folder of name change i has been flushed since it.
  std::size_t FlushedAfter(std::size_t i) const {
    std::size_t certain = 0;
    for (const auto& folder : FoldersOf(steps_[i])) {
      std::size_t j = i + 1;
      while (j < steps_.size() &&
             !(steps_[j].change == Change::FlushFolder && steps_[j].path == folder) &&
             !(steps_[j].change == Change::FlushFileSystem &&
               steps_[j].device == tops_.DeviceOf(folder))) {
        ++j;
      }
      certain =
          std::max(certain, j == steps_.size() ? std::numeric_limits<std::size_t>::max() : j + 1);
    }
    return certain;
  }

  const Tops& tops_;
  Disk before_;
  std::vector<Step> steps_;
  std::vector<std::size_t> certainFrom_;
  std::map<Inode, dev_t> deviceOf_;
  std::map<Inode, std::string> firstName_;
};

bool TooManyToBuildAll(const std::vector<std::size_t>& radix) {
  std::size_t total = 1;
  for (const auto ways : radix) total = std::min(total * ways, kAllStatesUpTo + 1);
  return total > kAllStatesUpTo;
}

// Every way the uncertain things can go where they are few; else the extremes, each one flipped
// alone from either extreme, and a sample drawn with a fixed seed.
std::vector<std::vector<std::size_t>> Picks(const std::vector<std::size_t>& radix,
                                            std::uint32_t seed) {
  std::vector<std::vector<std::size_t>> picks;
  std::vector<std::size_t> none(radix.size(), 0), all(radix.size());
  for (std::size_t i = 0; i < radix.size(); ++i) all[i] = radix[i] - 1;
  if (!TooManyToBuildAll(radix)) {
    for (auto pick = none;;) {
      picks.push_back(pick);
      std::size_t i = 0;
      while (i < pick.size() && ++pick[i] == radix[i]) pick[i++] = 0;
      if (i == pick.size()) return picks;
    }
  }
  picks = {none, all};
  for (const auto& from : {none, all}) {
    for (std::size_t i = 0; i < radix.size(); ++i) {
      for (std::size_t way = 0; way < radix[i]; ++way) {
        if (way == from[i]) continue;
        picks.push_back(from);
        picks.back()[i] = way;
      }
    }
  }
  std::mt19937 random(seed);
  while (picks.size() < kSampledStates) {
    auto& pick = picks.emplace_back(radix.size());
    for (std::size_t i = 0; i < radix.size(); ++i) pick[i] = random() % radix[i];
  }
  return picks;
}

// The states that a second run is made on: nothing uncertain happened, all of it did, and each
// uncertain thing gone another way alone from either.
bool RunAgainOn(const std::vector<std::size_t>& pick, const std::vector<std::size_t>& radix) {
  std::size_t fromNone = 0, fromAll = 0;
  for (std::size_t i = 0; i < pick.size(); ++i) {
    fromNone += pick[i] == 0 ? 0 : 1;
    fromAll += pick[i] + 1 == radix[i] ? 0 : 1;
  }
  return fromNone <= 1 || fromAll <= 1;
}

// What is wrong with a state: a song not whole anywhere, or less than whole under its name.
std::vector<std::string> SongsBroken(const Disk& disk, const Tops& tops) {
  std::vector<std::string> broken;
  std::set<std::string> whole;
  for (const auto& [path, inode] : disk.files) {
    const std::string name = NameOf(path);
    const std::string& bytes = disk.bytes.at(inode);
    if (Songs().contains(name)) {
      if (bytes == Songs().at(name)) whole.insert(name);
      if (bytes != Songs().at(name)) {
        broken.push_back("\"" + name + "\" not whole under its name at " + tops.Short(path));
      }
    } else if (const auto own = platform::ParseOwnFileName(name);
               own && own->kind == platform::OwnFileKind::SetAside &&
               Songs().contains(own->original) && bytes == Songs().at(own->original)) {
      whole.insert(own->original);
    }
  }
  for (const auto& [name, bytes] : Songs()) {
    if (!whole.contains(name)) broken.push_back("\"" + name + "\" lost");
  }
  return broken;
}

// Files of ours (copies not yet published, sources set aside) and songs whole twice.
std::size_t SongsInFlight(const Disk& disk) {
  std::size_t inFlight = 0;
  std::map<std::string, int> copies;
  for (const auto& [path, inode] : disk.files) {
    const std::string name = NameOf(path);
    const bool whole = Songs().contains(name) && disk.bytes.at(inode) == Songs().at(name);
    if (platform::ParseOwnFileName(name) || (whole && ++copies[name] == 2)) ++inFlight;
  }
  return inFlight;
}

std::string MoveAll(const Tops& tops, FileSystemObject& disk) {
  ScriptedWindow window;
  window.pattern = tops.in + "/*";
  window.root = tops.root;
  posix::PosixFileEnumeration files;
  MoveRun(window, disk, files);
  return window.results.text;
}

// A process number that nobody has any more.
pid_t DeadProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

// path with every name of ours in it made by process instead.
std::string MadeBy(const std::string& path, pid_t process) {
  fs::path renamed;
  for (const auto& part : fs::path(path)) {
    auto own = platform::ParseOwnFileName(part.string());
    if (own) own->process = static_cast<std::uint64_t>(process);
    renamed /= own ? fs::path(platform::FormatOwnFileName(*own)) : part;
  }
  return renamed.string();
}

// The undo from the journal as the state holds it: every song back where it was, once, nothing of
// ours left, and of the root only what was there before the run.
std::vector<std::string> UndoBroken(const Tops& tops) {
  JournaledRun run;
  run.root = tops.root, run.sourceFolder = tops.in;
  const auto journaled = journal::ParseJournal("cut", ReadFile(tops.journal));
  // The states are written anew, each file with an inode of its own: told it is on FUSE, the
  // layer stamps them without one, as after a replug.
  RecordingSystemCalls calls;
  calls.typeAnswered = kFuseType;
  posix::PosixFileSystem real(calls);
  const std::string log = UndoAll(journaled.value_or(run), real);
  std::vector<std::string> broken;
  for (const auto& top : {tops.in, tops.root}) {
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      const std::string path = entry.path().string();
      const bool before = path == tops.root + "/A" || path == Parent(tops.journal) ||
                          path == tops.journal ||
                          (Parent(path) == tops.in && Songs().contains(NameOf(path)));
      if (!before) broken.push_back("left " + tops.Short(path));
    }
  }
  for (const auto& [name, bytes] : Songs()) {
    if (ReadFile(tops.in + "/" + name) != bytes) broken.push_back("\"" + name + "\" not back");
  }
  if (!broken.empty()) broken.back() += "\n  the undo's log:\n" + log;
  return broken;
}

// Writes the state onto the real folders, runs the real layer once more (or the undo) and says
// what is wrong.
std::vector<std::string> SecondRunBroken(const Disk& state, const Tops& tops, pid_t dead,
                                         bool undo) {
  fs::remove_all(tops.in);
  fs::remove_all(tops.root);
  for (const auto& folder : state.folders) fs::create_directory(MadeBy(folder, dead));
  for (const auto& [path, inode] : state.files) {
    WriteFile(MadeBy(path, dead), state.bytes.at(inode));
    for (const auto& [name, bytes] : Songs()) {
      if (bytes == state.bytes.at(inode))
        fs::last_write_time(MadeBy(path, dead), tops.songTimes.at(name));
    }
  }
  if (undo) return UndoBroken(tops);

  posix::PosixFileSystem real;
  const std::string log = MoveAll(tops, real);
  std::vector<std::string> broken;
  std::set<std::string> whole;
  for (const auto& top : {tops.in, tops.root}) {
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(".pellorin-")) broken.push_back("left " + tops.Short(entry.path()));
      if (Songs().contains(name) && ReadFile(entry.path()) == Songs().at(name)) whole.insert(name);
    }
  }
  for (const auto& [name, bytes] : Songs()) {
    const bool filed = ReadFile(tops.root + "/" + Artist(name) + "/" + name) == bytes;
    const bool reported = log.find("Error moving File \"" + name + "\"") != std::string::npos;
    if (!filed && !(reported && whole.contains(name))) {
      broken.push_back("\"" + name + "\" neither filed nor reported with a whole copy kept");
    }
  }
  if (!broken.empty()) broken.back() += "\n  the second run's log:\n" + log;
  return broken;
}

struct Figures {
  std::size_t calls = 0, prefixes = 0, points = 0, sampled = 0, states = 0, secondRuns = 0;
  std::size_t undos = 0;
  std::size_t mostInFlight = 0;
};

// Records one run of the real layer from /dev/shm into /tmp and checks every state a power cut
// could leave, adding what breaks to failures. With type, the layer is told that /tmp is that
// kind of file system, so that it flushes as it would there.
void CheckPowerCuts(std::optional<long> type, Figures& figures,
                    std::vector<std::string>& failures) {
  const TempFolder shm("/dev/shm"), tmp;
  Tops tops;
  tops.shm = shm.path().string(), tops.tmp = tmp.path().string();
  tops.in = tops.shm + "/in", tops.root = tops.tmp + "/root";
  fs::create_directory(tops.in);
  fs::create_directories(tops.root + "/A");
  tops.journal = tops.root + "/.state/run.journal";
  fs::create_directory(Parent(tops.journal));
  WriteFile(tops.journal, "");
  for (const auto& [name, bytes] : Songs()) {
    WriteFile(tops.in + "/" + name, bytes);
    tops.songTimes[name] = fs::last_write_time(tops.in + "/" + name);
  }
  struct stat info {};
  ASSERT_EQ(::stat(tops.in.c_str(), &info), 0);
  tops.inDevice = info.st_dev;
  ASSERT_EQ(::stat(tops.root.c_str(), &info), 0);
  tops.rootDevice = info.st_dev;

  Inode nextInode = 0;
  const Disk before = Scan(tops, nextInode);
  RecordingSystemCalls recorder;
  recorder.typeAnswered = type;
  RunGoesFirst runGoesFirst;
  recorder.before = [&runGoesFirst] { runGoesFirst.AtCall(); };
  {
    posix::PosixFileSystem recorded(recorder, kGroups);
    const platform::StateFolder state(Parent(tops.journal));
    JournaledMoveAll(tops.in, tops.root, recorded, state, [&](std::error_code& failure) {
      return posix::OpenAppendFile(recorder, tops.journal, O_WRONLY | O_APPEND, failure);
    });
  }
  Disk live = before;
  Replay replay(tops, live, nextInode);
  std::vector<Step> steps;
  for (const auto& call : recorder.calls) steps.push_back(replay.Next(call));

  // The model is only worth its states if the replay ends where the real run did.
  Inode scratch = 0;
  const Disk after = Scan(tops, scratch);
  ASSERT_EQ(live.folders, after.folders);
  std::map<std::string, std::string> liveFiles, realFiles;
  for (const auto& [path, inode] : live.files) liveFiles[path] = live.bytes.at(inode);
  for (const auto& [path, inode] : after.files) realFiles[path] = after.bytes.at(inode);
  ASSERT_EQ(liveFiles, realFiles) << "a change to the disk went past the recorded calls";
  for (const auto& [name, bytes] : Songs()) {
    ASSERT_EQ(ReadFile(tops.root + "/" + Artist(name) + "/" + name), bytes) << name;
  }

  const CrashModel model(tops, before, std::move(steps));
  const pid_t dead = DeadProcess();
  std::set<std::string> runAgain;
  const std::size_t total = model.steps().size();
  figures.calls += total;
  figures.prefixes += total + 1;
  for (std::size_t calls = 0; calls <= total; ++calls) {
    if (calls > 0 && model.steps()[calls - 1].change == Change::None) continue;
    ++figures.points;
    const Point point = model.At(calls);
    const auto radix = point.Radix();
    const auto picks = Picks(radix, static_cast<std::uint32_t>(calls));
    figures.sampled += TooManyToBuildAll(radix) ? 1 : 0;
    const std::string where =
        "power cut " + (calls == 0
                            ? std::string("before the first call")
                            : "after call " + std::to_string(calls) + " of " +
                                  std::to_string(total) + ", " + model.steps()[calls - 1].call);
    for (std::size_t s = 0; s < picks.size(); ++s) {
      const Disk state = model.State(point, picks[s]);
      ++figures.states;
      auto broken = SongsBroken(state, tops);
      const std::size_t inFlight = SongsInFlight(state);
      figures.mostInFlight = std::max(figures.mostInFlight, inFlight);
      if (inFlight > 2 * kGroups.songs) broken.push_back("more in flight than two groups");
      if (broken.empty() && RunAgainOn(picks[s], radix) && runAgain.insert(state.Key()).second) {
        broken = SecondRunBroken(state, tops, dead, false);
        for (auto& problem : broken) problem = "after a second run: " + problem;
        for (auto& problem : SecondRunBroken(state, tops, dead, true)) {
          broken.push_back("after an undo: " + problem);
        }
        ++figures.undos;
      }
      for (const auto& problem : broken) {
        failures.push_back(where + "\n  state " + std::to_string(s + 1) + " of " +
                           std::to_string(picks.size()) + ":" + model.Describe(point, picks[s]) +
                           "\n  " + problem);
      }
    }
  }
  figures.secondRuns += runAgain.size();
}

class PowerCut : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat here {
    }, there{};
    if (::stat(fs::temp_directory_path().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 ||
        here.st_dev == there.st_dev) {
      GTEST_SKIP() << "/dev/shm is not another device than the temporary folder here";
    }
  }
};

TEST_F(PowerCut, AfterAnyCallOfMovesAcrossDevicesEverySongIsWholeAndTheNextRunFilesOrReportsIt) {
  const auto started = std::chrono::steady_clock::now();
  const struct {
    const char* way;
    std::optional<long> type;
  } ways[] = {
      {"flushed as the layer flushes /tmp", std::nullopt},
      {"flushed as on FUSE", kFuseType},
  };
  Figures figures;
  std::map<std::string, std::vector<std::string>> failures;
  for (const auto& [way, type] : ways) {
    SCOPED_TRACE(way);
    CheckPowerCuts(type, figures, failures[way]);
    if (HasFatalFailure()) return;
  }
  std::size_t broken = 0;
  for (const auto& [way, type] : ways) {
    const auto& found = failures[way];
    for (std::size_t f = 0; f < std::min(found.size(), kFailuresShown); ++f) {
      ADD_FAILURE() << way << ", " << found[f];
    }
    broken += found.size();
  }
  EXPECT_EQ(broken, 0u) << "songs broken by power cuts (the first of each way are shown above)";
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf(
      "[ figures  ] %zu calls recorded, %zu prefixes (%zu after a change to the disk, %zu of them "
      "sampled), %zu states checked, %zu second runs and %zu undos made, %zu problems; at most %zu "
      "songs in flight; %.2f s\n",
      figures.calls, figures.prefixes, figures.points, figures.sampled, figures.states,
      figures.secondRuns, figures.undos, broken, figures.mostInFlight, seconds);
}

}  // namespace
}  // namespace pellorin::testing
