// Apartments, tracked per thread. There is no marshalling, so an apartment is only a model
// and a count: what CoInitializeEx answers and whether activation may go ahead.
#include "com_thread_state.h"
#include "kvwin/com_runtime.h"
#include "win/com.h"

namespace kvwin::com_detail {

ThreadState& CurrentThreadState() {
    thread_local ThreadState state;
    return state;
}

ThreadState::~ThreadState() {
    if (error_info)
        error_info->Release();
}

}  // namespace kvwin::com_detail

namespace kvwin {
bool ThreadHasApartment() {
    return com_detail::CurrentThreadState().init_count > 0;
}
}  // namespace kvwin

extern "C" {

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    constexpr DWORD kKnown =
        COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (pvReserved || (dwCoInit & ~kKnown))
        return E_INVALIDARG;
    auto& state = kvwin::com_detail::CurrentThreadState();
    bool multithreaded = !(dwCoInit & COINIT_APARTMENTTHREADED);
    if (state.init_count > 0) {
        if (state.multithreaded != multithreaded)
            return RPC_E_CHANGED_MODE;
        ++state.init_count;
        return S_FALSE;
    }
    state.multithreaded = multithreaded;
    state.init_count = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize(void) {
    auto& state = kvwin::com_detail::CurrentThreadState();
    if (state.init_count == 0)
        return;
    if (--state.init_count == 0 && state.error_info) {
        IErrorInfo* info = state.error_info;
        state.error_info = nullptr;
        info->Release();
    }
}

}  // extern "C"
