#include "command_line.h"

#include <charconv>
#include <cmath>
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
  } else if (option == "--watch") {
    line.watch = true;
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

// A number of seconds from a tenth of a second to a day.
bool TakeSettle(std::string_view text, CommandLine& line) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds) ||
      seconds < 0.1 || seconds > 86400) {
    return false;
  }
  line.settleSeconds = seconds;
  return true;
}

// A Move (or a watch) takes a pattern and a root, an undo at most the name of a run, a listing
// nothing; a watch neither pretends nor undoes.
bool TakeOperands(std::vector<std::string> operands, CommandLine& line) {
  if (line.watch && (line.undo || line.runs || line.dryRun)) return false;
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
  bool settleGiven = false;
  for (std::size_t at = 0; at < arguments.size(); ++at) {
    const auto argument = arguments[at];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "--settle" || argument.starts_with("--settle="))) {
      const bool joined = argument != "--settle";
      if (!joined && ++at == arguments.size()) return std::nullopt;
      if (!TakeSettle(joined ? argument.substr(9) : arguments[at], line)) return std::nullopt;
      settleGiven = true;
    } else if (!optionsEnded && argument.starts_with('-')) {
      if (!ApplyOption(argument, line)) return std::nullopt;
    } else {
      operands.emplace_back(argument);
    }
  }
  if (settleGiven && !line.watch) return std::nullopt;
  if (!TakeOperands(std::move(operands), line)) return std::nullopt;
  return line;
}

}  // namespace pellorin::cli
