#include "arrivals.h"

#include <algorithm>
#include <array>

namespace pellorin {
namespace {

// Browsers, download managers and torrent clients: the file they write while a download goes on,
// or the file they keep beside the one they preallocated.
constexpr std::array<std::string_view, 10> kDownloadSuffixes = {
    ".part",    ".crdownload", ".aria2",      ".!qB",      ".!ut",
    ".partial", ".download",   ".opdownload", ".filepart", ".tmp"};

}  // namespace

std::span<const std::string_view> DownloadSuffixes() { return kDownloadSuffixes; }

std::string_view SongOfDownload(std::string_view name) {
  for (const std::string_view suffix : kDownloadSuffixes) {
    if (name.size() > suffix.size() && name.ends_with(suffix)) {
      return name.substr(0, name.size() - suffix.size());
    }
  }
  return {};
}

Verdict JudgeArrival(const ArrivalFacts& facts, WatchClock::time_point now,
                     WatchClock::duration settle) {
  if (facts.downloadBeside || facts.writer == WriterCheck::Busy) return {Wholeness::Held};
  // Without a lease only the close tells that the writer is done.
  if (facts.writing && facts.writer == WriterCheck::Unknown) return {Wholeness::Held};
  if (now - facts.changed < settle) return {Wholeness::Settling, facts.changed + settle};
  return {Wholeness::Whole};
}

void ArrivalTracker::Touch(Song& song, WatchClock::time_point now) {
  song.changed = now;
  song.held = false;
  song.reported = false;
}

void ArrivalTracker::Heard(std::string_view name, ChangeKind kind, WatchClock::time_point now) {
  if (const auto song = SongOfDownload(name); !song.empty()) {
    // The download's file came, went or grew: its song is looked at again once it settles.
    const auto found = songs_.find(song);
    if (found != songs_.end()) Touch(found->second, now);
    return;
  }
  if (kind == ChangeKind::Gone) {
    if (const auto found = songs_.find(name); found != songs_.end()) songs_.erase(found);
    return;
  }
  auto found = songs_.find(name);
  if (found == songs_.end()) found = songs_.emplace(std::string(name), Song{}).first;
  Touch(found->second, now);
  found->second.writing = kind == ChangeKind::Written;
}

void ArrivalTracker::Listed(const std::vector<ListedSong>& songs, WatchClock::time_point now) {
  std::map<std::string, Song, std::less<>> listed;
  for (const auto& seen : songs) {
    auto found = songs_.find(seen.name);
    Song song = found != songs_.end() ? std::move(found->second) : Song{};
    if (found == songs_.end()) {
      song.changed = now - std::max(seen.unchangedFor, WatchClock::duration::zero());
    } else if (song.stamp && *song.stamp != seen.stamp) {
      Touch(song, now);
    }
    song.stamp = seen.stamp;
    listed.emplace(seen.name, std::move(song));
  }
  songs_ = std::move(listed);
}

void ArrivalTracker::RecheckHeld() {
  for (auto& [name, song] : songs_) song.held = false;
}

std::vector<std::string> ArrivalTracker::Due(WatchClock::time_point now) const {
  std::vector<std::string> due;
  for (const auto& [name, song] : songs_) {
    if (!song.held && !song.reported && now - song.changed >= settle_) due.push_back(name);
  }
  return due;
}

Verdict ArrivalTracker::Judge(const std::string& name, WriterCheck writer, bool downloadBeside,
                              WatchClock::time_point now) {
  auto& song = songs_.at(name);
  const auto verdict = JudgeArrival({.changed = song.changed,
                                     .writing = song.writing,
                                     .writer = writer,
                                     .downloadBeside = downloadBeside},
                                    now, settle_);
  song.held = verdict.state == Wholeness::Held;
  return verdict;
}

void ArrivalTracker::Reported(const std::string& name) {
  if (const auto found = songs_.find(name); found != songs_.end()) found->second.reported = true;
}

std::optional<WatchClock::time_point> ArrivalTracker::NextDue(WatchClock::duration gap,
                                                              WatchClock::duration most) const {
  std::vector<WatchClock::time_point> due;
  for (const auto& [name, song] : songs_) {
    if (!song.held && !song.reported) due.push_back(song.changed + settle_);
  }
  if (due.empty()) return std::nullopt;
  std::sort(due.begin(), due.end());
  auto last = due.front();
  for (const auto next : due) {
    if (next - last >= gap || next - due.front() > most) break;
    last = next;
  }
  return last;
}

std::size_t ArrivalTracker::Waiting() const {
  return static_cast<std::size_t>(std::count_if(
      songs_.begin(), songs_.end(), [](const auto& song) { return !song.second.reported; }));
}

}  // namespace pellorin
