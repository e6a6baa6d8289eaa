// The texts kavrel-script prints: script values as WScript.Echo shows them, and script
// errors.
//
// Nothing here keeps state; any thread.
#pragma once

#include <string>

#include "win/oleauto.h"

// A value as Echo and the streams' Write print it: Empty (or a missing argument, null) as
// nothing, Null as "null", True and False as words, everything else converted to text by
// VariantChangeType (an object through its default member). Fails with the conversion's
// HRESULT (DISP_E_TYPEMISMATCH for an array) when the value has no text.
HRESULT ValueText(const VARIANT* value, std::u16string& text);

// "FILE(LINE, COLUMN) error 800A000D: text": line and column as given (1-based), the code
// in eight upper-case hex digits.
std::string FormatScriptError(const std::string& file, unsigned long line, long column, HRESULT hr,
                              const std::u16string& description);

// "0x80040154 (Class not registered)": a code and the system's text for it, when it has one.
std::string DescribeHResult(HRESULT hr);
