// The Err object: Number (the default member), Description, Source, HelpFile, HelpContext,
// Raise and Clear, over the engine's ErrState. Raise throws the error like any run-time
// error. The engine's thread only.
#pragma once

#include <memory>

#include "value.h"

namespace kvvbs {

class Runtime;

// A new Err object of the runtime (one reference).
IDispatch* CreateErrObject(std::shared_ptr<Runtime> rt);

}  // namespace kvvbs
