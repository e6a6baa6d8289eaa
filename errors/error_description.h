// Texts for Win32 error codes, HRESULTs and COM errors, and COM errors raised with a text.
//
// Descriptions come from the system message table, the agent's message module
// "ZorAgentExt.dll", and the WMI and Internet message libraries, in that order. All
// functions may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "kvwin/wide_string.h"
#include "win/types.h"

class _com_error;

// Option bits of GetErrorDescription.
inline constexpr uint32_t kErrorTextWrapDescribed = 1;  // wrap in the agent's message 0x8FA20001
inline constexpr uint32_t kErrorTextWrapCode = 2;       // wrap in the agent's message 0x8FA20002
inline constexpr uint32_t kErrorTextWrapByCode = 4;     // choose the wrapping message by the code
inline constexpr uint32_t kErrorTextNoFallback = 8;     // empty when no table knows the code

// The description of a Win32 code or an HRESULT, possibly empty.
WString GetErrorDescription(uint32_t code, uint32_t options, uint32_t language);

// GetErrorDescription with no fallback text, in US English.
WString GetErrorText(uint32_t code);

// "0x80041010 WBEM_E_INVALID_CLASS (The class is not valid.)": the code, its symbolic name
// and its text, each when the tables know it; for diagnostics.
WString DescribeErrorCode(uint32_t code);

// Hands a reason for whoever runs the library to the debug channel (OutputDebugStringW) as
// one line "kavrel: <text>". A listening tool shows it; nobody else sees it, and neither
// the agent log nor any status changes. Never throws.
void ExplainFailure(const WString& text) noexcept;

// The error's own description when it has one, else the description of its HRESULT; returns
// the HRESULT.
HRESULT GetComErrorText(const _com_error& error, WString& text);

// Throw a _com_error carrying hr and an error information object with description.
[[noreturn]] void ThrowComError(HRESULT hr, const WCHAR* description);

// Throw a _com_error with hr and the text "<text> <system message of systemCode>".
[[noreturn]] void ThrowComErrorWithSystemText(HRESULT hr, uint32_t systemCode, const WCHAR* text);
