#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pellorin {

// Names one move of a run; the run numbers its moves in order.
using MoveTicket = std::uint64_t;

// What tells a file as a run left it from the same name holding anything else since, and still
// holds after its drive was unplugged and plugged in again: its size, the time its content last
// changed (in the platform's units, at the file system's resolution: nanoseconds on Linux,
// FILETIME ticks on Windows), and its identity (inode, file ID) only where the file system keeps
// it across mounts, else 0. A device number is never part of it: a drive gets a new one at each
// mount, and FAT and exFAT drives through FUSE new inode numbers too.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
  // The same file, as far as both stamps tell: an identity known on one side only is no news, and
  // times within timeStep are one (a FAT drive may show a new file's time finer until it is
  // plugged in again, and then at its own 2 s).
  bool SameFileAs(const FileStamp& other, std::int64_t timeStep = 0) const {
    return size == other.size && modified <= other.modified + timeStep &&
           other.modified <= modified + timeStep &&
           (file == 0 || other.file == 0 || file == other.file);
  }
};

struct FinishedMove {
  MoveTicket ticket = 0;
  std::error_code error;    // none: the file is at its destination for good and its source is gone
  std::uint64_t bytes = 0;  // the song's size, for a move that copies it to another device
  // For a move that copies, the copy as it was made, where the layer knows it without looking
  // again.
  std::optional<FileStamp> copy = std::nullopt;
};

// Which pending moves FinishMoves is to finish.
enum class PendingMoves {
  Due,  // those of a group whose time is up; the rest may wait for more company
  All,  // every one: the run is about to ask the user something, to stop, or to end
};

// The file operations that a Move run relies on. Paths are in the platform's own spelling.
class FileSystemObject {
 public:
  virtual ~FileSystemObject() = default;

  // The path without its last component; empty when the path has no folder part.
  virtual std::string GetParentFolderName(std::string_view path) const = 0;
  // True only for an existing folder; false for the empty text.
  virtual bool FolderExists(std::string_view path) const = 0;
  // True when anything (file, folder, link) exists under that path.
  virtual bool PathExists(std::string_view path) const = 0;
  // Path and name joined by exactly one separator.
  virtual std::string BuildPath(std::string_view path, std::string_view name) const = 0;
  // Creates that one folder; fails when it exists, its parent is missing or access is denied.
  virtual std::error_code CreateFolder(std::string_view path) = 0;
  // Moves one file to the full destination path. Never replaces an existing file and never
  // leaves the file in two places or in none.
  virtual std::error_code MoveFile(std::string_view source, std::string_view destination) = 0;
  // True when name can only mean a folder directly inside another one: never ".", "..", a
  // path of several components, or a name that this file system would read as one of those.
  virtual bool IsFolderName(std::string_view name) const = 0;
  // The name this file system gives a folder created as name. Windows drops the trailing dots and
  // blanks of a path's last component, so "Mr." becomes "Mr"; others keep every name as it is. A
  // name of which nothing would be left comes back unchanged, for IsFolderName to refuse.
  virtual std::string FolderNameAsKept(std::string_view name) const { return std::string(name); }
  // The folder under root for a name that no folder there has exactly: an existing one whose name
  // is the same once both are in Unicode's composed form (NFC), as accents composed on one system
  // and decomposed on another are (of several, the first in byte order); else the name composed,
  // as every folder a run makes is named.
  virtual std::string FolderNameFor(std::string_view /*root*/, std::string_view name) const {
    return std::string(name);
  }
  // Removes that one folder if it is empty; fails, changing nothing, when it holds anything.
  virtual std::error_code RemoveFolder(std::string_view /*path*/) {
    return std::make_error_code(std::errc::operation_not_supported);
  }
  // The names in a folder, hidden ones included; nothing when it cannot be read.
  virtual std::optional<std::vector<std::string>> FolderContents(std::string_view /*path*/) const {
    return std::nullopt;
  }
  // Removes the file under path if it holds, byte for byte, what the file under original holds;
  // fails otherwise, changing nothing.
  virtual std::error_code RemoveDuplicate(std::string_view /*path*/,
                                          std::string_view /*original*/) {
    return std::make_error_code(std::errc::operation_not_supported);
  }
  // The stamp of the regular file under path; nothing when there is none.
  virtual std::optional<FileStamp> Stamp(std::string_view /*path*/) const { return std::nullopt; }
  // The coarsest step in which a file system keeps modification times (2 s, on FAT), in the
  // stamps' units: how far a copy's time may lie from its original's.
  virtual std::int64_t CoarsestTimeStep() const { return 0; }
  // True when moving from sourceFolder into a folder under root copies the files, as between
  // two devices.
  virtual bool MovesCopy(std::string_view /*sourceFolder*/, std::string_view /*root*/) const {
    return false;
  }
  // Called once a run has accepted its folders, before it lists its files. A layer that sets
  // sources aside while it moves them puts back here what a run that died left in the source
  // folder, so that the listing offers those files again.
  virtual void PrepareRun(std::string_view /*sourceFolder*/, std::string_view /*root*/) {}

  // Starts moving one file, with the promise of MoveFile. A file system that makes moves durable
  // a group at a time (one flush for many songs rather than several for each) keeps the move
  // pending and reports it through FinishMoves; the result is then empty. Otherwise the move is
  // done at once and its result returned.
  virtual std::optional<std::error_code> StartMove(std::string_view source,
                                                   std::string_view destination,
                                                   MoveTicket /*ticket*/) {
    return MoveFile(source, destination);
  }
  // Appends to finished the pending moves that have finished, each once, in any order.
  virtual void FinishMoves(PendingMoves /*which*/, std::vector<FinishedMove>& /*finished*/) {}
};

// The ordinary files (not folders, not hidden, not system files) that match a pattern whose last
// component may hold wildcards. The list is taken at the first call, so files moved during a run
// are never offered again.
class FileEnumeration {
 public:
  virtual ~FileEnumeration() = default;
  // Starts over with a pattern; name becomes the first match, or empty when there is none.
  virtual std::error_code First(std::string_view pattern, std::string& name) = 0;
  // name becomes the next match, or empty after the last.
  virtual std::error_code Next(std::string& name) = 0;
  // How many files the listing holds, once First has taken it.
  virtual std::size_t Count() const { return 0; }
  // The size of all the listed files together, read when asked.
  virtual std::uint64_t TotalBytes() { return 0; }
};

}  // namespace pellorin
