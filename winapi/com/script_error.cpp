// The error object a script site receives, shared by the project's script engines.
#include "kvwin/script_failure.h"

#include <new>

#include "kvwin/com_object.h"
#include "win/oleauto.h"

namespace kvwin {
namespace {

BSTR Copy(const std::u16string& text) {
    return SysAllocStringLen(text.data(), UINT(text.size()));
}

class ScriptErrorObject final
    : public ComObject<IActiveScriptError64, AlsoAnswer<IActiveScriptError, IActiveScriptError64>> {
  public:
    explicit ScriptErrorObject(ScriptFailure failure) : failure_(std::move(failure)) {}

    // Not charged to the held-memory bound: a script stopped at that bound (its objects still
    // held) must still be reported to the host.
    static void* operator new(size_t size) { return ::operator new(size); }
    static void operator delete(void* block) noexcept { ::operator delete(block); }

    STDMETHODIMP GetExceptionInfo(EXCEPINFO* excep) override {
        if (!excep)
            return E_POINTER;
        FillExcepInfo(failure_, excep);
        return S_OK;
    }
    STDMETHODIMP GetSourcePosition(DWORD* cookie, ULONG* line, LONG* column) override {
        if (cookie)
            *cookie = DWORD(failure_.cookie);
        if (line)
            *line = failure_.line;
        if (column)
            *column = failure_.column;
        return S_OK;
    }
    STDMETHODIMP GetSourcePosition64(DWORDLONG* cookie, ULONG* line, LONG* column) override {
        if (cookie)
            *cookie = failure_.cookie;
        return GetSourcePosition(nullptr, line, column);
    }
    STDMETHODIMP GetSourceLineText(BSTR* text) override {
        if (!text)
            return E_POINTER;
        *text = Copy(failure_.line_text);
        return *text ? S_OK : E_OUTOFMEMORY;
    }

  private:
    ~ScriptErrorObject() override = default;
    ScriptFailure failure_;
};

}  // namespace

IActiveScriptError* CreateScriptError(const ScriptFailure& failure) {
    try {
        auto* error = new ScriptErrorObject(failure);
        return static_cast<IActiveScriptError64*>(error);
    } catch (...) {
        return nullptr;
    }
}

void FillExcepInfo(const ScriptFailure& failure, EXCEPINFO* excep) {
    *excep = EXCEPINFO{};
    excep->scode = failure.code;
    excep->bstrSource = Copy(failure.source);
    excep->bstrDescription = Copy(failure.description);
}

}  // namespace kvwin
