#include "command_line.h"

namespace pellorin::cli {
namespace {

bool ApplyOption(std::string_view option, CommandLine& line) {
  if (option == "--dry-run") {
    line.dryRun = true;
  } else if (option == "--no-ask") {
    line.noAsk = true;
  } else if (option == "--help") {
    line.help = true;
  } else if (option == "--version") {
    line.version = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(std::span<const std::string_view> arguments) {
  CommandLine line;
  bool optionsEnded = false;
  for (const auto argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument.starts_with('-')) {
      if (!ApplyOption(argument, line)) return std::nullopt;
    } else if (!line.pattern) {
      line.pattern = std::string(argument);
    } else if (!line.root) {
      line.root = std::string(argument);
    } else {
      return std::nullopt;
    }
  }
  return line;
}

}  // namespace pellorin::cli
