#include "undo_run.h"

#include <optional>
#include <set>
#include <string>

#include "in_order_log.h"

namespace pellorin {
namespace {

std::string LeftAt(std::string_view path) { return " left at " + Quoted(path); }

MoveWording BackWording() {
  return {[](std::string_view name) { return "File " + Quoted(name) + " moved back."; },
          [](std::string_view name, std::string_view leftAt) {
            return "Error: " + Quoted(name) + " could not be moved back;" + LeftAt(leftAt);
          }};
}

// The same song as the run left, seen after an undo put it back: a copy across devices is another
// file with the same size and time.
bool SameSong(const FileStamp& a, const FileStamp& b) {
  return a.size == b.size && a.modified == b.modified;
}

class UndoRunner {
 public:
  UndoRunner(RunWindow& window, FileSystemObject& fileSystem, const JournaledRun& run,
             RunObserver* observer)
      : window_(window),
        fileSystem_(fileSystem),
        run_(run),
        observer_(observer),
        log_(window.Results(), observer, BackWording()) {}

  UndoRunOutcome Run() {
    if (observer_ != nullptr) Listed();
    TidyArtistFolders();
    bool stopped = false;
    for (auto index = run_.moves.size(); index-- > 0;) {
      const auto& move = run_.moves[index];
      if (move.movedBack || move.outcome == MoveOutcome::Failed) continue;
      if ((stopped = window_.StopRequested())) break;
      MoveBack(index);
      log_.FinishMoves(fileSystem_, PendingMoves::Due);
    }
    log_.FinishMoves(fileSystem_, PendingMoves::All);
    for (auto folder = run_.folders.rbegin(); !stopped && folder != run_.folders.rend(); ++folder) {
      if (!folder->removed) RemoveFolder(folder->path);
    }
    const UndoRunOutcome outcome{log_.FilesMoved(), log_.ErrorEntries(), stopped};
    log_.Add(std::to_string(outcome.filesMovedBack) + "files(s) moved back.", false);
    return outcome;
  }

 private:
  void Listed() {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    for (const auto& move : run_.moves) {
      if (move.movedBack) continue;
      ++files;
      bytes += move.stamp.size;
    }
    const bool copies =
        observer_->WantsBytes() && fileSystem_.MovesCopy(run_.root, run_.sourceFolder);
    observer_->Listed(files, copies ? bytes : 0);
  }

  // An undo across devices that was cut short may have left a song set aside in its artist
  // folder; back under its name, it is found there and reported, rather than left hidden.
  // A run across devices killed mid-group may have left sources set aside in its source folder:
  // back under their names first, they are found where the undo looks.
  void TidyArtistFolders() {
    if (!fileSystem_.MovesCopy(run_.root, run_.sourceFolder)) return;
    fileSystem_.PrepareRun(run_.sourceFolder, run_.root);
    std::set<std::string> folders;
    for (const auto& move : run_.moves) {
      if (!move.movedBack) folders.insert(fileSystem_.GetParentFolderName(move.destination));
    }
    for (const auto& folder : folders) fileSystem_.PrepareRun(folder, run_.sourceFolder);
  }

  void MoveBack(std::size_t index) {
    const JournaledMove& move = run_.moves[index];
    const auto now = fileSystem_.Stamp(move.destination);
    if (move.outcome == MoveOutcome::Unknown) {
      MoveBackUnknown(index, move, now);
    } else if (!now) {
      const auto back = fileSystem_.Stamp(move.source);
      if (back && SameSong(*back, move.stamp)) {  // put back by an undo that was cut short
        log_.AddMove(index, move.name, move.destination, move.source, std::error_code());
      } else {
        FileError("Error: " + Quoted(move.name) + " is gone from " + Quoted(move.destination));
      }
    } else if (!now->SameFileAs(move.stamp, fileSystem_.CoarsestTimeStep())) {
      FileError("Error: " + Quoted(move.name) + " changed since the run;" +
                LeftAt(move.destination));
    } else if (const auto folder = fileSystem_.GetParentFolderName(move.source);
               !SourceFolderExists(folder)) {
      FileError("Error: " + Quoted(folder) + " is gone; " + Quoted(move.name) +
                LeftAt(move.destination));
    } else {
      MoveBackInPlace(index, move);
    }
  }

