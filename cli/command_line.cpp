#include "command_line.h"

#include <vector>

namespace pellorin::cli {
namespace {

bool ApplyOption(std::string_view option, CommandLine& line) {
  if (option == "--dry-run") {
    line.dryRun = true;
  } else if (option == "--no-ask") {
    line.noAsk = true;
  } else if (option == "--tags") {
    line.tags = true;
  } else if (option == "--no-journal") {
    line.noJournal = true;
  } else if (option == "--undo") {
    line.undo = true;
  } else if (option == "--runs") {
    line.runs = true;
  } else if (option == "--progress" || option == "--no-progress") {
    line.progress = option == "--progress";
  } else if (option == "--help") {
    line.help = true;
  } else if (option == "--version") {
    line.version = true;
  } else {
    return false;
  }
  return true;
}

// A Move takes a pattern and a root, an undo at most the name of a run, a listing nothing.
bool TakeOperands(std::vector<std::string> operands, CommandLine& line) {
  if (line.runs) return operands.empty() && !line.undo;
  const std::size_t most = line.undo ? 1 : 2;
  if (operands.size() > most) return false;
  auto& first = line.undo ? line.run : line.pattern;
  if (!operands.empty()) first = std::move(operands[0]);
  if (operands.size() > 1) line.root = std::move(operands[1]);
  return true;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(std::span<const std::string_view> arguments) {
  CommandLine line;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (const auto argument : arguments) {
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && argument.starts_with('-')) {
      if (!ApplyOption(argument, line)) return std::nullopt;
    } else {
      operands.emplace_back(argument);
    }
  }
  if (!TakeOperands(std::move(operands), line)) return std::nullopt;
  return line;
}

}  // namespace pellorin::cli
