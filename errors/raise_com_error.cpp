// Raising COM errors that carry a description.
#include "kvwin/wide_string.h"
#include "win/comdef.h"

#include "errors/error_description.h"
#include "kvwin/format.h"
#include "win/oleauto.h"

void ThrowComError(HRESULT hr, const WCHAR* description) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create)) || !create)
        throw _com_error(hr);
    create->SetDescription(const_cast<LPOLESTR>(description ? description : TEXT("")));
    IErrorInfo* info = nullptr;
    const HRESULT queried = create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    create->Release();
    if (FAILED(queried) || !info)
        throw _com_error(hr);
    throw _com_error(hr, info);  // the error takes over our reference
}

void ThrowComErrorWithSystemText(HRESULT hr, uint32_t systemCode, const WCHAR* text) {
    const _com_error system(static_cast<HRESULT>(systemCode));
    WString combined =
        kvwin::Format(TEXT("%ls %ls"), text ? text : TEXT(""), system.ErrorMessage());
    if (combined.size() > 8191)
        combined.resize(8191);
    ThrowComError(hr, combined.c_str());
}
