// The value classes of compiler COM support: _bstr_t (a shared BSTR) and _variant_t (a
// VARIANT that owns what it holds), and the functions that raise _com_error.
//
// Failures are raised as _com_error (include win/comdef.h to catch them): allocation
// failures as E_OUTOFMEMORY, failed conversions with the HRESULT VariantChangeType gave.
//
// Narrow text (const char*) is in the ANSI code page CP_ACP, as on Windows.
//
// Integer widths: LONG and int are one type here, and LONGLONG is long, so the integer
// constructors follow the Windows typedefs rather than the C++ types: int/LONG gives VT_I4,
// unsigned int/ULONG/DWORD VT_UI4, long and long long (LONGLONG) VT_I8, unsigned long and
// unsigned long long (ULONGLONG) VT_UI8. (On Windows int gives VT_INT; nothing here ever
// produces VT_INT or VT_UINT from a constructor.)
#pragma once

#include <compare>
#include <cstddef>

#include "win/com.h"
#include "win/oleauto.h"
#include "win/types.h"

class _com_error;
class _variant_t;

// Throw _com_error(hr) / _com_error(hr, perrinfo) (the reference passes to the error).
[[noreturn]] KVWIN_API void _com_issue_error(HRESULT hr);
[[noreturn]] KVWIN_API void _com_raise_error(HRESULT hr, IErrorInfo* perrinfo = nullptr);
// Throws _com_error(hr) carrying the thread's error object when punk says, through
// ISupportErrorInfo, that riid reports errors that way; the error object is taken from
// the thread (GetErrorInfo) only then.
[[noreturn]] KVWIN_API void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid);

namespace _com_util {
// A new BSTR from ANSI text; nullptr for nullptr. Raises E_OUTOFMEMORY.
KVWIN_API BSTR ConvertStringToBSTR(const char* pSrc);
// ANSI text (new[]-allocated, the caller delete[]s it) from a BSTR; nullptr for nullptr.
KVWIN_API char* ConvertBSTRToString(BSTR pSrc);
// Raises hr when it is a failure.
inline void CheckError(HRESULT hr) {
    if (FAILED(hr))
        _com_issue_error(hr);
}
}  // namespace _com_util

// A BSTR shared between copies: copying a _bstr_t shares its text and count, and every
// change (assignment, +=, Attach, GetAddress) gives the changed object text of its own,
// so the other copies keep theirs. A null _bstr_t and an empty one both read as "".
// Thread safety: the shared count is atomic, so copies of one _bstr_t may live on
// different threads; one _bstr_t object must not be used by two threads at once.
class KVWIN_API _bstr_t {
  public:
    _bstr_t() noexcept = default;
    _bstr_t(const _bstr_t& s) noexcept;
    _bstr_t(_bstr_t&& s) noexcept : data_(s.data_) { s.data_ = nullptr; }
    _bstr_t(const char* s);
    _bstr_t(const WCHAR* s);
    // The variant's text, through VariantChangeType(VT_BSTR).
    explicit _bstr_t(const _variant_t& var);
    // fCopy: a copy of bstr (length kept, embedded NULs too); otherwise bstr itself, which
    // the _bstr_t then owns and frees.
    _bstr_t(BSTR bstr, bool fCopy);
    ~_bstr_t();

    _bstr_t& operator=(const _bstr_t& s) noexcept;
    _bstr_t& operator=(_bstr_t&& s) noexcept;
    _bstr_t& operator=(const char* s);
    _bstr_t& operator=(const WCHAR* s);
    _bstr_t& operator=(const _variant_t& var);

    _bstr_t& operator+=(const _bstr_t& s);
    _bstr_t operator+(const _bstr_t& s) const;
    friend KVWIN_API _bstr_t operator+(const char* s1, const _bstr_t& s2);
    friend KVWIN_API _bstr_t operator+(const WCHAR* s1, const _bstr_t& s2);

