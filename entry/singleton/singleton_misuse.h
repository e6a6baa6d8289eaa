// The fatal misuses of a singleton. Each writes its message with OutputDebugStringW,
// breaks into a debugger if one is attached, and ends the process at once with exit code
// 50 (TerminateProcess: no unload code runs).
#pragma once

namespace Utility {

// Use of a singleton after the destruction run destroyed it.
[[noreturn]] void TerminateOnDestroyedSingletonUse();

// Ends the process when a singleton is about to be created while another thread is
// unloading the library; returns otherwise.
void CheckSingletonCreationThread();

}  // namespace Utility
