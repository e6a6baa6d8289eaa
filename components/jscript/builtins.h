// The host objects of the language: ActiveXObject, GetObject, Enumerator, VBArray and the
// ScriptEngine* functions. Installed once into every new heap; they run on the engine's
// thread.
#pragma once

#include "duktape.h"

namespace kvjs {

void InstallBuiltins(duk_context* ctx);

}  // namespace kvjs
