#pragma once

// pellorin-bench --watch: how soon a watch files what arrives, how fast it files a burst beside one
// run over the same songs, and what it costs while it waits.

#include <filesystem>
#include <string>

namespace pellorin::bench {

struct WatchBenchOptions {
  std::filesystem::path base;  // where the folders go
  std::string program;         // pellorin-move
  int idleSeconds = 60;
  bool smoke = false;  // a few songs and a short wait, to check that the watch files them
};

// The exit status: 0 when the watch filed every song it was given, 1 otherwise.
int RunWatchBench(const WatchBenchOptions& options);

}  // namespace pellorin::bench
