#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pellorin::cli {

inline constexpr std::string_view kUsage =
    "usage: pellorin-move [--dry-run] [--no-ask] [--tags] [--no-journal] [--[no-]progress]\n"
    "                     [--] [PATTERN [ROOT]]\n"
    "       pellorin-move --watch [--settle SECONDS] [--tags] [--no-journal] [--[no-]progress]\n"
    "                     [--] [PATTERN [ROOT]]\n"
    "       pellorin-move --undo [--dry-run] [--[no-]progress] [RUN]\n"
    "       pellorin-move --runs\n"
    "       pellorin-move --help | --version";

struct CommandLine {
  bool dryRun = false;
  bool noAsk = false;
  bool tags = false;  // the artist in a song's tags is taken without asking
  bool noJournal = false;
  bool undo = false;
  bool runs = false;
  bool watch = false;
  double settleSeconds = 3;  // with --watch: how long a song must stay unchanged to be filed
  bool help = false;
  bool version = false;
  std::optional<bool> progress;  // a status line on standard error; by default on a terminal
  std::optional<std::string> pattern;
  std::optional<std::string> root;
  std::optional<std::string> run;  // with --undo: the run to undo
};

// The options and operands after the program name; nothing when they do not fit the usage.
// "--" ends the options, so a pattern or root that begins with "-" can still be given.
std::optional<CommandLine> ParseCommandLine(std::span<const std::string_view> arguments);

}  // namespace pellorin::cli
