#include "singleton/singleton_misuse.h"

#include <cstdlib>

#include "singleton/singleton_registry.h"
#include "win/debug.h"
#include "win/handles.h"

namespace Utility {

namespace {

constexpr UINT kMisuseExitCode = 50;

[[noreturn]] void TerminateWithMessage(const WCHAR* message) {
    OutputDebugStringW(message);
    if (IsDebuggerPresent())
        DebugBreak();
    TerminateProcess(GetCurrentProcess(), kMisuseExitCode);
    std::_Exit(static_cast<int>(
        kMisuseExitCode));  // not reached: ending the current process does not return
}

}  // namespace

void TerminateOnDestroyedSingletonUse() {
    TerminateWithMessage(
        TEXT("\n*** REDIVIRIDO: ATTEMPTED TO USE ALREADY DESTROYED SINGLETON, PROCESS WILL BE ")
            TEXT("TERMINATED ***\n"));
}

void CheckSingletonCreationThread() {
    const DWORD unloading = UnloadingThreadId();
    if (unloading == 0 || unloading == GetCurrentThreadId())
        return;
    TerminateWithMessage(TEXT(
        "\n*** REDIVIRIDO: ATTEMPTED TO INITIALIZE A SINGLETON ON MODULE UNLOAD FROM THE WRONG ")
                             TEXT("THREAD, PROCESS WILL BE TERMINATED ***\n"));
}

}  // namespace Utility
