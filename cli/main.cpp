// pellorin-move: one Move run from a terminal or a script, with the same checks, rules and log as
// the window's Move button.

#include <exception>
#include <iostream>
#include <memory>
#include <vector>

#include "command_line.h"
#include "platform/platform.h"
#include "sorting/dry_run_file_system.h"
#include "sorting/move_run.h"
#include "terminal_window.h"

namespace {

constexpr int kNoErrors = 0;
constexpr int kErrorEntries = 1;
constexpr int kRefused = 2;

int Run(const pellorin::cli::CommandLine& line) {
  using namespace pellorin;
  const cli::TerminalStreams streams{
      .in = std::cin,
      .out = std::cout,
      .err = std::cerr,
      .outIsTerminal = platform::IsTerminal(platform::StandardStream::Output),
      .errIsTerminal = platform::IsTerminal(platform::StandardStream::Error)};
  cli::TerminalWindow window(line.pattern.value_or(platform::DefaultPattern()),
                             line.root.value_or(platform::DefaultRootFolder()), streams,
                             !line.noAsk);
  const auto disk = platform::MakeFileSystem();
  std::unique_ptr<FileSystemObject> dryRun;
  if (line.dryRun) dryRun = std::make_unique<DryRunFileSystem>(*disk);
  const auto files = platform::MakeFileEnumeration();

  const auto outcome = MoveRun(window, dryRun ? *dryRun : *disk, *files);
  window.Results().Finish();
  if (!outcome.inputsAccepted) return kRefused;
  return outcome.errorEntries == 0 ? kNoErrors : kErrorEntries;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  pellorin::platform::PrepareStandardStreams();
  const auto utf8Arguments = pellorin::platform::CommandLineArguments(argc, argv);
  const std::vector<std::string_view> arguments(utf8Arguments.begin(), utf8Arguments.end());
  const auto line = pellorin::cli::ParseCommandLine(arguments);
  if (!line) {
    std::cerr << pellorin::cli::kUsage << '\n';
    return kRefused;
  }
  if (line->help) {
    std::cout << pellorin::cli::kUsage << "\n\n"
              << "Moves each file that matches PATTERN into a folder named after its artist\n"
              << "directly under ROOT.\n"
              << "PATTERN defaults to " << pellorin::platform::DefaultPattern() << ", ROOT to "
              << pellorin::platform::DefaultRootFolder() << ".\n\n"
              << "  --dry-run  print what would be done, change nothing\n"
              << "  --no-ask   never ask for an artist: such files stay where they are\n"
              << "  --help     show this help\n"
              << "  --version  show the version\n"
              << "  --         end the options: a PATTERN or ROOT may then begin with \"-\"\n\n"
              << "Exit status: 0 all went well, 1 some file could not be filed, 2 a folder\n"
              << "missing, a usage error or an unexpected failure.\n";
    return kNoErrors;
  }
  if (line->version) {
    std::cout << "pellorin-move " << pellorin::platform::ProgramVersion() << '\n';
    return kNoErrors;
  }
  try {
    return Run(*line);
  } catch (const std::exception& failure) {
    std::cout.flush();
    std::cerr << "pellorin-move: " << failure.what() << '\n';
    return kRefused;
  }
}
