// A console event that asks to stop only sets a flag, read between files; the run then ends as it
// always ends. Windows ends a program when its handler returns from a close, logoff or shutdown
// event, so the handler then waits for the program to end on its own (Windows allows it 5 s at a
// close). The journal is written ahead of every move, so a second Ctrl+C may end it at once.

#include <windows.h>

#include <atomic>

#include "platform/platform.h"
#include "stop_event.h"

namespace pellorin::platform {
namespace {

std::atomic<int> gRequest{0};
HANDLE gRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);  // set with the first request

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (gRequest.exchange(static_cast<int>(event) + 1) != 0) {
    ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  }
  ::SetEvent(gRequested);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

void CatchStopRequests() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int StopRequest() { return gRequest.load(); }

void* StopRequestEvent() { return gRequested; }

int StoppedExitStatus(int) { return static_cast<int>(STATUS_CONTROL_C_EXIT); }

std::string StopRequestName(int request) {
  switch (request - 1) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console's closing";
    case CTRL_LOGOFF_EVENT:
      return "a logoff";
    default:
      return "a shutdown";
  }
}

}  // namespace pellorin::platform
