#pragma once

// Which songs in a watched folder are whole yet. The platform layer reports what it saw (events,
// which are only hints, and listings, which are the truth) and, for a song whose time is up,
// whether another program still writes it and whether a download in progress names it; this
// decides, from those facts and the clock alone, so that it is tested without waiting.
//
//   events -> Heard ┐
//   listing -> Listed ┴> per song: changed at, writing, held, reported -> Due -> checks -> Judge
//     -> whole: filed in the next batch; settling: looked at again at its deadline; held: looked
//        at again when it changes, or at the next listing

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"

namespace pellorin {

using WatchClock = std::chrono::steady_clock;

// The endings a download in progress gives the file it writes beside the song's real name, or the
// file it keeps there until the song is done: "NAME.part", "NAME.crdownload", "NAME.aria2"...
std::span<const std::string_view> DownloadSuffixes();
// The song that a download's file names ("a.mp3" for "a.mp3.part"), or the empty text.
std::string_view SongOfDownload(std::string_view name);

// Whether another program has the song open for writing; Unknown where the system cannot tell
// (no lease can be taken on another user's file).
enum class WriterCheck { None, Busy, Unknown };

struct ArrivalFacts {
  WatchClock::time_point changed;  // its last write, close, move in, or change a listing found
  bool writing = false;            // a write was seen and no close after it
  WriterCheck writer = WriterCheck::None;
  bool downloadBeside = false;
};

enum class Wholeness {
  Whole,     // file it now
  Settling,  // not for settle since its last change: look again at recheckAt
  Held,      // written or downloaded still: look again when it changes, or at the next listing
};
struct Verdict {
  Wholeness state = Wholeness::Whole;
  WatchClock::time_point recheckAt{};
};
Verdict JudgeArrival(const ArrivalFacts& facts, WatchClock::time_point now,
                     WatchClock::duration settle);

// What an event said of a name in the watched folder.
enum class ChangeKind { Written, Closed, MovedIn, Gone };

// A song a listing found: its name, its stamp, and how long ago its content last changed.
struct ListedSong {
  std::string name;
  FileStamp stamp;
  WatchClock::duration unchangedFor{};
};

// The songs of one watched folder, from the first listing to the end of the watch.
class ArrivalTracker {
 public:
  explicit ArrivalTracker(WatchClock::duration settle) : settle_(settle) {}

  // An event for a name; one for a download's file counts for the song it names.
  void Heard(std::string_view name, ChangeKind kind, WatchClock::time_point now);
  // Every matching song in the folder now. Songs not in it are forgotten; a new song settles from
  // its last change, a changed one from now, and one that was reported is tried again.
  void Listed(const std::vector<ListedSong>& songs, WatchClock::time_point now);
  // A listing that was not asked for by an event (the periodic one): held songs are looked at
  // again.
  void RecheckHeld();
  // The songs whose settle time is up, in name order, for the writer and download checks.
  std::vector<std::string> Due(WatchClock::time_point now) const;
  // The verdict on a due song, given what the checks found; a song judged whole is expected to be
  // filed next, and a held one waits.
  Verdict Judge(const std::string& name, WriterCheck writer, bool downloadBeside,
                WatchClock::time_point now);
  // A song that a batch could not file (no artist, its place taken, a failure): reported once,
  // tried again only when it changes or arrives anew.
  void Reported(const std::string& name);
  // When the next batch is due, if any song is settling: when the first song's settle time is up,
  // or, for songs that arrived together (due less than gap apart, one after another), when the
  // last of them is settled too, but never more than most after the first.
  std::optional<WatchClock::time_point> NextDue(
      WatchClock::duration gap = WatchClock::duration::zero(),
      WatchClock::duration most = WatchClock::duration::zero()) const;
  // Songs waiting: still settling, or held by a writer or a download.
  std::size_t Waiting() const;

 private:
  struct Song {
    std::optional<FileStamp> stamp;
    WatchClock::time_point changed;
    bool writing = false;
    bool held = false;
    bool reported = false;
  };
  void Touch(Song& song, WatchClock::time_point now);

  const WatchClock::duration settle_;
  std::map<std::string, Song, std::less<>> songs_;
};

}  // namespace pellorin
