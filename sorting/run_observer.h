#pragma once

// What a front end hears of a run beside its log: the listing's size, each folder the run makes,
// and, as the entries retire in the run's order, the folders removed and the files moved, done
// with, and their bytes.
// A terminal draws its progress from it, and pellorin-move keeps its journal of the run with it.

#include <cstdint>
#include <string_view>

#include "file_system.h"

namespace pellorin {

class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // Whether Listed is to be told the bytes to copy, which costs a look at every file.
  virtual bool WantsBytes() const { return false; }
  // The files the run is about to take, and, if wanted, their bytes when the run copies them to
  // another device (0 otherwise).
  virtual void Listed(std::size_t /*files*/, std::uint64_t /*bytesCopied*/) {}
  // As soon as the run has made the folder, before its entry retires.
  virtual void FolderCreated(std::string_view /*folder*/) {}
  virtual void FolderRemoved(std::string_view /*folder*/) {}
  // A file is at destination for good and gone from source; ticket numbers it within the run.
  virtual void Moved(MoveTicket /*ticket*/, std::string_view /*name*/, std::string_view /*source*/,
                     std::string_view /*destination*/) {}
  // A file is done with, moved or not; bytes: what was copied of it to another device.
  virtual void FileDone(std::uint64_t /*bytes*/) {}
  // Entries that waited for a group of moves to finish have retired.
  virtual void GroupRetired() {}
};

}  // namespace pellorin
