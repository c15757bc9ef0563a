#pragma once

// pellorin-move --watch: files what matches now, then each song that arrives, once it is whole.
// A watch is a loop of ordinary Move runs, one a batch of songs that became whole together:
//
//   listing (the truth) + events (hints) -> ArrivalTracker -> due songs -> writer and download
//     checks -> whole ones: one batch -> a Move run of its own -> those still there are reported
//   ... asleep in the kernel until an event, the next song's settle time, or the next listing

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/folder_watch.h"
#include "sorting/arrivals.h"
#include "sorting/file_system.h"

namespace pellorin::cli {

enum class WatchEnd { Stopped, FolderGone, RootGone, LogLost };

class Watch {
 public:
  // Every folder is listed again this often even when no event came: a folder on a network or
  // FUSE drive hears nothing of what other machines write into it.
  static constexpr std::chrono::minutes kListingInterval{3};
  // Events come in bursts (a copy of an album): the folder is listed once the burst is over.
  static constexpr std::chrono::milliseconds kBurstQuiet{100};
  // Songs of one burst settle a little apart: those due less than kGather apart go in one batch,
  // one run and one journal, instead of one batch each, if the first waits no more than
  // kGatherMost.
  static constexpr std::chrono::milliseconds kGather{100};
  static constexpr std::chrono::milliseconds kGatherMost{500};

  // Files one batch of whole songs, by name, and says whether the log still reaches its reader.
  using FileBatch = std::function<bool(const std::vector<std::string>& names)>;
  // Hears how many songs wait (settling, or held by a writer or a download).
  using ShowWaiting = std::function<void(std::size_t songs)>;

  Watch(FileSystemObject& disk, std::string pattern, std::string root, WatchClock::duration settle,
        std::ostream& err);
  WatchEnd Run(const FileBatch& fileBatch, const ShowWaiting& showWaiting);

 private:
  void List(WatchClock::time_point now);
  std::vector<std::string> WholeSongs(WatchClock::time_point now);
  std::optional<WatchClock::time_point> Deadline() const;

  FileSystemObject& disk_;
  const std::string pattern_;
  const std::string folder_;
  const std::string root_;
  std::ostream& err_;
  ArrivalTracker tracker_;
  std::unique_ptr<platform::FolderWatch> watch_;
  bool watched_ = true;
  WatchClock::duration listingInterval_;
  WatchClock::time_point nextListing_{};
  std::optional<WatchClock::time_point> listAfterBurst_;
};

}  // namespace pellorin::cli
