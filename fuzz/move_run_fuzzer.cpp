// Whole Move runs over the in-memory disk: the fuzzer picks the file names, the folders and
// files already under the root, the input box's answers and which file-system calls fail. The
// run oracle judges every run; a broken promise stops the fuzzer with the oracle's findings.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "run_oracle.h"
#include "sorting/move_run.h"
#include "support/faulty_file_system.h"
#include "support/memory_file_system.h"
#include "support/reference_rules.h"
#include "support/scripted_window.h"

namespace {

using namespace pellorin;

// A name for a file directly in a folder of the in-memory disk: no separator, not empty.
std::string FileName(FuzzedDataProvider& input) {
  std::string name = input.ConsumeRandomLengthString(40);
  std::erase(name, '\\');
  return name.empty() ? "x" : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  testing::MemoryFileSystem disk;
  disk.folders = {"c:", "c:\\in", "c:\\root"};
  testing::ScriptedWindow window;
  window.pattern = "c:\\in\\*";
  window.root = input.ConsumeBool() ? "c:\\root" : "c:\\root\\";

  const int files = input.ConsumeIntegralInRange(0, 12);
  for (int i = 0; i < files; ++i) {
    const std::string name = FileName(input);
    disk.files["c:\\in\\" + name] = name + "#" + std::to_string(i);
    const std::string artist = reference::Artist(reference::Trim(name));
    if (!artist.empty() && input.ConsumeBool() && disk.IsFolderName(artist)) {
      disk.folders.insert("c:\\root\\" + artist);
      if (input.ConsumeBool()) disk.files["c:\\root\\" + artist + "\\" + name] = "older";
    }
  }
  testing::RunRecord run;
  run.pattern = window.pattern;
  run.sourceFolder = "c:\\in";
  run.root = window.root;
  std::string name;
  for (disk.First(window.pattern, name); !name.empty(); disk.Next(name)) {
    run.offered.push_back(name);
    if (reference::Artist(reference::Trim(name)).empty()) {
      run.answers.push_back(input.ConsumeRandomLengthString(12));
    }
  }
  window.answers = run.answers;
  run.before = {disk.files, disk.folders};
  run.logBefore = window.results.text = input.ConsumeBool() ? "typed" : "";

  const auto failures = input.ConsumeIntegral<std::uint64_t>();
  int call = 0;
  testing::FaultyFileSystem faulty(disk, disk, [&](testing::FileCall, std::string_view) {
    const bool fails = call < 64 && ((failures >> call) & 1) != 0;
    ++call;
    return fails ? std::make_error_code(std::errc::io_error) : std::error_code();
  });
  run.outcome = MoveRun(window, faulty, faulty);
  run.after = {disk.files, disk.folders};
  run.log = window.results.text;

  const auto verdict = testing::JudgeRun(run, disk);
  if (!verdict.problems.empty()) {
    for (const auto& problem : verdict.problems) std::fprintf(stderr, "%s\n", problem.c_str());
    __builtin_trap();
  }
  return 0;
}
