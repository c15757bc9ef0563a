#pragma once

// What the tables are made of: whether a run filed what it should, medians, and the machine.

#include <filesystem>
#include <string>
#include <vector>

#include "contenders.h"
#include "music_sample.h"

namespace pellorin::bench {

// Empty when the run filed every file of the sample, and logged each, as it should.
std::string CheckOutcome(const MusicSample& sample, const Workspace& workspace,
                         const RunResult& result);
// Runs the contender once on a workspace and keeps what the run gave; returns what it filed or
// logged wrong, or the failure it threw, empty when all was right.
std::string RunChecked(Contender& contender, const MusicSample& sample, const Workspace& workspace);
double Median(std::vector<double> values);
double MedianSeconds(const Contender& contender);
std::string FileSystemType(const std::filesystem::path& path);
std::string CpuModel();

}  // namespace pellorin::bench
