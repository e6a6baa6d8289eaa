// The timed re-read of the log's configuration, without a clock read on the calls the gate
// rejects.
//
// A thread of the log's own sleeps a re-read period at a time; each time it wakes it marks
// the re-read due and opens the gate (log/log_gate.h), so the next call of any level goes to
// the log object, which reads the registry again and closes the gate behind it. A rejected
// call therefore costs a few loads, and a configuration changed without announcement (no
// generation bump: another tool, an edit of the registry store) is still seen within one
// period plus the time to the next call.
//
// The log object starts the thread once the process has used the log for a while (see
// EventLog::TimerWanted); until then the gate stays open. The thread belongs to the process
// that started it. The child of a fork has none: the fork opens the child's gate, and the
// child's calls into the log object start the child's own thread by the same rule. Where no thread
// can be made, the gate stays open and the log object falls back to reading the clock on every
// call.
//
// Thread safety: EnsureRefreshTimer and StopRefreshTimer may be called from any thread; they
// serialise on a lock of their own. The thread touches only static storage (the gate's
// atomics), so a call that comes while the log object is torn down finds nothing gone.
#pragma once

#include <cstdint>

namespace log_detail {

// Whether this process has a running timer thread; starts one when it has none and none was
// tried in this process yet. False when the thread could not be made or has been stopped.
bool EnsureRefreshTimer() noexcept;

// Whether the timer thread of this process is running (one load; no start).
bool RefreshTimerRunning() noexcept;

// Stops and joins this process's timer thread, if any (the log object's teardown). A later
// EnsureRefreshTimer starts none.
void StopRefreshTimer() noexcept;

// The period in milliseconds (at least 1); tests shorten it. A running thread is woken to
// take it up. Not while the log object is being torn down.
void SetRefreshPeriodMs(uint32_t milliseconds) noexcept;
uint32_t RefreshPeriodMs() noexcept;

}  // namespace log_detail
