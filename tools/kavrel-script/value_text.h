// The texts kavrel-script prints: script values as WScript.Echo shows them, and script
// errors, with the record their descriptions come in.
//
// Nothing here keeps state; any thread.
#pragma once

#include <string>

#include "win/oleauto.h"

// An EXCEPINFO that starts empty and frees its texts with it.
class ExceptionRecord {
  public:
    ExceptionRecord() = default;
    ~ExceptionRecord() {
        SysFreeString(record_.bstrSource);
        SysFreeString(record_.bstrDescription);
        SysFreeString(record_.bstrHelpFile);
    }
    ExceptionRecord(const ExceptionRecord&) = delete;
    ExceptionRecord& operator=(const ExceptionRecord&) = delete;
    EXCEPINFO* get() { return &record_; }

  private:
    EXCEPINFO record_{};
};

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
