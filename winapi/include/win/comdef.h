// Compiler COM support: _com_error, and through win/comutil.h and win/comip.h the value
// classes _bstr_t and _variant_t and the smart pointer _com_ptr_t, with ready-made smart
// pointers for the standard interfaces (IUnknownPtr, IDispatchPtr, IErrorInfoPtr, ...).
#pragma once

#include <optional>
#include <string>

#include "win/com.h"
#include "win/comip.h"
#include "win/comutil.h"

// wCodes: the 16-bit error codes of dispatch exceptions, carried in HRESULTs of
// FACILITY_ITF from 0x200 on.
#define WCODE_HRESULT_FIRST ((HRESULT)0x80040200L)
#define WCODE_HRESULT_LAST ((HRESULT)0x8004FFFFL)

// An HRESULT and, optionally, the error object that describes it. Raised by
// _com_issue_error and by the compiler-support classes.
// Thread safety: a value; one object is used by one thread at a time (ErrorMessage
// builds its text on first use).
class KVWIN_API _com_error {
  public:
    // perrinfo's reference passes to the error, unless fAddRef asks for one of its own.
    _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept;
    _com_error(const _com_error& that) noexcept;
    _com_error& operator=(const _com_error& that) noexcept;
    virtual ~_com_error();

    HRESULT Error() const noexcept { return hr_; }
    // The wCode within the HRESULT, or 0 when it holds none.
    WORD WCode() const noexcept { return HRESULTToWCode(hr_); }
    // The error object with a reference the caller releases; nullptr when there is none.
    IErrorInfo* ErrorInfo() const noexcept;

    // From the error object; empty (null) without one or when it has no such field.
    _bstr_t Description() const;
    _bstr_t Source() const;
    _bstr_t HelpFile() const;
    DWORD HelpContext() const noexcept;
    ::GUID GUID() const noexcept;  // GUID_NULL without an error object

    // The text for the HRESULT: the message-table text when there is one, else
    // "IDispatch error #<wCode>" for a wCode, else "Unknown error 0x<hr>". Stays valid as
    // long as this object.
    const WCHAR* ErrorMessage() const noexcept;

    static HRESULT WCodeToHRESULT(WORD wCode) noexcept {
        return wCode >= 0xFE00 ? WCODE_HRESULT_LAST : HRESULT(WCODE_HRESULT_FIRST + wCode);
    }
    static WORD HRESULTToWCode(HRESULT hr) noexcept {
        return (hr >= WCODE_HRESULT_FIRST && hr <= WCODE_HRESULT_LAST)
                   ? WORD(hr - WCODE_HRESULT_FIRST)
                   : WORD(0);
    }

  private:
    HRESULT hr_;
    IErrorInfo* info_;
    mutable std::optional<std::u16string> message_;
};

_COM_SMARTPTR_TYPEDEF(IUnknown, __uuidof(IUnknown));
_COM_SMARTPTR_TYPEDEF(IDispatch, __uuidof(IDispatch));
_COM_SMARTPTR_TYPEDEF(IClassFactory, __uuidof(IClassFactory));
_COM_SMARTPTR_TYPEDEF(IErrorInfo, __uuidof(IErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICreateErrorInfo, __uuidof(ICreateErrorInfo));
_COM_SMARTPTR_TYPEDEF(ISupportErrorInfo, __uuidof(ISupportErrorInfo));
_COM_SMARTPTR_TYPEDEF(IRunnableObject, __uuidof(IRunnableObject));
