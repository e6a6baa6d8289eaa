// The named conversion functions a WMI query's property binding may apply to every value of
// its property, after the value has been rendered as text and before it lands in its column.
//
//   CDataConversion::Process(value.c_str(), TEXT("GetHubTimeFormat"), TEXT(""), value);
//
// Process picks the function by its name, ignoring ASCII letter case; a name that matches
// none leaves the value alone and logs a warning. The caller may pass the string that holds
// the value as the result: every function reads all it needs of the value before it writes
// the result, and a function that does not apply leaves the result untouched.
//
// Failures are raised, never caught here: std::out_of_range for a date-time text shorter
// than 12 characters, _com_error E_FAIL for a date-time field outside its range,
// _com_error E_INVALIDARG when the date-time cannot be placed on the local time line, and
// the described _com_error of the version-resource reader when a printer driver's
// configuration file has no version resource.
//
// No state: every member is static and may be called from any thread. The date-time
// functions read the process's time zone (TZ, else the system's) at the moment of the call.
#pragma once

#include <string>

#include "kvwin/wide_string.h"
#include "win/types.h"

class CDataConversion {
  public:
    // Applies the function named `function` to `value` and stores the converted text in
    // `result`. `param` is accepted for the rule's sake and used by no function. Null texts
    // count as empty.
    static void Process(const WCHAR* value, const WCHAR* function, const WCHAR* param,
                        WString& result);

    // The functions themselves, each with the aliasing rule of Process.

    // A WMI date-time re-expressed through the local zone: the wall-clock digits, placed on
    // the local time line, are taken as UTC and shifted to local time.
    static void GetHubTimeFormat(const WCHAR* value, WString& result);
    // "True" gives "1", "False" gives "0" (any letter case); anything else stays.
    static void GetSQLBooleantoBit(const WCHAR* value, WString& result);
    // The text before the first '|'.
    static void GetOperatingSystemName(const WCHAR* value, WString& result);
    // A packed DNS server version: low byte, next byte, high 16 bits as "a.b.c".
    static void FormatDNSVersion(const WCHAR* value, WString& result);
    // "At" followed by the value.
    static void GetJobName(const WCHAR* value, WString& result);
    // Always "SYSTEM".
    static void GetJobCreatorName(const WCHAR* value, WString& result);
    // The domain of an account name, else the part before a backslash, else this computer.
    static void GetDomainName(const WCHAR* value, WString& result);
    // The product version of a printer's driver (its configuration file's version resource).
    static void GetProviderVersion(const WCHAR* value, WString& result);
    // A WMI date-time normalised as local time.
    static void GetAsSystemTimeFormat(const WCHAR* value, WString& result);
    // A WMI date-time's digits reformatted, without range checks.
    static void GetSystemTimeFormat(const WCHAR* value, WString& result);
};
