// IActiveScriptError over a ScriptFailure: what the site's OnScriptError receives.
// Immutable once made; safe from any thread.
#pragma once

#include "interpreter.h"

namespace kvvbs {

// A new error object with one reference.
IActiveScriptError* CreateScriptError(const ScriptFailure& failure);

// Fills an EXCEPINFO (which the caller then owns) from a failure.
void FillExcepInfo(const ScriptFailure& failure, EXCEPINFO* excep);

}  // namespace kvvbs
