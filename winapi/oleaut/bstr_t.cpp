// _bstr_t: a BSTR shared by reference count between copies.
#include <atomic>
#include <cstring>
#include <new>

#include "win/comutil.h"
#include "win/text.h"

namespace {

BSTR CopyBstr(BSTR s) {
    if (!s)
        return nullptr;
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s));
    if (!copy)
        _com_issue_error(E_OUTOFMEMORY);
    return copy;
}

BSTR CopyText(const WCHAR* s) {
    if (!s)
        return nullptr;
    BSTR copy = SysAllocString(s);
    if (!copy)
        _com_issue_error(E_OUTOFMEMORY);
    return copy;
}

}  // namespace

// The shared part: the BSTR, its ANSI form once asked for, and the count of _bstr_t
// objects that share it.
struct _bstr_t::Data {
    explicit Data(BSTR owned) noexcept : wide(owned) {}
    ~Data() {
        SysFreeString(wide);
        delete[] narrow.load(std::memory_order_relaxed);
    }
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    // The ANSI form; built once, published with a compare-and-swap so that sharers on
    // different threads agree on one buffer.
    char* Narrow() {
        char* have = narrow.load(std::memory_order_acquire);
        if (have || !wide)
            return have;
        char* made = _com_util::ConvertBSTRToString(wide);
        if (narrow.compare_exchange_strong(have, made, std::memory_order_acq_rel))
            return made;
        delete[] made;
        return have;
    }

    BSTR wide;
    std::atomic<char*> narrow{nullptr};
    std::atomic<long> refs{1};
};

namespace _com_util {

BSTR ConvertStringToBSTR(const char* pSrc) {
    if (!pSrc)
        return nullptr;
    int count = MultiByteToWideChar(CP_ACP, 0, pSrc, -1, nullptr, 0);
    if (count <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    BSTR result = SysAllocStringLen(nullptr, UINT(count - 1));
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, pSrc, -1, result, count) != count) {
        SysFreeString(result);
        _com_issue_error(E_UNEXPECTED);
    }
    return result;
}

char* ConvertBSTRToString(BSTR pSrc) {
    if (!pSrc)
        return nullptr;
    // Through the terminator, so the result is terminated even for an empty text.
    int source = int(SysStringLen(pSrc)) + 1;
    int count = WideCharToMultiByte(CP_ACP, 0, pSrc, source, nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
    char* result = new (std::nothrow) char[size_t(count)];
    if (!result)
        _com_issue_error(E_OUTOFMEMORY);
    if (WideCharToMultiByte(CP_ACP, 0, pSrc, source, result, count, nullptr, nullptr) != count) {
        delete[] result;
        _com_issue_error(E_UNEXPECTED);
    }
    return result;
}

}  // namespace _com_util

_bstr_t::Data* _bstr_t::NewData(BSTR owned) {
    auto* data = new (std::nothrow) _bstr_t::Data(owned);
    if (!data) {
        SysFreeString(owned);
        _com_issue_error(E_OUTOFMEMORY);
    }
    return data;
}

_bstr_t::_bstr_t(const _bstr_t& s) noexcept : data_(s.data_) {
    if (data_)
        data_->refs.fetch_add(1, std::memory_order_relaxed);
}

_bstr_t::_bstr_t(const char* s) : data_(NewData(_com_util::ConvertStringToBSTR(s))) {}

_bstr_t::_bstr_t(const WCHAR* s) : data_(NewData(CopyText(s))) {}

_bstr_t::_bstr_t(const _variant_t& var) {
    if (var.vt == VT_BSTR) {
        data_ = NewData(CopyBstr(var.bstrVal));
        return;
    }
    _variant_t text;
    text.ChangeType(VT_BSTR, &var);
    VARIANT raw = text.Detach();
    data_ = NewData(raw.bstrVal);
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) : data_(NewData(fCopy ? CopyBstr(bstr) : bstr)) {}

