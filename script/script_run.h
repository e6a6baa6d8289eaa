// The script run: the work of a script query's script thread.
//
// On the calling thread (which it enters into a single-threaded apartment of its own and
// leaves again), the run creates the engine the script type names ("jscript" or "vbscript",
// in any case; any other type runs nothing), gives a VBScript text the predefined functions
// (script/predefined_functions.h), loads the text under the named item "Scripter", connects
// the engine (the global code runs), and calls the named function without arguments into the
// result VARIANT. Each step runs only when the one before succeeded and no interruption was
// asked for; the engine is closed and released at the end of every path.
//
// Success is only the `succeeded` flag: failures of any kind (an unknown type, an engine that
// cannot be made, a script error, an undefined function, an interruption) leave it false and
// are not reported anywhere.
#pragma once

#include <atomic>
#include <mutex>

#include "win/activscp.h"

// What the script run shares with the runner that waits for it (script/script_runner.h).
// Owned by the runner, which keeps it alive until the script thread has been joined.
//
// Thread safety: the engine slot changes only under engineLock, while the engine is created
// and while it is closed, so the runner may call engine->InterruptScriptThread under the
// same lock at any moment; the lock is never held while the script runs. The flags are
// atomic. `result` is written by the script thread only, read by the runner after the join.
struct ScriptRunContext {
    std::mutex engineLock;
    IActiveScript* engine = nullptr;
    std::atomic<bool> succeeded{false};
    std::atomic<bool> interrupted{false};
    VARIANT* result = nullptr;
};

// The name the script's code is loaded under, and the flags it is added with.
inline constexpr const WCHAR* kScriptItemName = TEXT("Scripter");
inline constexpr DWORD kScriptItemFlags =
    SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE | SCRIPTITEM_GLOBALMEMBERS;

// Runs the script on the calling thread, as described above. The three texts are
// null-terminated and stay valid for the call. Never throws.
void PerformScriptRun(ScriptRunContext& context, const WCHAR* scriptType, const WCHAR* scriptText,
                      const WCHAR* functionName) noexcept;
