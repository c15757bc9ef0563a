#pragma once

// What the front ends get from the operating system, without seeing any of its headers.

#include <memory>
#include <string>
#include <vector>

#include "sorting/file_system.h"

namespace pellorin::platform {

std::unique_ptr<FileSystemObject> MakeFileSystem();
std::unique_ptr<FileEnumeration> MakeFileEnumeration();

// The texts the pattern and root boxes start with.
std::string DefaultPattern();
std::string DefaultRootFolder();

// The program's arguments after its name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Makes the standard streams carry UTF-8 bytes unchanged.
void PrepareStandardStreams();
enum class StandardStream { Output, Error };
// True when the stream goes to a terminal (a console on Windows), not to a file or a pipe.
bool IsTerminal(StandardStream stream);
// Major, minor and revision of the running program, e.g. "1.0.7".
std::string ProgramVersion();

}  // namespace pellorin::platform
