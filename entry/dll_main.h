// The library's DLL entry point. It does nothing but report success for every
// notification: all load and unload work is done by static objects (library_load.h), and
// Linux's loader has no notification to call this with. It is kept so that code written
// against the Windows entry point finds it with the documented behaviour.
#pragma once

#include "win/types.h"

namespace Kavrel {

inline constexpr DWORD kDllProcessDetach = 0;  // DLL_PROCESS_DETACH
inline constexpr DWORD kDllProcessAttach = 1;  // DLL_PROCESS_ATTACH
inline constexpr DWORD kDllThreadAttach = 2;   // DLL_THREAD_ATTACH
inline constexpr DWORD kDllThreadDetach = 3;   // DLL_THREAD_DETACH

BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

}  // namespace Kavrel
