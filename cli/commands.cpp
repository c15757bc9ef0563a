#include "commands.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "fan_out.h"
#include "journal/journal.h"
#include "journal/write_ahead.h"
#include "platform/platform.h"
#include "platform/state_folder.h"
#include "run_disk.h"
#include "sorting/dry_run_file_system.h"
#include "sorting/listed_file_enumeration.h"
#include "sorting/move_run.h"
#include "sorting/undo_run.h"
#include "status_line.h"
#include "tags/tag_artist.h"
#include "terminal_text.h"
#include "watch.h"

namespace pellorin::cli {
namespace {

using journal::JournaledRunNames;
using journal::LocalTime;
using journal::ReadJournaledRun;

std::int64_t Now() { return NowMilliseconds() / 1000; }

// A run or an undo that a signal or a lost log stopped says so in one line, and never exits 0.
int ExitStatus(int status, const TerminalWindow& window, std::ostream& err, std::int64_t filesMoved,
               const char* moved) {
  const auto request = platform::StopRequest();
  if (const auto failure = window.Log().Failure()) {
    err << "pellorin-move: stopped: the log could not be written (" << failure.message() << "); "
        << filesMoved << " files " << moved << '\n';
    return kRefused;
  }
  if (request == 0) return status;
  err << "pellorin-move: stopped by " << platform::StopRequestName(request) << "; " << filesMoved
      << " files " << moved << '\n';
  return platform::StoppedExitStatus(request);
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

std::optional<JournaledRun> RunToUndo(const platform::StateFolder& journals,
                                      const std::optional<std::string>& named) {
  if (named) return ReadJournaledRun(journals, *named);
  for (const auto& name : JournaledRunNames(journals)) {
    auto run = ReadJournaledRun(journals, name);
    if (run && !run->undone) return run;
  }
  return std::nullopt;
}

std::size_t Counted(const JournaledRun& run, MoveOutcome outcome) {
  return static_cast<std::size_t>(std::count_if(
      run.moves.begin(), run.moves.end(), [&](auto& move) { return move.outcome == outcome; }));
}

// Moves journaled whose end the journal never heard of may or may not have been made.
std::string MovedCount(const JournaledRun& run) {
  const auto perhaps = Counted(run, MoveOutcome::Unknown);
  return std::to_string(Counted(run, MoveOutcome::Moved)) + " files moved" +
         (perhaps == 0 ? "" : " (" + std::to_string(perhaps) + " more perhaps)");
}

std::string RunState(const JournaledRun& run) {
  if (run.undone) return "  undone";
  const std::string cut = run.ended ? "" : "  (cut short: journaled up to the stop)";
  if (!run.partlyUndone) return cut;
  return "  partly undone, " + std::to_string(run.StillOut()) + " files still out" + cut;
}

// A window for the runs of a watch: every run is one batch of songs, and only the watch as a whole
// ends with a count, so each run's closing count (always its last entry) is held back and dropped.
class BatchWindow final : public RunWindow, public ResultsBox {
 public:
  explicit BatchWindow(TerminalWindow& window) : window_(window) {}

  std::string PatternText() const override { return window_.PatternText(); }
  std::string RootText() const override { return window_.RootText(); }
  ResultsBox& Results() override { return *this; }
  void SetMousePointer(MousePointer) override {}
  void ShowMessage(std::string_view text) override { window_.ShowMessage(text); }
  std::string InputBox(std::string_view, std::string_view, std::string_view) override { return {}; }
  bool StopRequested() const override { return window_.StopRequested(); }

  bool IsEmpty() const override { return held_.empty() && window_.Results().IsEmpty(); }
  void Append(std::string_view text) override {
    if (!held_.empty()) window_.Results().Append(held_);
    held_ = text;
  }
  void Clear() override {}
  // The run is over: its count goes, and its last line is shown at once.
  void EndBatch() {
    held_.clear();
    window_.Results().EndLine();
  }

 private:
  TerminalWindow& window_;
  std::string held_;
};

const char* WatchEndText(WatchEnd end) {
  switch (end) {
    case WatchEnd::FolderGone:
      return "the folder watched is gone";
    case WatchEnd::RootGone:
      return "the root folder is gone";
    default:
      return nullptr;
  }
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
  JournaledDisk used(disk, window, journals, !line.dryRun && !line.noJournal, streams.err);
  const auto status = Progress(line, streams, window, observers);
  // A song's tags suggest the artist where its name gives none; with --no-ask only --tags uses it.
  tags::TagArtists tagArtists;
  const ArtistSuggestionUse suggestions{
      .suggestions = line.tags || !line.noAsk ? &tagArtists : nullptr, .withoutAsking = line.tags};
  const auto outcome = MoveRun(window, used.Used(), *files, &observers, suggestions);
  window.Results().Finish();
  if (!outcome.inputsAccepted) return kRefused;
  return ExitStatus(outcome.errorEntries == 0 ? kNoErrors : kErrorEntries, window, streams.err,
                    outcome.filesMoved, "moved");
}

int WatchCommand(const CommandLine& line, TerminalStreams streams) {
  TerminalWindow window(line.pattern.value_or(platform::DefaultPattern()),
                        line.root.value_or(platform::DefaultRootFolder()), streams, false);
  RunDisk disk(false);
  if (!InputFoldersExist(window, *disk.disk)) return kRefused;
  const platform::StateFolder journals(platform::StateFolder::DefaultPath());
  FanOut observers;
  ShowAtGroupEnd show(window.Results());
  observers.Add(show);
  const auto status = Progress(line, streams, window, observers);
  BatchWindow batches(window);
  std::int64_t filesMoved = 0, errorEntries = 0;
  // A watch never asks: the tags answer only with --tags.
  tags::TagArtists tagArtists;
  const ArtistSuggestionUse suggestions{.suggestions = line.tags ? &tagArtists : nullptr,
                                        .withoutAsking = true};

  // Each batch is a run of its own, with a journal of its own: an undo takes back the last batch.
  const auto fileBatch = [&](const std::vector<std::string>& names) {
    JournaledDisk used(disk, window, journals, !line.noJournal, streams.err);
    GivenFiles files(names);
    const auto outcome = MoveRun(batches, used.Used(), files, &observers, suggestions);
    batches.EndBatch();
    filesMoved += outcome.filesMoved;
    errorEntries += outcome.errorEntries;
    return !window.Log().Failure();
  };
  const auto showWaiting = [&](std::size_t songs) {
    if (status) status->Waiting(songs);
  };
  Watch watch(*disk.disk, window.PatternText(), window.RootText(),
              std::chrono::duration_cast<WatchClock::duration>(
                  std::chrono::duration<double>(line.settleSeconds)),
              streams.err);
  const auto end = watch.Run(fileBatch, showWaiting);
  AppendResult(window.Results(), std::to_string(filesMoved) + "files(s) moved.");
  window.Results().Finish();
  if (const char* why = WatchEndText(end)) {
    streams.err << "pellorin-move: " << why << "; " << filesMoved << " files moved\n";
    return kRefused;
  }
  if (window.Log().Failure())
    return ExitStatus(kNoErrors, window, streams.err, filesMoved, "moved");
  return kNoErrors;
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
  std::optional<journal::UndoJournal> journal;
  if (!line.dryRun) {
    journal.emplace(journals, run->name, streams.err);
    observers.Add(*journal);
    window.Results().BeforeShowing([&] { journal->Commit(); });
  }

  streams.err << "Undoing " << run->name << ", " << MovedCount(*run) << " on "
              << LocalTime(run->startedAt, "%Y-%m-%d %H:%M:%S") << '\n';
  const auto status = Progress(line, streams, window, observers);
  const auto outcome = UndoRun(window, disk.Used(), *run, &observers);
  if (journal) journal->Finish(Now(), outcome.PutEverythingBack());
  window.Results().Finish();
  return ExitStatus(outcome.errorEntries == 0 ? kNoErrors : kErrorEntries, window, streams.err,
                    outcome.filesMovedBack, "moved back");
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
                << MovedCount(*run) << "  " << shown(run->pattern) << "  " << shown(run->root)
                << RunState(*run) << '\n';
  }
  streams.out.flush();
  return kNoErrors;
}

}  // namespace pellorin::cli
