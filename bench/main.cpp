// pellorin-bench: how far each way of filing music is from the floor, the file system's own work.
//
//   for each size: for each repetition: for each contender: fresh workspace -> timed run ->
//     outcome checked on disk and in the log -> workspace removed
//   then one table of medians, each against the floor of its size
//
// Times are reported, never judged; the exit status says only whether every run filed every file
// and logged what it should.

#include <sys/statfs.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "contenders.h"
#include "music_sample.h"

namespace {

using namespace pellorin::bench;

struct Options {
  std::vector<std::size_t> sizes = {1'000, 10'000, 100'000};
  int repetitions = 5;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  std::string program = PELLORIN_MOVE;
  bool keepCommandLog = false;  // count pellorin-move's log instead of sending it to /dev/null
  std::string only;             // one contender beside the floor, for profiling
};

constexpr const char* kUsage =
    "usage: pellorin-bench [--sizes N,N,...] [--repetitions R] [--dir FOLDER]\n"
    "                      [--pellorin-move PATH] [--only RUN] [--smoke]\n"
    "  --smoke  one repetition at 1,000 files, pellorin-move's log counted too\n"
    "  --only   the floor and one of MoveRun, pellorin-move, window (for profiling)\n";

std::optional<std::size_t> Number(std::string_view text) {
  std::size_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

std::optional<std::vector<std::size_t>> Sizes(std::string_view text) {
  std::vector<std::size_t> sizes;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const auto size = Number(text.substr(0, comma));
    if (!size) return std::nullopt;
    sizes.push_back(*size);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  if (sizes.empty()) return std::nullopt;
  return sizes;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int at = 1; at < argc; ++at) {
    const std::string_view option = argv[at];
    const bool hasValue = at + 1 < argc;
    if (option == "--smoke") {
      options.sizes = {1'000};
      options.repetitions = 1;
      options.keepCommandLog = true;
    } else if (option == "--sizes" && hasValue) {
      auto sizes = Sizes(argv[++at]);
      if (!sizes) return std::nullopt;
      options.sizes = std::move(*sizes);
    } else if (option == "--repetitions" && hasValue) {
      const auto repetitions = Number(argv[++at]);
      if (!repetitions || *repetitions > 100) return std::nullopt;
      options.repetitions = static_cast<int>(*repetitions);
    } else if (option == "--dir" && hasValue) {
      options.base = argv[++at];
    } else if (option == "--only" && hasValue) {
      options.only = argv[++at];
    } else if (option == "--pellorin-move" && hasValue) {
      options.program = argv[++at];
    } else {
      return std::nullopt;
    }
  }
  return options;
}

struct Contender {
  std::string name;
  std::function<RunResult(const Workspace&)> run;
  std::vector<RunResult> results{};
};

// What every run must leave: each file filed under its artist, the library holding nothing else,
// and, where the log was seen, one directory and one file entry per file (with the empty line
// that follows each "Exists." entry) and the closing count.
std::string CheckOutcome(const MusicSample& sample, const Workspace& workspace,
                         const RunResult& result) {
  if (!result.failure.empty()) return result.failure;
  const auto filed = Inspect(workspace);
  const std::size_t files = sample.names.size();
  if (filed.leftBehind != 0) return std::to_string(filed.leftBehind) + " files left behind";
  if (filed.filedFiles != files || filed.artistFolders != sample.artistCount ||
      filed.strayEntries != 0) {
    return std::to_string(filed.filedFiles) + " files in " + std::to_string(filed.artistFolders) +
           " folders (" + std::to_string(filed.strayEntries) + " stray), expected " +
           std::to_string(files) + " in " + std::to_string(sample.artistCount);
  }
  if (!result.logSeen) return {};
  const std::size_t lines = 3 * files + 1 - sample.artistCount;
  if (result.logLines != lines) {
    return "log of " + std::to_string(result.logLines) + " lines, expected " +
           std::to_string(lines);
  }
  const std::string closing = std::to_string(files) + "files(s) moved.";
  if (result.lastLogLine != closing) return "log ends \"" + result.lastLogLine + "\"";
  return {};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double MedianSeconds(const Contender& contender) {
  std::vector<double> seconds;
  for (const auto& result : contender.results) seconds.push_back(result.seconds);
  return Median(seconds);
}

double MedianPeakMiB(const Contender& contender) {
  std::vector<double> peaks;
  for (const auto& result : contender.results)
    peaks.push_back(static_cast<double>(result.peakRssKiB) / 1024.0);
  return Median(peaks);
}

std::string FileSystemType(const std::filesystem::path& path) {
  struct statfs info {};
  if (::statfs(path.c_str(), &info) != 0) return "unknown";
  switch (info.f_type) {
    case 0xEF53:
      return "ext2/3/4";
    case 0x01021994:
      return "tmpfs";
    case 0x58465342:
      return "xfs";
    case 0x9123683E:
      return "btrfs";
    case 0x794C7630:
      return "overlayfs";
    default: {
      char hex[24];
      std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(info.f_type));
      return hex;
    }
  }
}

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.starts_with("model name")) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

void PrintMachine(const Options& options) {
  double load[3] = {};
  ::getloadavg(load, 3);
  std::printf(
      "machine: %ld cores, %s\ntemporary folders: %s (%s)\nload average at the end: %.2f "
      "%.2f %.2f\nrepetitions: %d, medians shown\n\n",
      ::sysconf(_SC_NPROCESSORS_ONLN), CpuModel().c_str(), options.base.c_str(),
      FileSystemType(options.base).c_str(), load[0], load[1], load[2], options.repetitions);
}

struct SizeResults {
  std::size_t files;
  std::vector<Contender> contenders;
};

double MicrosecondsPerFile(const SizeResults& size, const Contender& contender) {
  return MedianSeconds(contender) / static_cast<double>(size.files) * 1e6;
}

void PrintTable(const std::vector<SizeResults>& sizes) {
  std::printf(
      "|   files | run            |  median s |  µs/file | × floor |  peak RSS |\n"
      "|--------:|:---------------|----------:|---------:|--------:|----------:|\n");
  for (const auto& size : sizes) {
    const double floor = MedianSeconds(size.contenders.front());
    for (const auto& contender : size.contenders) {
      const double seconds = MedianSeconds(contender);
      const double peak = MedianPeakMiB(contender);
      char peakText[32] = "";
      if (peak > 0) std::snprintf(peakText, sizeof peakText, "%.1f MiB", peak);
      std::printf("| %7zu | %-14s | %9.3f | %8.2f | %6.2fx | %9s |\n", size.files,
                  contender.name.c_str(), seconds, MicrosecondsPerFile(size, contender),
                  seconds / floor, peakText);
    }
  }
}

// Whether a run slows down as it grows: its time per file at each size against the size before.
void PrintGrowth(const std::vector<SizeResults>& sizes) {
  for (std::size_t at = 1; at < sizes.size(); ++at) {
    std::printf("\ntime per file at %zu files against %zu:", sizes[at].files, sizes[at - 1].files);
    for (std::size_t run = 0; run < sizes[at].contenders.size(); ++run) {
      const auto& contender = sizes[at].contenders[run];
      std::printf(" %s %.2fx%s", contender.name.c_str(),
                  MicrosecondsPerFile(sizes[at], contender) /
                      MicrosecondsPerFile(sizes[at - 1], sizes[at - 1].contenders[run]),
                  run + 1 < sizes[at].contenders.size() ? "," : "");
    }
  }
  std::printf("\n");
}

// One repetition of one size: every contender on its own fresh copy of the same files.
bool RunRound(const Options& options, const MusicSample& sample,
              std::vector<Contender>& contenders) {
  bool allGood = true;
  for (auto& contender : contenders) {
    const Workspace workspace(options.base, sample);
    RunResult result;
    try {
      result = contender.run(workspace);
    } catch (const std::exception& failure) {
      result.failure = failure.what();
    }
    if (const auto problem = CheckOutcome(sample, workspace, result); !problem.empty()) {
      std::fprintf(stderr, "%s at %zu files: %s\n", contender.name.c_str(), sample.names.size(),
                   problem.c_str());
      allGood = false;
    }
    contender.results.push_back(result);
  }
  return allGood;
}

std::vector<Contender> MakeContenders(const Options& options, ChildLauncher& launcher) {
  std::vector<Contender> contenders = {
      {"floor", RunFloor},
      {"MoveRun", RunCore},
      {"pellorin-move",
       [&options, &launcher](const Workspace& workspace) {
         return RunCommand(workspace, launcher, options.program, options.keepCommandLog);
       }},
      {"window", RunWindow},
  };
  // The floor always runs: every other figure is read against it.
  std::erase_if(contenders, [&options](const Contender& contender) {
    return !options.only.empty() && contender.name != "floor" && contender.name != options.only;
  });
  return contenders;
}

}  // namespace

int main(int argc, char** argv) {
  ChildLauncher launcher;  // first, while this process is still small
  const auto options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << kUsage;
    return 2;
  }
  if (std::error_code ignored; !std::filesystem::is_directory(options->base, ignored)) {
    std::cerr << "pellorin-bench: no folder " << options->base << " for the copies\n";
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  Q_INIT_RESOURCE(pellorin);

  bool allGood = true;
  std::vector<SizeResults> sizes;
  for (const std::size_t files : options->sizes) {
    const MusicSample sample = MakeMusicSample(files);
    SizeResults size{files, MakeContenders(*options, launcher)};
    for (int repetition = 0; repetition < options->repetitions; ++repetition) {
      allGood = RunRound(*options, sample, size.contenders) && allGood;
    }
    std::fprintf(stderr, "%zu files over %zu artists done\n", files, sample.artistCount);
    sizes.push_back(std::move(size));
  }

  PrintMachine(*options);
  PrintTable(sizes);
  PrintGrowth(sizes);
  return allGood ? 0 : 1;
}
