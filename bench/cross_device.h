#pragma once

// The table across devices: music on /dev/shm filed onto a journaled ext4 file system on another
// device, an image that the benchmark makes, mounts through a loop device and removes again.
//
//   image made and mounted -> for each shape (files x size): for each repetition: for each
//     contender: fresh workspace (incoming on /dev/shm, library on the image) -> timed run ->
//     every file checked filed with all its bytes -> workspace removed and flushed
//   -> one table of medians: flushes the loop device completed, time on it, and that time with
//      the flushes priced as a disk would charge them, against the group-commit floor and
//      against mv-and-sync; or, with a flush wait, the time with each flush waited for where it
//      is made (see FlushWait)

#include <chrono>
#include <filesystem>
#include <string>

#include "child_launcher.h"

namespace pellorin::bench {

// Where the image goes unless the caller says: on tmpfs a flush that reaches the loop device costs
// no time, so a run's time leaves its flushes out, and they are counted and priced apart.
inline constexpr const char* kDefaultImageFolder = "/dev/shm";

struct CrossDeviceOptions {
  int repetitions = 5;
  std::filesystem::path imageFolder;
  std::string program;  // pellorin-move
  std::string only;     // one contender beside the floor, for profiling
  bool smoke = false;   // a tenth of the files, to check that each run files them
  // Zero: flushes priced after each run. Else each flush is waited for this long where it is made,
  // for the ways that run inside the benchmark.
  std::chrono::microseconds flushWait{0};
};

// The exit status: 0 when every run filed every file, or when the machine refused the mount (the
// reason is printed); 1 otherwise.
int RunCrossDeviceTable(const CrossDeviceOptions& options, ChildLauncher& launcher);

}  // namespace pellorin::bench
