// What a script engine reports about a failed script: one description shared by the
// project's engines, and the IActiveScriptError a site's OnScriptError receives for it.
//
// The error object lives in the platform layer, so a site may keep it after the engine's
// module is gone. It is immutable once made and safe from any thread.
#pragma once

#include <string>

#include "win/activscp.h"
#include "win/types.h"

namespace kvwin {

struct ScriptFailure {
    HRESULT code = E_FAIL;       // the error's number as an HRESULT (0x800A.... for the engines)
    std::u16string source;       // the engine's kind of error ("VBScript runtime error")
    std::u16string description;  // the message
    DWORDLONG cookie = 0;        // the source context cookie of the text
    ULONG line = 0;              // zero-based, the block's starting line added
    LONG column = 0;             // zero-based
    std::u16string line_text;    // the text of that line
    bool interrupted = false;    // stopped by InterruptScriptThread
};

// A new error object with one reference; null when memory runs out.
KVWIN_API IActiveScriptError* CreateScriptError(const ScriptFailure& failure);

// Fills an EXCEPINFO (which the caller then owns) from a failure.
KVWIN_API void FillExcepInfo(const ScriptFailure& failure, EXCEPINFO* excep);

}  // namespace kvwin