    // The wide text; nullptr for a null _bstr_t.
    operator const WCHAR*() const noexcept;
    operator WCHAR*() const noexcept;
    // The text in the ANSI code page, converted on first use and kept with the shared text.
    operator const char*() const;
    operator char*() const;

    // True for a null _bstr_t.
    bool operator!() const noexcept;
    // Ordinal comparison of the UTF-16 code units, the shorter text first on a tie.
    bool operator==(const _bstr_t& s) const noexcept { return Compare(s) == 0; }
    bool operator==(const WCHAR* s) const { return Compare(_bstr_t(s)) == 0; }
    bool operator==(const char* s) const { return Compare(_bstr_t(s)) == 0; }
    std::strong_ordering operator<=>(const _bstr_t& s) const noexcept { return Compare(s) <=> 0; }
    std::strong_ordering operator<=>(const WCHAR* s) const { return Compare(_bstr_t(s)) <=> 0; }
    std::strong_ordering operator<=>(const char* s) const { return Compare(_bstr_t(s)) <=> 0; }

    // Replaces the text with a copy of s (length kept).
    void Assign(BSTR s);
    // The BSTR itself, for reading or for in-place changes seen by every copy. Creates the
    // shared text (null) when there is none.
    BSTR& GetBSTR();
    // Drops the current text (copies keep theirs) and returns the address of a new, null
    // BSTR for an [out] parameter to fill.
    BSTR* GetAddress();
    // Takes ownership of s, dropping the current text.
    void Attach(BSTR s);
    // Gives up the BSTR to the caller, who frees it. Raises E_POINTER when there is no text
    // or when another _bstr_t shares it.
    BSTR Detach();
    // A new BSTR the caller frees (fCopy), or the shared one itself.
    BSTR copy(bool fCopy = true) const;
    // Characters, without the terminator.
    unsigned int length() const noexcept;

  private:
    struct Data;  // the shared text, its ANSI form and its count
    // A new shared part owning `owned`; frees it and raises E_OUTOFMEMORY when that fails.
    static Data* NewData(BSTR owned);
    int Compare(const _bstr_t& s) const noexcept;
    void Free() noexcept;
    explicit _bstr_t(Data* data) noexcept : data_(data) {}

    Data* data_ = nullptr;
};

// A VARIANT that owns its contents: destruction and every assignment clear them
// (VariantClear), copies are deep (VariantCopy). Derives from VARIANT, so a _variant_t
// goes wherever a VARIANT* is asked for.
// Thread safety: a value like VARIANT; one object must not be used by two threads at once.
class KVWIN_API _variant_t : public ::tagVARIANT {
  public:
    _variant_t() noexcept { VariantInit(this); }
    _variant_t(const VARIANT& varSrc);
    _variant_t(const VARIANT* pSrc);  // E_POINTER for nullptr
    _variant_t(const _variant_t& varSrc);
    _variant_t(_variant_t&& varSrc) noexcept;
    // fCopy false takes over varSrc's contents and leaves it VT_EMPTY.
    _variant_t(VARIANT& varSrc, bool fCopy);
    // vtSrc: VT_I2 or VT_BOOL (E_INVALIDARG otherwise).
    _variant_t(short sSrc, VARTYPE vtSrc = VT_I2);
    // vtSrc: VT_I4, VT_ERROR or VT_BOOL.
    _variant_t(int lSrc, VARTYPE vtSrc = VT_I4);
    _variant_t(long i8Src) noexcept;
    _variant_t(long long i8Src) noexcept;
    _variant_t(float fltSrc) noexcept;
    // vtSrc: VT_R8 or VT_DATE.
    _variant_t(double dblSrc, VARTYPE vtSrc = VT_R8);
    _variant_t(const CY& cySrc) noexcept;
    _variant_t(const _bstr_t& bstrSrc);
    _variant_t(const WCHAR* pSrc);
    _variant_t(const char* pSrc);
    // fAddRef false takes over the caller's reference.
    _variant_t(IDispatch* pSrc, bool fAddRef = true) noexcept;
    _variant_t(bool boolSrc) noexcept;
    _variant_t(IUnknown* pSrc, bool fAddRef = true) noexcept;
    _variant_t(const DECIMAL& decSrc) noexcept;
    _variant_t(BYTE bSrc) noexcept;
    _variant_t(char cSrc) noexcept;
    _variant_t(unsigned short usSrc) noexcept;
    _variant_t(unsigned int ulSrc) noexcept;
    _variant_t(unsigned long ui8Src) noexcept;
    _variant_t(unsigned long long ui8Src) noexcept;
    ~_variant_t();

