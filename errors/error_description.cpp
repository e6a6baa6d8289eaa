#include "errors/error_description.h"

#include "kvwin/wide_string.h"
#include "win/comdef.h"

#include <cstdio>

#include "files/message_modules.h"
#include "kvwin/format.h"
#include "kvwin/message_text.h"
#include "kvwin/utf.h"
#include "win/debug.h"
#include "win/memory.h"
#include "win/messages.h"

namespace {

constexpr DWORD kAgentCodeMessage = 0x8FA20000;       // insert 1: the code
constexpr DWORD kAgentDescribedMessage = 0x8FA20001;  // inserts: description, code
constexpr DWORD kAgentCodeRangeMessage = 0x8FA20002;  // inserts: description, code

bool IsInternetCode(uint32_t code) {
    return code >= 12000 && code <= 12186;
}

// One FormatMessageW call with an allocated buffer; empty when it yields nothing.
WString Message(DWORD flags, LPCVOID source, DWORD id, DWORD language,
                const DWORD_PTR* arguments = nullptr) {
    LPWSTR buffer = nullptr;
    flags |= FORMAT_MESSAGE_ALLOCATE_BUFFER;
    flags |= arguments ? FORMAT_MESSAGE_ARGUMENT_ARRAY : FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        FormatMessageW(flags, source, id, language, reinterpret_cast<LPWSTR>(&buffer), 0,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
    WString text;
    if (length && buffer)
        text.assign(buffer, length);
    if (buffer)
        LocalFree(buffer);
    return text;
}

WString FromModule(HMODULE module, DWORD id, DWORD language, const DWORD_PTR* arguments = nullptr) {
    return Message(FORMAT_MESSAGE_FROM_HMODULE, module, id, language, arguments);
}

// Asks a module in the given language, then in the system's own search order.
WString FromModuleAnyLanguage(HMODULE module, DWORD id, DWORD language) {
    WString text = FromModule(module, id, language);
    if (text.empty())
        text = FromModule(module, id, 0);
    return text;
}

// One trailing CR LF, then one trailing full stop.
void Trim(WString& text) {
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, TEXT("\r\n")) == 0)
        text.resize(text.size() - 2);
    if (!text.empty() && text.back() == TEXT('.'))
        text.pop_back();
}

}  // namespace

WString GetErrorDescription(uint32_t code, uint32_t options, uint32_t language) {
    const uint32_t wrapBits = kErrorTextWrapDescribed | kErrorTextWrapCode | kErrorTextWrapByCode;
    WString text = Message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, language);
    if (text.empty())
        text = Message(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0);

    const AgentMessageModuleView agent = GetAgentMessageModule();
    const bool agentUsable = agent.error == 0 && agent.module;
    if (text.empty() && agentUsable)
        text = FromModule(agent.module, code, language);
    if (text.empty()) {
        const SystemMessageModulesView system = GetSystemMessageModules();
        if (system.wmi)
            text = FromModuleAnyLanguage(system.wmi, code, language);
        if (text.empty() && IsInternetCode(code) && system.internet)
            text = FromModuleAnyLanguage(system.internet, code, language);
    }
    if (text.empty()) {
        if (options & kErrorTextNoFallback)
            return {};
        if (agentUsable) {
            const DWORD_PTR arguments[] = {code};
            text = FromModule(agent.module, kAgentCodeMessage, language, arguments);
            if (text.empty())
                return {};
        } else if (!(options & wrapBits)) {
            text = TEXT("No error description available");
        } else {
            text = kvwin::Format(TEXT("No error description available (0x%08X)"), code);
        }
    }
    Trim(text);

    if (agentUsable && (options & wrapBits)) {
        DWORD wrapper;
        if (options & kErrorTextWrapByCode)
            wrapper = (code >= 10000 && code <= 11999) || IsInternetCode(code)
                          ? kAgentCodeRangeMessage
                          : kAgentDescribedMessage;
        else
            wrapper = (options & kErrorTextWrapDescribed) ? kAgentDescribedMessage
                                                          : kAgentCodeRangeMessage;
        const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str()), code};
        WString wrapped = FromModule(agent.module, wrapper, language, arguments);
        if (!wrapped.empty()) {
            Trim(wrapped);
            text = wrapped;
        }
    }
    return text;
}

WString GetErrorText(uint32_t code) {
    return GetErrorDescription(code, kErrorTextNoFallback, 1033);
}

WString DescribeErrorCode(uint32_t code) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%08X", code);
    WString description = kvwin::FromUtf8(number);
    if (const char* name = kvwin::MessageSymbolicName(code))
        description += TEXT(" ") + kvwin::FromUtf8(name);
    WString text = GetErrorText(code);
    while (!text.empty() &&
           (text.back() == TEXT('\n') || text.back() == TEXT('\r') || text.back() == TEXT(' ')))
        text.pop_back();
    if (!text.empty())
        description += TEXT(" (") + text + TEXT(")");
    return description;
}

void ExplainFailure(const WString& text) noexcept {
    try {
        const WString line = TEXT("kavrel: ") + text + TEXT("\n");
        OutputDebugStringW(line.c_str());
    } catch (...) {
        // Out of memory: the reason is lost, the caller carries on.
    }
}

HRESULT GetComErrorText(const _com_error& error, WString& text) {
    const _bstr_t description = error.Description();
    if (description.length() > 0)
        text.assign(static_cast<const WCHAR*>(description), description.length());
    else
        text = GetErrorDescription(static_cast<uint32_t>(error.Error()), 0, 1033);
    return error.Error();
}
