#include "watch_bench.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "results.h"
#include "support/temp_folder.h"

namespace pellorin::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr double kSettle = 1.0;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// pellorin-move with these arguments, its log to /dev/null, its journals in the workspace.
pid_t Start(const std::string& program, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), program);
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  if (posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    child = -1;
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

int Stop(pid_t child) {
  ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

// User and system time of a process so far, from /proc.
double ProcessorSeconds(pid_t child) {
  std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int at = 3; at <= 15 && fields >> field; ++at) {
    if (at >= 14) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

bool WaitUntilEmpty(const fs::path& folder, const std::string& extension, double seconds) {
  const auto start = Clock::now();
  const auto holdsSongs = [&] {
    return std::any_of(fs::directory_iterator(folder), fs::directory_iterator(),
                       [&](const auto& entry) { return entry.path().extension() == extension; });
  };
  while (holdsSongs()) {
    if (Since(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

struct Folders {
  explicit Folders(const fs::path& base) : temp(base, "pellorin-watch-bench-") {
    for (const auto* name : {"in", "root", "staged", "state"})
      fs::create_directory(temp.path() / name);
    ::setenv("XDG_STATE_HOME", (temp.path() / "state").c_str(), 1);
  }
  std::string Pattern() const { return (temp.path() / "in" / "*.mp3").string(); }
  std::string Root() const { return (temp.path() / "root").string(); }
  fs::path In() const { return temp.path() / "in"; }
  fs::path Staged() const { return temp.path() / "staged"; }
  testing::TempFolder temp;
};

void StageSongs(const Folders& folders, int count) {
  for (int song = 0; song < count; ++song) {
    testing::WriteFile(folders.Staged() / ("Artist " + std::to_string(song % 300) + " - Song " +
                                           std::to_string(song) + ".mp3"),
                       "song");
  }
}

void MoveStagedIn(const Folders& folders) {
  for (const auto& entry : fs::directory_iterator(folders.Staged())) {
    fs::rename(entry.path(), folders.In() / entry.path().filename());
  }
}

}  // namespace

int RunWatchBench(const WatchBenchOptions& options) {
  const std::string settle = std::to_string(kSettle);
  const int arrivals = options.smoke ? 3 : 20, burst = options.smoke ? 100 : 5'000;
  bool allGood = true;

  // One song at a time, written and closed: from its close until it is filed.
  std::vector<double> latencies;
  {
    const Folders folders(options.base);
    const pid_t watch =
        Start(options.program, {"--watch", "--settle", settle, folders.Pattern(), folders.Root()});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int song = 0; song < arrivals; ++song) {
      testing::WriteFile(folders.In() / ("Band - " + std::to_string(song) + ".mp3"), "song");
      const auto closed = Clock::now();
      allGood = WaitUntilEmpty(folders.In(), ".mp3", kSettle + 10) && allGood;
      latencies.push_back(Since(closed));
    }
    Stop(watch);
  }

  // A burst moved in at once, against one run over the same songs.
  double burstSeconds = 0, afterSettling = 0, runSeconds = 0;
  {
    const Folders folders(options.base);
    StageSongs(folders, burst);
    const pid_t watch =
        Start(options.program, {"--watch", "--settle", settle, folders.Pattern(), folders.Root()});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    MoveStagedIn(folders);
    const auto settled = Clock::now() + std::chrono::duration<double>(kSettle);
    allGood = WaitUntilEmpty(folders.In(), ".mp3", kSettle + 60) && allGood;
    burstSeconds = Since(start);
    afterSettling = std::chrono::duration<double>(Clock::now() - settled).count();
    Stop(watch);
  }
  {
    const Folders folders(options.base);
    StageSongs(folders, burst);
    MoveStagedIn(folders);
    const auto start = Clock::now();
    const pid_t run = Start(options.program, {folders.Pattern(), folders.Root()});
    int status = 0;
    ::waitpid(run, &status, 0);
    runSeconds = Since(start);
    allGood = WaitUntilEmpty(folders.In(), ".mp3", 0) && allGood;
  }

  // Waiting beside 2,000 files that do not match.
  double idleProcessor = 0;
  {
    const Folders folders(options.base);
    for (int other = 0; other < 2'000; ++other) {
      testing::WriteFile(folders.In() / ("notes " + std::to_string(other) + ".txt"), "text");
    }
    const pid_t watch =
        Start(options.program, {"--watch", "--settle", settle, folders.Pattern(), folders.Root()});
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double before = ProcessorSeconds(watch);
    std::this_thread::sleep_for(std::chrono::seconds(options.smoke ? 2 : options.idleSeconds));
    idleProcessor = ProcessorSeconds(watch) - before;
    Stop(watch);
  }

  std::sort(latencies.begin(), latencies.end());
  std::printf("watch, settle %.1f s, on %s\n", kSettle, options.base.c_str());
  std::printf("| what | figure |\n|:--|--:|\n");
  std::printf("| a song filed after its close (median of %d) | %.3f s |\n", arrivals,
              Median(latencies));
  std::printf("| the slowest of them | %.3f s |\n", latencies.back());
  std::printf("| %d songs moved in at once, all filed | %.3f s |\n", burst, burstSeconds);
  std::printf("| the same, from the moment the last of them settled | %.3f s |\n", afterSettling);
  std::printf("| one run over the same %d songs | %.3f s |\n", burst, runSeconds);
  std::printf("| processor time waiting %d s beside 2,000 other files | %.3f s |\n",
              options.smoke ? 2 : options.idleSeconds, idleProcessor);
  return allGood ? 0 : 1;
}

}  // namespace pellorin::bench
