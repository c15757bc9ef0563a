#pragma once

// The table of the tags: what reading the artist from each song's tags costs pellorin-move.
//
//   for each repetition: for each way: fresh workspace of the same tagged songs, named the way's
//     way -> timed run of pellorin-move -> every song checked filed under its artist
//   -> one table of medians against the run whose names give every artist
//
// The ways: names "Artist - Title.mp3" without --tags (the reference), the same with --tags
// (where no tag may be read), and names "Title.mp3" with --tags (every artist from the tags).

#include <filesystem>
#include <string>

#include "child_launcher.h"

namespace pellorin::bench {

struct TagsOptions {
  std::size_t files = 4'000;
  int repetitions = 5;
  std::filesystem::path base;  // where the workspaces go
  std::string program;         // pellorin-move
  bool keepLog = false;        // count each run's log too
};

// The exit status: 0 when every run filed every song under its artist, 1 otherwise.
int RunTagsTable(const TagsOptions& options, ChildLauncher& launcher);

}  // namespace pellorin::bench