    // Extractors: the value itself when the variant already has the type, else the result of
    // VariantChangeType to it, raising its HRESULT (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW...).
    operator short() const;
    operator int() const;   // VT_I4
    operator long() const;  // VT_I8
    operator long long() const;
    operator unsigned short() const;
    operator unsigned int() const;   // VT_UI4
    operator unsigned long() const;  // VT_UI8
    operator unsigned long long() const;
    operator float() const;
    operator double() const;
    operator CY() const;
    operator _bstr_t() const;
    operator bool() const;
    operator DECIMAL() const;
    operator BYTE() const;
    operator char() const;
    // These add a reference the caller releases.
    operator IDispatch*() const;
    operator IUnknown*() const;

    _variant_t& operator=(const VARIANT& varSrc);
    _variant_t& operator=(const VARIANT* pSrc);
    _variant_t& operator=(const _variant_t& varSrc);
    _variant_t& operator=(_variant_t&& varSrc) noexcept;
    // These three keep a VT_BOOL (and VT_ERROR, VT_DATE) type the variant already has,
    // as the two-argument constructors would make it; otherwise VT_I2, VT_I4, VT_R8.
    _variant_t& operator=(short sSrc);
    _variant_t& operator=(int lSrc);
    _variant_t& operator=(double dblSrc);
    // The rest give the type the matching constructor gives.
    _variant_t& operator=(long i8Src);
    _variant_t& operator=(long long i8Src);
    _variant_t& operator=(float fltSrc);
    _variant_t& operator=(const CY& cySrc);
    _variant_t& operator=(const _bstr_t& bstrSrc);
    _variant_t& operator=(const WCHAR* pSrc);
    _variant_t& operator=(const char* pSrc);
    _variant_t& operator=(IDispatch* pSrc);
    _variant_t& operator=(bool boolSrc);
    _variant_t& operator=(IUnknown* pSrc);
    _variant_t& operator=(const DECIMAL& decSrc);
    _variant_t& operator=(BYTE bSrc);
    _variant_t& operator=(char cSrc);
    _variant_t& operator=(unsigned short usSrc);
    _variant_t& operator=(unsigned int ulSrc);
    _variant_t& operator=(unsigned long ui8Src);
    _variant_t& operator=(unsigned long long ui8Src);

    // Same type and same value (texts by their bytes, objects by pointer). Raises
    // E_INVALIDARG for types it cannot compare (arrays, references, records).
    bool operator==(const VARIANT& varSrc) const;
    bool operator==(const VARIANT* pSrc) const;
    bool operator==(const _variant_t& varSrc) const {
        return *this == static_cast<const VARIANT&>(varSrc);
    }

    void Clear();
    // Takes over varSrc's contents (varSrc becomes VT_EMPTY).
    void Attach(VARIANT& varSrc);
    // Hands the contents to the caller, who clears them; this becomes VT_EMPTY.
    VARIANT Detach() noexcept;
    VARIANT& GetVARIANT() noexcept { return *this; }
    // Clears the contents and returns this, for an [out] parameter to fill.
    VARIANT* GetAddress();
    // Converts *pSrc (this when null) to vartype in place, raising a failure.
    void ChangeType(VARTYPE vartype, const _variant_t* pSrc = nullptr);
    void SetString(const char* pSrc);

  private:
    // Replaces the contents with other's, which becomes VT_EMPTY. Never fails.
    void TakeFrom(VARIANT& other) noexcept;
    // This variant converted to vt (a copy), raising a failure.
    _variant_t Converted(VARTYPE vt) const;
};
