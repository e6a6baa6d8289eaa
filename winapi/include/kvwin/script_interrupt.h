// The interrupt request of one script engine (InterruptScriptThread), shared by the engine
// and its runtime.
//
// Thread safety: any thread may set it at any time; the interpreter reads it at its
// interrupt points. A set request stops the script that runs now, or else the next entry
// before it starts.
#pragma once

#include <atomic>

#include "win/errors.h"
#include "win/types.h"

namespace kvwin {

struct InterruptSignal {
    std::atomic<bool> requested{false};
    std::atomic<HRESULT> code{E_ABORT};  // what the stopped script's failure reports
};

}  // namespace kvwin
