// How a run is stopped before its scripts end: WScript.Quit, the time limit or Ctrl-C.
//
// The first stop wins and is kept: it raises the stop signal (which ends the waits a script
// started) and interrupts the engine, when the run has one, so the script stops at its next
// check (an engine looks at the interruption in loops and around every call into COM).
//
// Thread safety: any thread. The engine slot and the reason are guarded by one lock, so an
// interruption finds either the live engine or none; the engine is only asked to interrupt
// under that lock, which InterruptScriptThread allows from any thread.
#pragma once

#include <mutex>

#include "console.h"
#include "win/activscp.h"

enum class StopReason { None, Quit, TimeOut, Interrupt };

class RunControl {
  public:
    RunControl() = default;
    ~RunControl() { SetEngine(nullptr); }
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;

    // The engine to interrupt (a reference is kept), or none.
    void SetEngine(IActiveScript* engine);

    // Stops the run unless it was stopped already; true when this call stopped it.
    bool Stop(StopReason reason, int quitCode = 0);

    StopReason Reason() const;
    // WScript.Quit's code, when the reason is Quit.
    int QuitCode() const;

    const StopSignal& Signal() const { return signal_; }

  private:
    mutable std::mutex lock_;
    IActiveScript* engine_ = nullptr;
    StopReason reason_ = StopReason::None;
    int quitCode_ = 0;
    StopSignal signal_;
};
