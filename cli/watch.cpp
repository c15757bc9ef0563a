#include "watch.h"

#include <algorithm>
#include <set>

#include "platform/platform.h"

namespace pellorin::cli {

Watch::Watch(FileSystemObject& disk, std::string pattern, std::string root,
             WatchClock::duration settle, std::ostream& err)
    : disk_(disk),
      pattern_(std::move(pattern)),
      folder_(disk.GetParentFolderName(pattern_)),
      root_(std::move(root)),
      err_(err),
      tracker_(settle),
      listingInterval_(kListingInterval) {
  std::string why;
  watch_ = platform::WatchFolder(folder_, why);
  if (!why.empty()) {
    watched_ = false;
    listingInterval_ = settle;
    err_ << "pellorin-move: cannot watch " << folder_ << " for changes: " << why
         << "; listing it every " << std::chrono::duration<double>(settle).count()
         << " s instead\n";
  }
}

void Watch::List(WatchClock::time_point now) {
  std::vector<ListedSong> songs;
  const auto files = platform::MakeFileEnumeration();
  std::string name;
  for (auto failure = files->First(pattern_, name); !failure && !name.empty();
       failure = files->Next(name)) {
    const auto stamp = disk_.Stamp(disk_.BuildPath(folder_, name));
    if (!stamp) continue;  // gone since the listing
    songs.push_back({name, *stamp, platform::SinceModified(*stamp)});
  }
  tracker_.Listed(songs, now);
  listAfterBurst_.reset();
}

std::vector<std::string> Watch::WholeSongs(WatchClock::time_point now) {
  const auto due = tracker_.Due(now);
  if (due.empty()) return {};
  // One read of the folder tells which downloads are in progress, rather than a look per ending.
  const auto contents = disk_.FolderContents(folder_);
  std::set<std::string, std::less<>> present;
  if (contents) present.insert(contents->begin(), contents->end());
  const auto downloadBeside = [&](const std::string& name) {
    return std::any_of(DownloadSuffixes().begin(), DownloadSuffixes().end(), [&](auto suffix) {
      const std::string download = name + std::string(suffix);
      return contents ? present.contains(download)
                      : disk_.PathExists(disk_.BuildPath(folder_, download));
    });
  };
  std::vector<std::string> whole;
  for (const auto& name : due) {
    const auto writer = platform::OtherWriter(disk_.BuildPath(folder_, name));
    const auto verdict = tracker_.Judge(name, writer, downloadBeside(name), now);
    if (verdict.state == Wholeness::Whole) whole.push_back(name);
  }
  return whole;
}

std::optional<WatchClock::time_point> Watch::Deadline() const {
  auto deadline = nextListing_;
  if (const auto due = tracker_.NextDue(kGather, kGatherMost)) deadline = std::min(deadline, *due);
  if (listAfterBurst_) deadline = std::min(deadline, *listAfterBurst_);
  return deadline;
}

WatchEnd Watch::Run(const FileBatch& fileBatch, const ShowWaiting& showWaiting) {
  for (;;) {
    auto now = WatchClock::now();
    if (now >= nextListing_) {
      List(now);
      tracker_.RecheckHeld();
      nextListing_ = now + listingInterval_;
    } else if (listAfterBurst_ && now >= *listAfterBurst_) {
      List(now);
    }
    if (const auto whole = WholeSongs(now); !whole.empty()) {
      if (!disk_.FolderExists(root_)) return WatchEnd::RootGone;
      if (!fileBatch(whole)) return WatchEnd::LogLost;
      // What is still there could not be filed: it waits until it changes or arrives anew. What
      // went is forgotten now, whenever its event comes.
      for (const auto& name : whole) {
        if (disk_.PathExists(disk_.BuildPath(folder_, name))) {
          tracker_.Reported(name);
        } else {
          tracker_.Heard(name, ChangeKind::Gone, now);
        }
      }
    }
    if (platform::StopRequest() != 0) return WatchEnd::Stopped;
    showWaiting(tracker_.Waiting());

    auto wait = watch_->Wait(Deadline());
    if (wait.stopRequested) return WatchEnd::Stopped;
    if (wait.folderGone || (!watched_ && !disk_.FolderExists(folder_))) return WatchEnd::FolderGone;
    now = WatchClock::now();
    for (const auto& change : wait.changes) tracker_.Heard(change.name, change.kind, now);
    if (wait.overflowed) {
      nextListing_ = now;  // events were lost: only a listing tells what came
    } else if (!wait.changes.empty() && !listAfterBurst_) {
      listAfterBurst_ = now + kBurstQuiet;
    }
  }
}

}  // namespace pellorin::cli
