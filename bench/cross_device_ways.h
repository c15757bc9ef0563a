#pragma once

// The ways of filing music onto another device that the table across devices sets pellorin-move
// against, each as direct as the kernel allows. All copy with sendfile into the artist's folder
// and never replace a file; they differ in what they flush, and so in what a power cut can take.
// With a FlushWait, each flush is waited for as a disk would take it.

#include "contenders.h"
#include "flush_wait.h"
#include "music_sample.h"

namespace pellorin::bench {

// How the group-commit floor makes its renames durable.
enum class PublishFlush {
  kFsyncEachFolder,  // one fsync of each artist folder the group touched
  kSecondSyncfs,     // one more syncfs of the destination
};

// Per song: copy into a temporary, fsync it, rename it to its name without replacing, fsync its
// folder, remove the source. No power cut loses a song, and each one costs its own flushes.
RunResult FileEachDurably(const Workspace& workspace, FlushWait* wait);

// A group at a time: songs copied into temporaries for up to 250 ms, one syncfs of the
// destination, every rename, the renames flushed as publish says, the sources removed, one fsync
// of the source folder. The same promise per song as above, with a few flushes per group.
RunResult FileInGroups(const Workspace& workspace, PublishFlush publish, FlushWait* wait);

// As mv does across devices (copy onto the name, remove the source, nothing flushed), then one
// syncfs at the end: until it, a power cut can lose what was moved.
RunResult FileLikeMvThenSync(const Workspace& workspace, FlushWait* wait);

}  // namespace pellorin::bench
