// pellorin-bench: how far each way of filing music is from the floor, the file system's own work.
//
//   for each size: for each repetition: for each contender: fresh workspace -> timed run ->
//     outcome checked on disk and in the log -> workspace removed
//   then one table of medians, each against the floor of its size
//
// Times are reported, never judged; the exit status says only whether every run filed every file
// and logged what it should.

#include <unistd.h>

#include <QApplication>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "contenders.h"
#include "cross_device.h"
#include "music_sample.h"
#include "results.h"
#include "tags_table.h"
#include "watch_bench.h"

namespace {

using namespace pellorin::bench;

struct Options {
  std::vector<std::size_t> sizes = {1'000, 10'000, 100'000};
  bool sizesGiven = false;
  int repetitions = 5;
  std::filesystem::path base = std::filesystem::temp_directory_path();
  bool baseGiven = false;
  std::string program = PELLORIN_MOVE;
  bool keepCommandLog = false;  // count pellorin-move's log instead of sending it to /dev/null
  std::string only;             // one contender beside the floor, for profiling
  bool crossDevice = false;     // the table across devices instead
  bool tags = false;            // the table of the tags instead
  std::chrono::microseconds flushWait{0};  // across devices: each flush waited for this long
  bool smoke = false;
  bool watch = false;  // the watch's figures instead
};

constexpr const char* kUsage =
    "usage: pellorin-bench [--sizes N,N,...] [--repetitions R] [--dir FOLDER]\n"
    "                      [--pellorin-move PATH] [--only RUN] [--smoke] [--cross-device]\n"
    "                      [--flush-wait MS] [--tags] [--watch]\n"
    "  --smoke         one repetition at 1,000 files, pellorin-move's log counted too\n"
    "  --only          the floor and one of MoveRun, pellorin-move, --no-journal, undo, window\n"
    "  --cross-device  200 files of 4 MiB and 1,000 of 256 KiB from /dev/shm onto an ext4\n"
    "                  image made in the --dir folder (else /dev/shm, where the loop device's\n"
    "                  flushes cost nothing) and mounted through a loop device (root);\n"
    "                  runs: per-file floor, group-commit floor (two ways), pellorin-move,\n"
    "                  MoveRun, --no-journal, undo, mv+sync, each with the flushes the loop\n"
    "                  device completed and its time priced at 10 ms and 1 ms a flush; with\n"
    "                  --smoke a tenth of the files, once\n"
    "  --watch         pellorin-move --watch: a song filed after its close, 5,000 moved in at\n"
    "                  once beside one run, processor time idle for a minute beside 2,000\n"
    "                  other files; in the --dir folder\n"
    "  --flush-wait MS across devices: each flush waited for MS ms (0.1 to 100) where it is made,\n"
    "                  instead of priced afterwards; the ways inside the benchmark only, with\n"
    "                  MoveRun, the core with the POSIX layer, standing for pellorin-move\n"
    "  --tags          4,000 tagged songs (the first of --sizes; with --smoke 1,000, once):\n"
    "                  pellorin-move over names that give the artist, the same with --tags,\n"
    "                  and --tags over names that give none, so that every artist comes from\n"
    "                  the tags\n";

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
      options.smoke = true;
    } else if (option == "--watch") {
      options.watch = true;
    } else if (option == "--cross-device") {
      options.crossDevice = true;
    } else if (option == "--tags") {
      options.tags = true;
    } else if (option == "--flush-wait" && hasValue) {
      const double milliseconds = std::atof(argv[++at]);
      if (!(milliseconds >= 0.1 && milliseconds <= 100)) return std::nullopt;
      options.flushWait = std::chrono::microseconds(std::lround(milliseconds * 1000));
    } else if (option == "--sizes" && hasValue) {
      auto sizes = Sizes(argv[++at]);
      if (!sizes) return std::nullopt;
      options.sizes = std::move(*sizes);
      options.sizesGiven = true;
    } else if (option == "--repetitions" && hasValue) {
      const auto repetitions = Number(argv[++at]);
      if (!repetitions || *repetitions > 100) return std::nullopt;
      options.repetitions = static_cast<int>(*repetitions);
    } else if (option == "--dir" && hasValue) {
      options.base = argv[++at];
      options.baseGiven = true;
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

double MedianPeakMiB(const Contender& contender) {
  std::vector<double> peaks;
  for (const auto& result : contender.results)
    peaks.push_back(static_cast<double>(result.peakRssKiB) / 1024.0);
  return Median(peaks);
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
    if (const auto problem = RunChecked(contender, sample, workspace); !problem.empty()) {
      std::fprintf(stderr, "%s at %zu files: %s\n", contender.name.c_str(), sample.names.size(),
                   problem.c_str());
      allGood = false;
    }
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
      {"--no-journal",
       [&options, &launcher](const Workspace& workspace) {
         return RunCommand(workspace, launcher, options.program, options.keepCommandLog,
                           {"--no-journal"});
       }},
      {"undo",
       [&options, &launcher](const Workspace& workspace) {
         return RunCommand(workspace, launcher, options.program, options.keepCommandLog,
                           {"--undo"});
       },
       {},
       [&options, &launcher](const Workspace& workspace) {
         return RunCommand(workspace, launcher, options.program, false);
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
  if (options->watch) {
    return RunWatchBench(
        {.base = options->base, .program = options->program, .smoke = options->smoke});
  }
  if (options->crossDevice) {
    return RunCrossDeviceTable(
        {.repetitions = options->repetitions,
         .imageFolder = options->baseGiven ? options->base : kDefaultImageFolder,
         .program = options->program,
         .only = options->only,
         .smoke = options->smoke,
         .flushWait = options->flushWait},
        launcher);
  }
  if (options->tags) {
    const bool sized = options->sizesGiven || options->smoke;
    return RunTagsTable({.files = sized ? options->sizes.front() : 4'000,
                         .repetitions = options->repetitions,
                         .base = options->base,
                         .program = options->program,
                         .keepLog = options->keepCommandLog},
                        launcher);
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
