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
#include "sorting/dry_run_file_system.h"
#include "sorting/move_run.h"
#include "sorting/undo_run.h"
#include "status_line.h"
#include "terminal_text.h"

namespace pellorin::cli {
namespace {

using journal::JournaledRunNames;
using journal::LocalTime;
using journal::ReadJournaledRun;

std::int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
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
  std::optional<journal::RunJournal> journal;
  std::optional<journal::WriteAheadFileSystem> ahead;
  if (!line.dryRun && !line.noJournal) {
    JournaledRun run;
    run.startedAtMilliseconds = NowMilliseconds();
    run.startedAt = run.startedAtMilliseconds / 1000;
    run.pattern = window.PatternText();
    run.root = window.RootText();
    run.sourceFolder = disk.disk->GetParentFolderName(run.pattern);
    journal.emplace(journals, run, streams.err);
    ahead.emplace(*disk.disk, *journal);
    window.StopWhen([&] { return ahead->JournalFailed(); });
    // The outcomes the log shows are in the file, for an undo to read.
    window.Results().BeforeShowing([&] { ahead->WriteJournal(); });
  }

  const auto status = Progress(line, streams, window, observers);
  const auto outcome = MoveRun(window, ahead ? *ahead : disk.Used(), *files, &observers);
  window.Results().Finish();
  if (!outcome.inputsAccepted) return kRefused;
  return ExitStatus(outcome.errorEntries == 0 ? kNoErrors : kErrorEntries, window, streams.err,
                    outcome.filesMoved, "moved");
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
