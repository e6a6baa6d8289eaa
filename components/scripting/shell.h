// WScript.Shell's program starting, shared between the shell object and its Exec object.
#pragma once

#include <string>

#include "kvwin/dispatch_object.h"
#include "scripting.h"

namespace kvscripting {

// Starts a command line (the program is its first word, found as CreateProcessW finds it).
// With `wait`, waits for the program to end and gives its exit code; otherwise 0.
// Returns the Win32 failure as an HRESULT.
HRESULT RunProgram(const std::u16string& command, bool wait, DWORD& exit_code);

// Starts a command line with its output and error streams captured and returns the
// WshScriptExec object for it in call.Result(); a failure is recorded on call.
HRESULT StartExec(kvwin::DispatchCall& call, const std::u16string& command);

}  // namespace kvscripting
