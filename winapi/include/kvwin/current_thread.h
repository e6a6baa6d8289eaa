// A waitable object for the calling thread, so that DuplicateHandle of GetCurrentThread()
// gives a real handle that is signalled when the thread ends, whoever started it (CreateThread,
// std::thread, the host).
#pragma once

#include <memory>

#include "kvwin/handle_table.h"

namespace kvwin {

KVWIN_API std::shared_ptr<KernelObject> CurrentThreadObject();

}  // namespace kvwin
