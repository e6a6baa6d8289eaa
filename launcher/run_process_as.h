// Starting a program as the user the calling thread acts for.
#pragma once

#include "win/processes.h"

// Starts applicationName (a full path) with commandLine (its arguments only) and, when
// wait is set, waits for it to end without a time-out. Returns true when the child was
// created.
//
// Who the child runs as depends on the calling thread: a thread of the system account, or
// one that does not impersonate, starts an ordinary child of this process (CreateProcessW,
// this process's environment); a thread impersonating a user starts the child with a
// primary token made from its thread token (CreateProcessAsUserW), with that user's
// environment. The child is hidden and inherits no handles; it starts in this process's
// current folder.
//
// With wait, the child's exit code is logged (trace) and its handles are closed:
// processInfo comes back cleared. Without it processInfo holds the child's handles and
// the caller closes them. Failures are logged ("RunProccesAs", "InventoryCommon") with the
// error code and the system's text for it. Never throws; any thread.
bool RunProccesAs(const WCHAR* applicationName, const WCHAR* commandLine, bool wait,
                  PROCESS_INFORMATION& processInfo);
