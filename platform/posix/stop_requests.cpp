// A signal that asks to stop only sets a flag, read between files; the run then ends as it always
// ends. Nothing else is safe in a handler, and nothing else is needed: the journal is written
// ahead of every move, so the second signal may end the program where it stands.

#include <signal.h>

#include <atomic>

#include "platform/platform.h"

namespace pellorin::platform {
namespace {

std::atomic<int> gRequest{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int number) {
  if (gRequest.exchange(number) == 0) return;
  ::signal(number, SIG_DFL);
  ::raise(number);  // delivered as the handler returns
}

}  // namespace

void CatchStopRequests() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(number, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

int StopRequest() { return gRequest.load(); }

int StoppedExitStatus(int request) { return 128 + request; }

std::string StopRequestName(int request) {
  switch (request) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(request);
  }
}

}  // namespace pellorin::platform
