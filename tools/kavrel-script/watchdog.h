// The watchdog of a run: a thread that stops the run when its time limit passes or when the
// user presses Ctrl-C (SIGINT), and that ends the process when a stopped script does not
// stop (a script stuck in a call that never returns).
//
// While a watchdog lives, SIGINT is caught: the first one stops the run, the next one ends
// the process as usual. The previous handling comes back when the watchdog ends. One
// watchdog at a time per process.
//
// Thread safety: created and destroyed by one thread; its own thread touches only the run
// control (thread safe) and calls stuck().
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "run_control.h"

class Watchdog {
  public:
    // timeoutMs 0: no time limit. stuck runs on the watchdog's thread when a stopped run
    // has not ended within graceMs; it ends the process.
    Watchdog(RunControl& control, DWORD timeoutMs, std::function<void()> stuck,
             int graceMs = kStuckGraceMs);
    // Tells the thread the run has ended and joins it.
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    static constexpr int kStuckGraceMs = 5000;

  private:
    void Watch();

    RunControl& control_;
    const DWORD timeoutMs_;
    const std::function<void()> stuck_;
    const int graceMs_;
    int wake_[2] = {-1, -1};  // 'i': SIGINT arrived, 'e': the run has ended
    std::thread thread_;
};
