#include "tags_table.h"

#include <cstdio>
#include <vector>

#include "contenders.h"
#include "results.h"

namespace pellorin::bench {

int RunTagsTable(const TagsOptions& options, ChildLauncher& launcher) {
  const MusicSample plain = MakeMusicSample(options.files);
  const MusicSample named = TagSample(plain, true);
  const MusicSample unnamed = TagSample(plain, false);
  const auto command = [&](std::vector<std::string> arguments) {
    return [&options, &launcher, arguments](const Workspace& workspace) {
      return RunCommand(workspace, launcher, options.program, options.keepLog, arguments);
    };
  };
  struct Way {
    const MusicSample& sample;
    Contender contender;
  };
  std::vector<Way> ways = {{named, {"names", command({})}},
                           {named, {"names --tags", command({"--tags"})}},
                           {unnamed, {"tags --tags", command({"--tags"})}}};

  bool allGood = true;
  for (int repetition = 0; repetition < options.repetitions; ++repetition) {
    for (auto& way : ways) {
      const Workspace workspace(options.base, way.sample);
      if (const auto problem = RunChecked(way.contender, way.sample, workspace); !problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", way.contender.name.c_str(), problem.c_str());
        allGood = false;
      }
    }
  }

  std::printf("songs: %zu of %zu bytes over %zu artists in %s (%s), repetitions: %d, medians\n\n",
              options.files, named.songs.front().size(), plain.artistCount, options.base.c_str(),
              FileSystemType(options.base).c_str(), options.repetitions);
  std::printf(
      "| way            |  median s |  µs/file | × names |\n"
      "|:---------------|----------:|---------:|--------:|\n");
  const double reference = MedianSeconds(ways.front().contender);
  for (const auto& way : ways) {
    const double seconds = MedianSeconds(way.contender);
    std::printf("| %-14s | %9.3f | %8.2f | %6.2fx |\n", way.contender.name.c_str(), seconds,
                seconds / static_cast<double>(options.files) * 1e6, seconds / reference);
  }
  return allGood ? 0 : 1;
}

}  // namespace pellorin::bench