_bstr_t::~_bstr_t() {
    Free();
}

void _bstr_t::Free() noexcept {
    if (data_ && data_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete data_;
    data_ = nullptr;
}

_bstr_t& _bstr_t::operator=(const _bstr_t& s) noexcept {
    if (data_ != s.data_) {
        Data* keep = s.data_;
        if (keep)
            keep->refs.fetch_add(1, std::memory_order_relaxed);
        Free();
        data_ = keep;
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& s) noexcept {
    if (this != &s) {
        Free();
        data_ = s.data_;
        s.data_ = nullptr;
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(const char* s) {
    Data* fresh = NewData(_com_util::ConvertStringToBSTR(s));
    Free();
    data_ = fresh;
    return *this;
}

_bstr_t& _bstr_t::operator=(const WCHAR* s) {
    // s may point into our own text: copy before letting it go.
    Data* fresh = NewData(CopyText(s));
    Free();
    data_ = fresh;
    return *this;
}

_bstr_t& _bstr_t::operator=(const _variant_t& var) {
    return *this = _bstr_t(var);
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& s) {
    return *this = *this + s;
}

_bstr_t _bstr_t::operator+(const _bstr_t& s) const {
    UINT left = length(), right = s.length();
    BSTR joined = SysAllocStringLen(nullptr, left + right);
    if (!joined)
        _com_issue_error(E_OUTOFMEMORY);
    if (left)
        std::memcpy(joined, data_->wide, left * sizeof(WCHAR));
    if (right)
        std::memcpy(joined + left, s.data_->wide, right * sizeof(WCHAR));
    return _bstr_t(NewData(joined));
}

_bstr_t operator+(const char* s1, const _bstr_t& s2) {
    return _bstr_t(s1) + s2;
}

_bstr_t operator+(const WCHAR* s1, const _bstr_t& s2) {
    return _bstr_t(s1) + s2;
}

_bstr_t::operator const WCHAR*() const noexcept {
    return data_ ? data_->wide : nullptr;
}

_bstr_t::operator WCHAR*() const noexcept {
    return data_ ? data_->wide : nullptr;
}

_bstr_t::operator const char*() const {
    return data_ ? data_->Narrow() : nullptr;
}

_bstr_t::operator char*() const {
    return data_ ? data_->Narrow() : nullptr;
}

bool _bstr_t::operator!() const noexcept {
    return !data_ || !data_->wide;
}

int _bstr_t::Compare(const _bstr_t& s) const noexcept {
    if (data_ == s.data_)
        return 0;
    const WCHAR* a = *this;
    const WCHAR* b = s;
    UINT la = length(), lb = s.length();
    UINT common = la < lb ? la : lb;
    for (UINT i = 0; i < common; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return la < lb ? -1 : la > lb ? 1 : 0;
}

void _bstr_t::Assign(BSTR s) {
    if (data_ && s && data_->wide == s)
        return;
    Data* fresh = NewData(CopyBstr(s));
    Free();
    data_ = fresh;
}

BSTR& _bstr_t::GetBSTR() {
    if (!data_)
        data_ = NewData(nullptr);
    return data_->wide;
}

BSTR* _bstr_t::GetAddress() {
    Attach(nullptr);
    return &data_->wide;
}

void _bstr_t::Attach(BSTR s) {
    Data* fresh = NewData(s);
    Free();
    data_ = fresh;
}

BSTR _bstr_t::Detach() {
    if (!data_ || data_->refs.load(std::memory_order_acquire) != 1)
        _com_issue_error(E_POINTER);
    BSTR result = data_->wide;
    data_->wide = nullptr;
    Free();
    return result;
}

BSTR _bstr_t::copy(bool fCopy) const {
    if (!data_)
        return nullptr;
    return fCopy ? CopyBstr(data_->wide) : data_->wide;
}

unsigned int _bstr_t::length() const noexcept {
    return data_ ? SysStringLen(data_->wide) : 0;
}
