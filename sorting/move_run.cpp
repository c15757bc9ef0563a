#include "move_run.h"

#include <string>
#include <vector>

#include "artist_rules.h"
#include "in_order_log.h"

namespace pellorin {
namespace {

class MoveRunner {
 public:
  MoveRunner(RunWindow& window, FileSystemObject& fileSystem, std::string sourceFolder,
             std::string root, RunObserver* observer, ArtistSuggestionUse suggestions)
      : window_(window),
        fileSystem_(fileSystem),
        sourceFolder_(std::move(sourceFolder)),
        root_(std::move(root)),
        observer_(observer),
        suggestions_(suggestions),
        log_(window.Results(), observer, ForwardWording()) {}

  void Listed(FileEnumeration& files) {
    if (observer_ == nullptr) return;
    const bool bytes = observer_->WantsBytes() && fileSystem_.MovesCopy(sourceFolder_, root_);
    observer_->Listed(files.Count(), bytes ? files.TotalBytes() : 0);
  }

  void HandleFile(const std::string& enumeratedName) {
    const std::string_view name = TrimBlanks(enumeratedName);
    std::string artist = ArtistFromName(name);
    if (artist.empty()) artist = AskedOrSuggested(enumeratedName, name);
    if (artist.empty()) {
      FileError("Error: Cannot establish directory name for " + Quoted(enumeratedName));
      return;
    }
    const std::string kept = fileSystem_.FolderNameAsKept(artist);
    std::string folder = fileSystem_.BuildPath(root_, kept);
    if (!MakeFolderReady(artist, kept, folder)) return;

    const std::string source = fileSystem_.BuildPath(sourceFolder_, enumeratedName);
    const std::string destination = fileSystem_.BuildPath(folder, enumeratedName);
    const MoveTicket ticket = nextTicket_++;
    log_.AddMove(ticket, enumeratedName, source, destination,
                 fileSystem_.StartMove(source, destination, ticket));
  }

  void FinishMoves(PendingMoves which) { log_.FinishMoves(fileSystem_, which); }

  void ListingFailed(std::string_view pattern) {
    Error("Error: Cannot list the files " + Quoted(pattern));
  }

  MoveRunOutcome Finish() {
    FinishMoves(PendingMoves::All);
    outcome_.filesMoved = log_.FilesMoved();
    outcome_.errorEntries = log_.ErrorEntries();
    Entry(std::to_string(outcome_.filesMoved) + "files(s) moved.");
    return outcome_;
  }

 private:
  // The artist of a file whose name gives none: the suggestion, or what the user answers.
  std::string AskedOrSuggested(const std::string& enumeratedName, std::string_view name) {
    std::string suggested;
    if (suggestions_.suggestions != nullptr) {
      suggested = suggestions_.suggestions->SuggestArtist(
          fileSystem_.BuildPath(sourceFolder_, enumeratedName));
    }
    if (!suggested.empty() && suggestions_.withoutAsking) return suggested;
    // The user sees the log up to the question.
    FinishMoves(PendingMoves::All);
    std::string prompt = "Please enter the artist for the following title";
    if (!suggested.empty()) {
      prompt.append(" (the default is from ")
          .append(suggestions_.suggestions->Origin())
          .append(")");
    }
    prompt.append(":\r\n").append(name);
    return window_.InputBox(prompt, "Cannot find artist name.",
                            suggested.empty() ? name : std::string_view(suggested));
  }

  // The artist's folder, made if need be; an existing one spelled otherwise (its accents composed
  // on one system, decomposed on another) is the artist's too, and the song goes there. A folder
  // made is named in composed form.
  bool MakeFolderReady(const std::string& artist, const std::string& kept, std::string& folder) {
    if (!fileSystem_.IsFolderName(artist)) {
      FileError("Error: Cannot create directory " + Quoted(folder));
      return false;
    }
    bool exists = fileSystem_.FolderExists(folder);
    if (!exists) {
      const auto named = fileSystem_.BuildPath(root_, fileSystem_.FolderNameFor(root_, kept));
      if (named != folder) {
        folder = named;
        exists = fileSystem_.FolderExists(folder);
      }
    }
    if (exists) {
      Entry("Directory " + Quoted(folder) + " Exists.\r\n");
      return true;
    }
    if (fileSystem_.CreateFolder(folder)) {
      FileError("Error: Cannot create directory " + Quoted(folder));
      return false;
    }
    log_.AddFolder("Directory " + Quoted(folder) + " Created.", folder, true);
    return true;
  }

  void Entry(std::string entry) { log_.Add(std::move(entry), false); }
  void Error(std::string entry) { log_.Add(std::move(entry), true); }
  // An error that ends its file's handling.
  void FileError(std::string entry) { log_.Add(std::move(entry), true, true); }

  RunWindow& window_;
  FileSystemObject& fileSystem_;
  const std::string sourceFolder_;
  const std::string root_;
  RunObserver* observer_;
  const ArtistSuggestionUse suggestions_;
  InOrderLog log_;
  MoveTicket nextTicket_ = 0;
  MoveRunOutcome outcome_{.inputsAccepted = true};
};

}  // namespace

bool InputFoldersExist(RunWindow& window, const FileSystemObject& fileSystem) {
  if (!fileSystem.FolderExists(fileSystem.GetParentFolderName(window.PatternText()))) {
    window.ShowMessage("Invalid File Directory.");
    return false;
  }
  if (!fileSystem.FolderExists(window.RootText())) {
    window.ShowMessage("Invalid Root Directory.");
    return false;
  }
  return true;
}

MoveRunOutcome MoveRun(RunWindow& window, FileSystemObject& fileSystem, FileEnumeration& files,
                       RunObserver* observer, ArtistSuggestionUse suggestions) {
  if (!InputFoldersExist(window, fileSystem)) return {};
  const std::string pattern = window.PatternText();
  std::string sourceFolder = fileSystem.GetParentFolderName(pattern);
  std::string root = window.RootText();

  const BusyPointer busy(window);
  window.Results().Clear();
  fileSystem.PrepareRun(sourceFolder, root);
  MoveRunner runner(window, fileSystem, std::move(sourceFolder), std::move(root), observer,
                    suggestions);
  std::string name;
  auto failure = files.First(pattern, name);
  if (!failure) runner.Listed(files);
  while (!failure && !name.empty() && !window.StopRequested()) {
    runner.HandleFile(name);
    runner.FinishMoves(PendingMoves::Due);
    failure = files.Next(name);
  }
  if (failure) runner.ListingFailed(pattern);
  return runner.Finish();
}

}  // namespace pellorin