  // A move journaled before it was made, whose end the journal never heard of (the run was killed
  // or lost power): both places tell what became of it. Its stamp is the source's before the move,
  // so only the size and time tell a copy across devices for the same song, its time as the
  // destination's file system keeps it.
  void MoveBackUnknown(std::size_t index, const JournaledMove& move,
                       const std::optional<FileStamp>& now) {
    const auto back = fileSystem_.Stamp(move.source);
    const auto step = fileSystem_.CoarsestTimeStep();
    if (!now && back) {  // never moved, or put back already: nothing to do
      if (observer_ != nullptr) observer_->Moved(index, move.name, move.destination, move.source);
    } else if (!now) {
      FileError("Error: " + Quoted(move.name) + " is gone from " + Quoted(move.source));
    } else if (!FileStamp{now->size, now->modified, 0}.SameFileAs(move.stamp, step)) {
      FileError("Error: " + Quoted(move.name) + " changed since the run;" +
                LeftAt(move.destination));
    } else if (!back) {
      MoveBackInPlace(index, move);
    } else if (LeftTwiceAndRemoved(move)) {
      log_.AddMove(index, move.name, move.destination, move.source, std::error_code());
    } else {
      FileError("Error: " + Quoted(move.source) + " is taken; " + Quoted(move.name) +
                LeftAt(move.destination));
    }
  }

  // Its old place is looked at only when the move fails: taken, perhaps by the song itself.
  void MoveBackInPlace(std::size_t index, const JournaledMove& move) {
    const auto started = fileSystem_.StartMove(move.destination, move.source, index);
    if (!started || !*started || !fileSystem_.PathExists(move.source)) {
      log_.AddMove(index, move.name, move.destination, move.source, started);
    } else if (LeftTwiceAndRemoved(move)) {  // by an undo cut short
      log_.AddMove(index, move.name, move.destination, move.source, std::error_code());
    } else {
      FileError("Error: " + Quoted(move.source) + " is taken; " + Quoted(move.name) +
                LeftAt(move.destination));
    }
  }

  // Most moves share one source folder: it is looked at once.
  bool SourceFolderExists(const std::string& folder) {
    if (folder != existingFolder_ && fileSystem_.FolderExists(folder)) existingFolder_ = folder;
    return existingFolder_ == folder;
  }

  // An undo cut short between the copy's publication and the removal of its original leaves the
  // song in both places; the one in the artist folder goes if the other is the same, byte for byte.
  bool LeftTwiceAndRemoved(const JournaledMove& move) {
    const auto back = fileSystem_.Stamp(move.source);
    return back && SameSong(*back, move.stamp) &&
           !fileSystem_.RemoveDuplicate(move.destination, move.source);
  }

  // Only an empty folder goes; one that holds anything, or is gone already, is no news.
  void RemoveFolder(const std::string& folder) {
    const auto failure = fileSystem_.RemoveFolder(folder);
    if (!failure) {
      log_.AddFolder("Directory " + Quoted(folder) + " Removed.", folder, false);
    } else if (failure == std::errc::no_such_file_or_directory) {
      if (observer_ != nullptr) observer_->FolderRemoved(folder);
    } else if (failure != std::errc::directory_not_empty && failure != std::errc::file_exists) {
      log_.Add("Error: Cannot remove directory " + Quoted(folder), true);
    }
  }

  void FileError(std::string entry) { log_.Add(std::move(entry), true, true); }

  RunWindow& window_;
  FileSystemObject& fileSystem_;
  const JournaledRun& run_;
  RunObserver* observer_;
  InOrderLog log_;
  std::optional<std::string> existingFolder_;
};

}  // namespace

UndoRunOutcome UndoRun(RunWindow& window, FileSystemObject& fileSystem, const JournaledRun& run,
                       RunObserver* observer) {
  const BusyPointer busy(window);
  window.Results().Clear();
  return UndoRunner(window, fileSystem, run, observer).Run();
}

}  // namespace pellorin
