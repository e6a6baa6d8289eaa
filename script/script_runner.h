// The script runner: one script run on a thread of its own, under a time limit and the
// session's cancellation event.
//
// The runner starts the script run (script/script_run.h) on a new thread and waits for the
// thread and the event "Local\ZorScriptEexecutionCancellationEvent" together, for at most
// the time limit. When the limit passes or the event is set, it interrupts the engine (if the
// run has one at that moment) and tells the run to stop at its next step. In every case it
// then joins the thread, however long the script takes to notice, and resets the event.
//
// The event is manual-reset and shared by every process of the logon session: any of them
// can cancel every script that is running in the session by setting it
// (CreateEventW(nullptr, TRUE, FALSE, name) and SetEvent). Each run resets it after its thread
// has ended, so an event set while no script runs cancels the next run at once.
//
// Thread safety: each call is independent; calls may run at once on several threads.
#pragma once

#include "win/oleauto.h"

inline constexpr const WCHAR* kScriptCancellationEventName =
    TEXT("Local\\ZorScriptEexecutionCancellationEvent");

// The time limit that means none.
inline constexpr DWORD kNoScriptTimeLimit = 0xFFFFFFFF;

// Runs functionName of scriptText (a script of scriptType) and leaves its return value in
// *result (which the caller has initialised empty). timeLimitMs counts from the thread's
// start; kNoScriptTimeLimit waits for the script's end or the event. Returns whether the
// function call succeeded uninterrupted; false also when the event cannot be made, in which
// case no script runs. Throws std::system_error when the thread cannot be started or joined.
bool RunScript(const WCHAR* scriptType, const WCHAR* scriptText, const WCHAR* functionName,
               VARIANT* result, DWORD timeLimitMs);
