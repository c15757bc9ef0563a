#pragma once

// Holds back every thread but the run's own until the run's thread has made no system call for
// 50 ms: by then it waits for the writer to take the group it closed, or it is done. So a test
// meets the most groups in flight that the layer allows, however fast the machine; a thread held
// back too little only makes for another order of the same calls.

#include <atomic>
#include <chrono>
#include <thread>

namespace pellorin::testing {

class RunGoesFirst {  // made on the run's thread
 public:
  void AtCall() {
    if (std::this_thread::get_id() == run_) {
      lastRunCall_ = Clock::now().time_since_epoch();
      return;
    }
    while (Clock::now().time_since_epoch() - lastRunCall_.load() < std::chrono::milliseconds(50)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  const std::thread::id run_ = std::this_thread::get_id();
  std::atomic<Clock::duration> lastRunCall_{};
};

}  // namespace pellorin::testing
