// Error objects and the per-thread error object slot.
#include <mutex>
#include <string>

#include "com_thread_state.h"
#include "kvwin/com_object.h"
#include "kvwin/utf.h"
#include "win/com.h"

namespace {

// One error object: written through ICreateErrorInfo, read through IErrorInfo. A mutex
// guards the fields, so writers and readers on different threads are safe.
class ErrorObject final : public kvwin::ComObject<ICreateErrorInfo, IErrorInfo> {
  public:
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
        std::lock_guard lock(mutex_);
        guid_ = rguid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) override { return Set(source_, text); }
    HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) override {
        return Set(description_, text);
    }
    HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) override { return Set(help_file_, text); }
    HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) override {
        std::lock_guard lock(mutex_);
        help_context_ = context;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* out) override {
        if (!out)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        *out = guid_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) override { return Get(source_, out); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) override { return Get(description_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) override { return Get(help_file_, out); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) override {
        if (!out)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        *out = help_context_;
        return S_OK;
    }

  private:
    HRESULT Set(std::u16string& field, LPOLESTR text) {
        try {
            std::lock_guard lock(mutex_);
            field.assign(kvwin::WideView(text));
            return S_OK;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT Get(const std::u16string& field, BSTR* out) {
        if (!out)
            return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        // An unset field reads as a null BSTR, which stands for the empty string.
        if (field.empty()) {
            *out = nullptr;
            return S_OK;
        }
        *out = SysAllocStringLen(field.data(), UINT(field.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    std::mutex mutex_;
    GUID guid_ = GUID_NULL;
    std::u16string source_, description_, help_file_;
    DWORD help_context_ = 0;
};

}  // namespace

extern "C" {

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = new (std::nothrow) ErrorObject();
    return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0)
        return E_INVALIDARG;
    auto& state = kvwin::com_detail::CurrentThreadState();
    if (perrinfo)
        perrinfo->AddRef();
    IErrorInfo* previous = state.error_info;
    state.error_info = perrinfo;
    if (previous)
        previous->Release();
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (!pperrinfo)
        return E_INVALIDARG;
    *pperrinfo = nullptr;
    if (dwReserved != 0)
        return E_INVALIDARG;
    auto& state = kvwin::com_detail::CurrentThreadState();
    if (!state.error_info)
        return S_FALSE;
    *pperrinfo = state.error_info;  // the slot's reference passes to the caller
    state.error_info = nullptr;
    return S_OK;
}

}  // extern "C"
