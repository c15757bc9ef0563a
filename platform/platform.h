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
// Makes SIGINT, SIGTERM and SIGHUP (on Windows the console's Ctrl+C, Ctrl+Break, close, logoff
// and shutdown events) a request to stop that StopRequest reads; a second one ends the program at
// once. A write to a pipe whose reader went away fails with EPIPE rather than killing the program.
void CatchStopRequests();
// The request to stop so far: a signal's number (on Windows the console event's, plus one); 0 when
// there was none.
int StopRequest();
// What a program that stopped on that request exits with: 128 plus the signal's number on POSIX
// (130 for Ctrl+C), STATUS_CONTROL_C_EXIT (0xC000013A) on Windows, as for a console program that
// Ctrl+C ended.
int StoppedExitStatus(int request);
// The request as the user knows it: "SIGINT", "Ctrl+C".
std::string StopRequestName(int request);
// Major, minor and revision of the running program, e.g. "1.0.7".
std::string ProgramVersion();

}  // namespace pellorin::platform
