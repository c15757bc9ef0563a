#pragma once

// Watching one folder for songs that arrive. Events are hints that something changed; what is
// there is always read from a listing. The wait blocks in the kernel until an event, a request to
// stop or the deadline, so a watch costs nothing while nothing happens.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/arrivals.h"
#include "sorting/file_system.h"

namespace pellorin::platform {

struct FolderChange {
  std::string name;
  ChangeKind kind;
};

struct WatchWait {
  std::vector<FolderChange> changes;
  bool overflowed = false;  // the system dropped events: only a listing tells what is there
  bool folderGone = false;  // the folder itself was removed, moved away or unmounted
  bool stopRequested = false;
};

class FolderWatch {
 public:
  virtual ~FolderWatch() = default;
  // Until something changes, a stop is requested (StopRequest) or the deadline passes.
  virtual WatchWait Wait(std::optional<WatchClock::time_point> deadline) = 0;
};

// A watch on the folder. Where the system refuses one (the user's limit on watches), why says so
// and the watch returned only waits for its deadline or a stop: the caller then lists the folder
// at each deadline.
std::unique_ptr<FolderWatch> WatchFolder(std::string_view folder, std::string& why);

// Whether another program has the file open for writing.
WriterCheck OtherWriter(std::string_view path);

// How long ago the content of the file with that stamp last changed, by the system's clock.
WatchClock::duration SinceModified(const FileStamp& stamp);

}  // namespace pellorin::platform
