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
double Median(std::vector<double> values);
double MedianSeconds(const Contender& contender);
std::string FileSystemType(const std::filesystem::path& path);
std::string CpuModel();

}  // namespace pellorin::bench
