#pragma once

// The one order in which a group of songs copied across devices is made durable, whatever the
// platform:
//
//   flush the copies -> publish each under its real name -> flush the names -> remove each source
//
// A flush that fails fails every song not yet safe: before the publication no copy stays; after it
// the copy stays beside its source, a song in two places rather than a guess. A song that fails a
// step of its own drops out of the steps after it. Each platform supplies the steps:
//
//   std::error_code FlushCopies(const std::vector<Song*>&);
//   std::error_code Publish(Song&);       // on failure, its copy is gone
//   void Withdraw(Song&);                 // a copy that will never be published goes
//   std::error_code FlushNames(const std::vector<Song*>& published);
//   std::error_code RemoveSource(Song&);  // on failure, the source is where it was
//   void Finish(Song&);                   // its outcome is known: what it holds may go
//   void SourcesRemoved(const std::vector<Song*>& published);
//   FinishedMove Outcome(const Song&);    // its ticket and bytes

#include <system_error>
#include <vector>

#include "sorting/file_system.h"

namespace pellorin::platform {

template <typename Song, typename Steps>
std::vector<FinishedMove> MakeGroupDurable(std::vector<Song>& group, Steps& steps) {
  std::vector<FinishedMove> finished;
  const auto finish = [&](Song& song, std::error_code error) {
    steps.Finish(song);
    finished.push_back(steps.Outcome(song));
    finished.back().error = error;
  };
  std::vector<Song*> going;
  for (auto& song : group) going.push_back(&song);
  if (const auto failure = steps.FlushCopies(going)) {
    for (auto* song : going) {
      steps.Withdraw(*song);
      finish(*song, failure);
    }
    return finished;
  }
  std::vector<Song*> published;
  for (auto* song : going) {
    if (const auto failure = steps.Publish(*song)) {
      finish(*song, failure);
    } else {
      published.push_back(song);
    }
  }
  if (published.empty()) return finished;
  if (const auto failure = steps.FlushNames(published)) {
    for (auto* song : published) finish(*song, failure);
    return finished;
  }
  for (auto* song : published) finish(*song, steps.RemoveSource(*song));
  steps.SourcesRemoved(published);
  return finished;
}

}  // namespace pellorin::platform
