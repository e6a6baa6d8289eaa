#include "service/module_state.h"

#include "service/delivery_threads.h"

namespace kvwmi {

HRESULT CanUnloadNow() {
    // Threads first: a finished delivery releases its objects before its thread is idle, so
    // once no call runs the object count is final.
    DeliveryThreads& threads = DeliveryThreads::Instance();
    if (threads.Settle() != 0 || kvwin::ModuleCanUnloadNow() != S_OK)
        return S_FALSE;
    // Nothing can start a call now: the parked threads go before the module does.
    threads.EndParked();
    return S_OK;
}

}  // namespace kvwmi
