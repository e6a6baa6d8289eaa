#include "service/module_state.h"

#include "service/delivery_threads.h"

namespace kvwmi {

std::atomic<long>& LiveObjects() {
    static std::atomic<long> count{0};
    return count;
}

std::atomic<long>& ServerLocks() {
    static std::atomic<long> count{0};
    return count;
}

HRESULT CanUnloadNow() {
    // Threads first: a finished delivery releases its objects before its thread ends, so
    // once the threads are gone the object count is final.
    if (DeliveryThreads::Instance().JoinFinished() != 0)
        return S_FALSE;
    return LiveObjects() == 0 && ServerLocks() == 0 ? S_OK : S_FALSE;
}

}  // namespace kvwmi
