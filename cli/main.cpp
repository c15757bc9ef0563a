// pellorin-move: one Move run from a terminal or a script, with the same checks, rules and log as
// the window's Move button; or the undo of such a run, from the journal it left.

#include <exception>
#include <iostream>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "platform/platform.h"
#include "platform/state_folder.h"

namespace {

using namespace pellorin;

void ShowHelp() {
  std::cout << cli::kUsage << "\n\n"
            << "Moves each file that matches PATTERN into a folder named after its artist\n"
            << "directly under ROOT.\n"
            << "PATTERN defaults to " << platform::DefaultPattern() << ", ROOT to "
            << platform::DefaultRootFolder() << ".\n\n"
            << "  --dry-run     print what would be done, change nothing\n"
            << "  --no-ask      never ask for an artist: such files stay where they are\n"
            << "  --tags        where a name gives no artist, take the one in the song's tags\n"
            << "                without asking (the question's default otherwise)\n"
            << "  --no-journal  keep no journal of the run: it cannot be undone\n"
            << "  --watch       file what matches, then each song that arrives once it is\n"
            << "                whole, until Ctrl+C; never asks\n"
            << "  --settle SECONDS  with --watch: how long a song must stay unchanged (3)\n"
            << "  --undo [RUN]  put back what the newest run not yet undone moved, or RUN\n"
            << "  --runs        list the runs that can be undone, newest first\n"
            << "  --progress    a status line on standard error, even when it is no terminal\n"
            << "  --no-progress no status line, even on a terminal\n"
            << "  --help        show this help\n"
            << "  --version     show the version\n"
            << "  --            end the options: a PATTERN or ROOT may then begin with \"-\"\n\n"
            << "Journals are kept in " << platform::StateFolder::DefaultPath() << ".\n"
            << "Ctrl+C (or SIGTERM, SIGHUP) stops between two files, with every move journaled;\n"
            << "a second Ctrl+C ends at once.\n"
            << "Exit status: 0 all went well, 1 some file could not be filed or put back,\n"
            << "2 a folder missing, no run to undo, a usage error, a log that could not be\n"
            << "written or an unexpected failure; 128 plus the signal's number when stopped\n"
            << "by one (130 for Ctrl+C).\n";
}

int Run(const cli::CommandLine& line) {
  const cli::TerminalStreams streams{
      .in = std::cin,
      .out = std::cout,
      .err = std::cerr,
      .outIsTerminal = platform::IsTerminal(platform::StandardStream::Output),
      .errIsTerminal = platform::IsTerminal(platform::StandardStream::Error)};
  if (line.runs) return cli::RunsCommand(streams);
  if (line.undo) return cli::UndoCommand(line, streams);
  if (line.watch) return cli::WatchCommand(line, streams);
  return cli::MoveCommand(line, streams);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  platform::PrepareStandardStreams();
  const auto utf8Arguments = platform::CommandLineArguments(argc, argv);
  const std::vector<std::string_view> arguments(utf8Arguments.begin(), utf8Arguments.end());
  const auto line = cli::ParseCommandLine(arguments);
  if (!line) {
    std::cerr << cli::kUsage << '\n';
    return cli::kRefused;
  }
  if (line->help) {
    ShowHelp();
    return cli::kNoErrors;
  }
  if (line->version) {
    std::cout << "pellorin-move " << platform::ProgramVersion() << '\n';
    return cli::kNoErrors;
  }
  platform::CatchStopRequests();
  try {
    return Run(*line);
  } catch (const std::exception& failure) {
    std::cout.flush();
    std::cerr << "pellorin-move: " << failure.what() << '\n';
    return cli::kRefused;
  }
}
