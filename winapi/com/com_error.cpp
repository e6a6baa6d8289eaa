// _com_error and the functions that raise it.
#include <cstdio>

#include "kvwin/com_error_text.h"
#include "kvwin/utf.h"
#include "win/comdef.h"

_com_error::_com_error(HRESULT hr, IErrorInfo* perrinfo, bool fAddRef) noexcept
    : hr_(hr), info_(perrinfo) {
    if (info_ && fAddRef)
        info_->AddRef();
}

_com_error::_com_error(const _com_error& that) noexcept : hr_(that.hr_), info_(that.info_) {
    if (info_)
        info_->AddRef();
}

_com_error& _com_error::operator=(const _com_error& that) noexcept {
    if (this != &that) {
        IErrorInfo* old = info_;
        hr_ = that.hr_;
        info_ = that.info_;
        if (info_)
            info_->AddRef();
        if (old)
            old->Release();
        message_.reset();
    }
    return *this;
}

_com_error::~_com_error() {
    if (info_)
        info_->Release();
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    if (info_)
        info_->AddRef();
    return info_;
}

namespace {

// A text field of the error object as a _bstr_t that owns it.
_bstr_t Field(IErrorInfo* info, HRESULT (STDMETHODCALLTYPE IErrorInfo::*get)(BSTR*)) {
    BSTR text = nullptr;
    if (info && FAILED((info->*get)(&text)))
        text = nullptr;
    return _bstr_t(text, false);
}

}  // namespace

_bstr_t _com_error::Description() const {
    return Field(info_, &IErrorInfo::GetDescription);
}

_bstr_t _com_error::Source() const {
    return Field(info_, &IErrorInfo::GetSource);
}

_bstr_t _com_error::HelpFile() const {
    return Field(info_, &IErrorInfo::GetHelpFile);
}

DWORD _com_error::HelpContext() const noexcept {
    DWORD context = 0;
    if (info_ && FAILED(info_->GetHelpContext(&context)))
        context = 0;
    return context;
}

::GUID _com_error::GUID() const noexcept {
    ::GUID guid = GUID_NULL;
    if (info_ && FAILED(info_->GetGUID(&guid)))
        guid = GUID_NULL;
    return guid;
}

const WCHAR* _com_error::ErrorMessage() const noexcept {
    try {
        if (!message_) {
            std::u16string text;
            if (!kvwin::KnownHresultText(hr_, text)) {
                char buf[40];
                if (WORD code = WCode())
                    std::snprintf(buf, sizeof buf, "IDispatch error #%u", unsigned(code));
                else
                    std::snprintf(buf, sizeof buf, "Unknown error 0x%lX",
                                  (unsigned long)(ULONG)hr_);
                text = kvwin::FromUtf8(buf);
            }
            message_ = std::move(text);
        }
        return message_->c_str();
    } catch (...) {
        return u"";
    }
}

void _com_raise_error(HRESULT hr, IErrorInfo* perrinfo) {
    throw _com_error(hr, perrinfo);
}

void _com_issue_error(HRESULT hr) {
    _com_raise_error(hr, nullptr);
}

void _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid) {
    IErrorInfo* info = nullptr;
    if (punk) {
        ISupportErrorInfo* support = nullptr;
        if (SUCCEEDED(punk->QueryInterface(__uuidof(ISupportErrorInfo),
                                           reinterpret_cast<void**>(&support))) &&
            support) {
            HRESULT supported = support->InterfaceSupportsErrorInfo(riid);
            support->Release();
            if (supported == S_OK && GetErrorInfo(0, &info) != S_OK)
                info = nullptr;
        }
    }
    _com_raise_error(hr, info);
}
