#include "service/module_state.h"

#include "service/delivery_threads.h"

namespace kvwmi {

HRESULT CanUnloadNow() {
    // Threads first: a finished delivery releases its objects before its thread ends, so
    // once the threads are gone the object count is final.
    if (DeliveryThreads::Instance().JoinFinished() != 0)
        return S_FALSE;
    return kvwin::ModuleCanUnloadNow();
}

}  // namespace kvwmi
