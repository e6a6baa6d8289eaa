// The COM support functions that MinGW-w64's comdef.h and comutil.h declare but its
// libraries do not define. Each behaves as the Windows SDK's comsupp library documents.
#include "win/comdef.h"

#include <cstring>

namespace _com_util {

// Text in the thread's ANSI code page to a new BSTR; nullptr for nullptr. Throws
// _com_error(E_OUTOFMEMORY) or the conversion's failure, as _bstr_t expects.
BSTR WINAPI ConvertStringToBSTR(const char* pSrc) {
    if (!pSrc)
        return nullptr;
    const int length = MultiByteToWideChar(CP_ACP, 0, pSrc, -1, nullptr, 0);
    if (length <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, pSrc, -1, result, length) <= 0) {
        const DWORD error = GetLastError();
        SysFreeString(result);
        _com_issue_error(HRESULT_FROM_WIN32(error));
    }
    return result;
}

// A BSTR to new[]-allocated text in the ANSI code page; nullptr for nullptr.
char* WINAPI ConvertBSTRToString(BSTR pSrc) {
    if (!pSrc)
        return nullptr;
    const int units = static_cast<int>(SysStringLen(pSrc)) + 1;
    const int length = WideCharToMultiByte(CP_ACP, 0, pSrc, units, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    char* result = new char[static_cast<size_t>(length)];
    if (WideCharToMultiByte(CP_ACP, 0, pSrc, units, result, length, nullptr, nullptr) <= 0) {
        const DWORD error = GetLastError();
        delete[] result;
        _com_issue_error(HRESULT_FROM_WIN32(error));
    }
    return result;
}

}  // namespace _com_util

// Throws a _com_error for hr, carrying the error information the object set for riid when
// the object says it supports error information for that interface.
void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid) {
    IErrorInfo* info = nullptr;
    if (punk) {
        ISupportErrorInfo* support = nullptr;
        if (SUCCEEDED(
                punk->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)))) {
            if (support->InterfaceSupportsErrorInfo(riid) == S_OK && GetErrorInfo(0, &info) != S_OK)
                info = nullptr;
            support->Release();
        }
    }
    _com_raise_error(hr, info);
}
