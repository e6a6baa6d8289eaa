// Ending the current process, abruptly or in order.
#include <unistd.h>

#include <cstdlib>

#include "win/debug.h"
#include "win/handles.h"

extern "C" {

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    if (hProcess == GetCurrentProcess()) {
        // _exit, not exit: Windows ends the process without running DLL detach code or C
        // runtime termination, so neither atexit handlers nor static destructors may run.
        ::_exit(static_cast<int>(uExitCode));
    }
    // TODO: real process handles (from CreateProcessW and OpenProcess) end their process
    // with a signal once process objects exist.
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

void ExitProcess(UINT uExitCode) {
    std::exit(static_cast<int>(uExitCode));
}

}  // extern "C"
