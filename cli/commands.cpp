#include "commands.h"

#include <chrono>
#include <memory>
#include <optional>

#include "fan_out.h"
#include "journal.h"
#include "platform/platform.h"
#include "platform/state_folder.h"
#include "sorting/dry_run_file_system.h"
#include "sorting/move_run.h"
#include "sorting/undo_run.h"
#include "status_line.h"
#include "tags/tag_artist.h"
#include "terminal_text.h"

namespace pellorin::cli {
namespace {

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Writes out the log as each group of moves across devices retires, so that it keeps up.
class ShowAtGroupEnd final : public RunObserver {
 public:
  explicit ShowAtGroupEnd(TerminalLog& log) : log_(log) {}
  void GroupRetired() override { log_.Show(); }

 private:
  TerminalLog& log_;
};

// A status line on standard error, where the user wants one: by default when it is a terminal.
std::unique_ptr<StatusLine> Progress(const CommandLine& line, TerminalStreams streams,
                                     TerminalWindow& window, FanOut& observers) {
  if (!line.progress.value_or(streams.errIsTerminal)) return nullptr;
  auto status = std::make_unique<StatusLine>(streams.err);
  window.ShowProgress(*status);
  observers.Add(*status);
  return status;
}

// The file system the run works on: the disk itself, or a stand-in that only pretends.
struct RunDisk {
  explicit RunDisk(bool dryRun) : disk(platform::MakeFileSystem()) {
    if (dryRun) pretend = std::make_unique<DryRunFileSystem>(*disk);
  }
  FileSystemObject& Used() { return pretend ? *pretend : *disk; }

  std::unique_ptr<FileSystemObject> disk;
  std::unique_ptr<FileSystemObject> pretend;
};

std::optional<JournaledRun> RunToUndo(const platform::StateFolder& journals,
                                      const std::optional<std::string>& named) {
  if (named) return ReadJournaledRun(journals, *named);
  for (const auto& name : JournaledRunNames(journals)) {
    auto run = ReadJournaledRun(journals, name);
    if (run && !run->undone) return run;
  }
  return std::nullopt;
}

}  // namespace

int MoveCommand(const CommandLine& line, TerminalStreams streams) {
  TerminalWindow window(line.pattern.value_or(platform::DefaultPattern()),
                        line.root.value_or(platform::DefaultRootFolder()), streams, !line.noAsk);
  RunDisk disk(line.dryRun);
  const auto files = platform::MakeFileEnumeration();
  FanOut observers;
  ShowAtGroupEnd show(window.Results());
  observers.Add(show);

  const platform::StateFolder journals(platform::StateFolder::DefaultPath());
  std::optional<MoveJournal> journal;
  if (!line.dryRun && !line.noJournal) {
    JournaledRun run;
    run.startedAt = Now();
    run.pattern = window.PatternText();
    run.root = window.RootText();
    run.sourceFolder = disk.disk->GetParentFolderName(run.pattern);
    journal.emplace(journals, *disk.disk, run, streams.err);
    observers.Add(*journal);
    window.Results().BeforeShowing([&] { journal->Commit(); });
  }

  const auto status = Progress(line, streams, window, observers);
  // A song's tags suggest the artist where its name gives none; with --no-ask only --tags uses it.
  tags::TagArtists tagArtists;
  const ArtistSuggestionUse suggestions{
      .suggestions = line.tags || !line.noAsk ? &tagArtists : nullptr, .withoutAsking = line.tags};
  const auto outcome = MoveRun(window, disk.Used(), *files, &observers, suggestions);
  window.Results().Finish();
  if (!outcome.inputsAccepted) return kRefused;
  return outcome.errorEntries == 0 ? kNoErrors : kErrorEntries;
}

int UndoCommand(const CommandLine& line, TerminalStreams streams) {
  const platform::StateFolder journals(platform::StateFolder::DefaultPath());
  const auto run = RunToUndo(journals, line.run);
  if (!run) {
    streams.err << "pellorin-move: "
                << (line.run ? "no run named " + EscapedForTerminal(*line.run) : "no run to undo")
                << " in " << journals.Path() << '\n';
    return kRefused;
  }
  TerminalWindow window(run->pattern, run->root, streams, false);
  RunDisk disk(line.dryRun);
  FanOut observers;
  ShowAtGroupEnd show(window.Results());
  observers.Add(show);
  std::optional<UndoJournal> journal;
  if (!line.dryRun) {
    journal.emplace(journals, run->name, streams.err);
    observers.Add(*journal);
    window.Results().BeforeShowing([&] { journal->Commit(); });
  }

  streams.err << "Undoing " << run->name << ", " << run->moves.size() << " files moved on "
              << LocalTime(run->startedAt, "%Y-%m-%d %H:%M:%S") << '\n';
  const auto status = Progress(line, streams, window, observers);
  const auto outcome = UndoRun(window, disk.Used(), *run, &observers);
  if (journal) journal->Finish(Now());
  window.Results().Finish();
  return outcome.errorEntries == 0 ? kNoErrors : kErrorEntries;
}

int RunsCommand(TerminalStreams streams) {
  const platform::StateFolder journals(platform::StateFolder::DefaultPath());
  const auto shown = [&](std::string_view text) {
    return streams.outIsTerminal ? EscapedForTerminal(text) : std::string(text);
  };
  for (const auto& name : JournaledRunNames(journals)) {
    const auto run = ReadJournaledRun(journals, name);
    if (!run) {
      streams.out << shown(name) << "  (not a journal this version can read)\n";
      continue;
    }
    streams.out << shown(name) << "  " << LocalTime(run->startedAt, "%Y-%m-%d %H:%M:%S") << "  "
                << run->moves.size() << " files moved  " << shown(run->pattern) << "  "
                << shown(run->root) << (run->undone ? "  undone" : "") << '\n';
  }
  streams.out.flush();
  return kNoErrors;
}

}  // namespace pellorin::cli
