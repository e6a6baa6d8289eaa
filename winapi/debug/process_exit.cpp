// Ending the current process, abruptly or in order.
#include <signal.h>

#include <unistd.h>
#include <cerrno>

#include <cstdlib>

#include "../process/child_process.h"
#include "win/debug.h"
#include "win/handles.h"

extern "C" {

BOOL TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    if (hProcess == GetCurrentProcess()) {
        // _exit, not exit: Windows ends the process without running DLL detach code or C
        // runtime termination, so neither atexit handlers nor static destructors may run.
        ::_exit(static_cast<int>(uExitCode));
    }
    // A child of ours ends with SIGKILL; the code is recorded first, so its reaper reports
    // it instead of the signal's.
    auto child = kvwin::LookupHandleAs<kvwin::ChildObject>(hProcess, kvwin::HandleKind::Process);
    if (!child)
        return FALSE;
    kvwin::ChildState& state = *child->state();
    if (state.done.load(std::memory_order_acquire)) {
        SetLastError(ERROR_ACCESS_DENIED);  // as Windows answers for a process that has ended
        return FALSE;
    }
    state.terminate_code.store(uExitCode);
    state.terminated.store(true);
    if (::kill(state.pid, SIGKILL) != 0 && errno != ESRCH) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

void ExitProcess(UINT uExitCode) {
    std::exit(static_cast<int>(uExitCode));
}

}  // extern "C"
