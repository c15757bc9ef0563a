#include "move_run.h"

#include <string>

#include "artist_rules.h"
#include "results_log.h"

namespace pellorin {
namespace {

// Shows the hourglass for as long as it lives, so the pointer comes back however the run ends.
class BusyPointer {
 public:
  explicit BusyPointer(RunWindow& window) : window_(window) {
    window_.SetMousePointer(MousePointer::Hourglass);
  }
  ~BusyPointer() { window_.SetMousePointer(MousePointer::Default); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  RunWindow& window_;
};

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  return quoted.append("\"").append(text).append("\"");
}

class MoveRunner {
 public:
  MoveRunner(RunWindow& window, FileSystemObject& fileSystem, std::string sourceFolder,
             std::string root)
      : window_(window),
        fileSystem_(fileSystem),
        sourceFolder_(std::move(sourceFolder)),
        root_(std::move(root)) {}

  void HandleFile(const std::string& enumeratedName) {
    const std::string_view name = TrimBlanks(enumeratedName);
    std::string artist = ArtistFromName(name);
    if (artist.empty()) {
      const std::string prompt =
          std::string("Please enter the artist for the following title:\r\n").append(name);
      artist = window_.InputBox(prompt, "Cannot find artist name.", name);
    }
    if (artist.empty()) {
      Error("Error: Cannot establish directory name for " + Quoted(enumeratedName));
      return;
    }
    const std::string folder = fileSystem_.BuildPath(root_, fileSystem_.FolderNameAsKept(artist));
    if (!MakeFolderReady(artist, folder)) return;

    const std::string source = fileSystem_.BuildPath(sourceFolder_, enumeratedName);
    const std::string destination = fileSystem_.BuildPath(folder, enumeratedName);
    if (fileSystem_.MoveFile(source, destination)) {
      Error("Error moving File " + Quoted(enumeratedName));
      return;
    }
    Entry("File " + Quoted(enumeratedName) + " moved.");
    ++outcome_.filesMoved;
  }

  void ListingFailed(std::string_view pattern) {
    Error("Error: Cannot list the files " + Quoted(pattern));
  }

  MoveRunOutcome Finish() {
    Entry(std::to_string(outcome_.filesMoved) + "files(s) moved.");
    return outcome_;
  }

 private:
  bool MakeFolderReady(const std::string& artist, const std::string& folder) {
    if (!fileSystem_.IsFolderName(artist)) {
      Error("Error: Cannot create directory " + Quoted(folder));
      return false;
    }
    if (fileSystem_.FolderExists(folder)) {
      Entry("Directory " + Quoted(folder) + " Exists.\r\n");
      return true;
    }
    if (fileSystem_.CreateFolder(folder)) {
      Error("Error: Cannot create directory " + Quoted(folder));
      return false;
    }
    Entry("Directory " + Quoted(folder) + " Created.");
    return true;
  }

  void Entry(std::string_view entry) { AppendResult(window_.Results(), entry); }
  void Error(std::string_view entry) {
    Entry(entry);
    ++outcome_.errorEntries;
  }

  RunWindow& window_;
  FileSystemObject& fileSystem_;
  const std::string sourceFolder_;
  const std::string root_;
  MoveRunOutcome outcome_{.inputsAccepted = true};
};

}  // namespace

MoveRunOutcome MoveRun(RunWindow& window, FileSystemObject& fileSystem, FileEnumeration& files) {
  const std::string pattern = window.PatternText();
  std::string sourceFolder = fileSystem.GetParentFolderName(pattern);
  if (!fileSystem.FolderExists(sourceFolder)) {
    window.ShowMessage("Invalid File Directory.");
    return {};
  }
  std::string root = window.RootText();
  if (!fileSystem.FolderExists(root)) {
    window.ShowMessage("Invalid Root Directory.");
    return {};
  }

  const BusyPointer busy(window);
  window.Results().Clear();
  fileSystem.PrepareRun(sourceFolder, root);
  MoveRunner runner(window, fileSystem, std::move(sourceFolder), std::move(root));
  std::string name;
  auto failure = files.First(pattern, name);
  while (!failure && !name.empty() && !window.StopRequested()) {
    runner.HandleFile(name);
    failure = files.Next(name);
  }
  if (failure) runner.ListingFailed(pattern);
  return runner.Finish();
}

}  // namespace pellorin
