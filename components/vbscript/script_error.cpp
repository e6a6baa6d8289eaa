// The error object the site receives.
#include "script_error.h"

#include "kvwin/com_object.h"
#include "module.h"

namespace kvvbs {
namespace {

BSTR Copy(const std::u16string& text) {
    return SysAllocStringLen(text.data(), UINT(text.size()));
}

class ErrorReport final
    : public kvwin::ComObject<IActiveScriptError64,
                              kvwin::AlsoAnswer<IActiveScriptError, IActiveScriptError64>> {
  public:
    explicit ErrorReport(ScriptFailure failure) : failure_(std::move(failure)) {}

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
    ~ErrorReport() override = default;
    ModuleRef module_ref_;
    ScriptFailure failure_;
};

}  // namespace

IActiveScriptError* CreateScriptError(const ScriptFailure& failure) {
    auto* error = new ErrorReport(failure);
    return static_cast<IActiveScriptError64*>(error);
}

void FillExcepInfo(const ScriptFailure& failure, EXCEPINFO* excep) {
    *excep = EXCEPINFO{};
    excep->scode = failure.code;
    excep->bstrSource = Copy(failure.source);
    excep->bstrDescription = Copy(failure.description);
}

}  // namespace kvvbs
