// Debugging aids, and ending the current process.
//
// Debug output: Windows hands OutputDebugString text to an attached debugger, and drops it
// otherwise. A Linux debugger has no such channel, so here the text goes
//   - to the file /path when the environment variable KAVREL_DEBUG_OUTPUT is
//     "file:/path" (a tool listening on this process and its children made the file; it is
//     opened for appending at each call and never created, a symbolic link is refused),
//   - to standard error when KAVREL_DEBUG_OUTPUT is any other value than "" or "0", or a
//     debugger is attached (IsDebuggerPresent), which shows the process's standard error.
// The variable is read on every call, so it can be switched while the process runs.
// Otherwise the text is dropped, as on Windows. Each call is one write(2) of the text as given,
// converted to UTF-8, with no newline added, so concurrent messages never interleave
// within one call's text.
//
// All functions here are safe to call from any thread, at any time including process exit.
#pragma once

#include "win/errors.h"
#include "win/types.h"

extern "C" {

// ---------------------------------------------------------------------------------------
// Debug output and debugger presence
// ---------------------------------------------------------------------------------------

KVWIN_API void OutputDebugStringW(LPCWSTR lpOutputString);
// Narrow text is taken as UTF-8 (the layer's narrow code page) and written unchanged.
KVWIN_API void OutputDebugStringA(LPCSTR lpOutputString);

// TRUE when a tracer (a debugger, strace) is attached: TracerPid in /proc/self/status is
// not 0. FALSE when it is 0 or the file cannot be read.
KVWIN_API BOOL IsDebuggerPresent(void);

// Raises SIGTRAP in the calling thread: a debugger stops there; with none attached the
// default action ends the process (with a core dump where enabled), as an unhandled
// breakpoint does on Windows.
KVWIN_API void DebugBreak(void);

// ---------------------------------------------------------------------------------------
// Ending the process
//
// Linux keeps only the low 8 bits of an exit code: a code above 255 is seen by a parent
// modulo 256.
// ---------------------------------------------------------------------------------------

// Ends the process at once with the exit code, when hProcess is the current-process
// pseudo-handle (GetCurrentProcess()): no atexit handler, no static destructor and no
// library unload code runs, and buffered stdio output is not flushed, as Windows kills the
// process without notifying its DLLs. Does not return then.
// A child's process handle (CreateProcessW) ends the child (SIGKILL); its exit code is then
// uExitCode. A child that has already ended gives ERROR_ACCESS_DENIED; any other handle
// ERROR_INVALID_HANDLE.
KVWIN_API BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode);

// Ends the process the orderly way: atexit handlers and static destructors run, which is
// where libraries run their unload code, and stdio is flushed. Does not return.
[[noreturn]] KVWIN_API void ExitProcess(UINT uExitCode);

}  // extern "C"
