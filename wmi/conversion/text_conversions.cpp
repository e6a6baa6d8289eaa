// The conversions that only rewrite the text: booleans to bits, the operating system's
// name, the packed DNS version, the scheduled job's name and creator.
#include <cstdint>

#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "win/text.h"
#include "wmi/conversion/data_conversion.h"

namespace {

bool IsCrtSpace(WCHAR c) {
    return c == TEXT(' ') || (c >= TEXT('\t') && c <= TEXT('\r'));
}

// What swscanf's "%lu" stores into a 32-bit unsigned long: white space, an optional sign,
// decimal digits; the number kept modulo 2^32 and negated for a leading '-'. False when no
// digit came, in which case the caller's number stays as it was.
bool ScanUnsigned32(const WCHAR* text, uint32_t& number) {
    while (IsCrtSpace(*text))
        ++text;
    bool negative = false;
    if (*text == TEXT('+') || *text == TEXT('-')) {
        negative = *text == TEXT('-');
        ++text;
    }
    if (*text < TEXT('0') || *text > TEXT('9'))
        return false;
    uint32_t read = 0;
    for (; *text >= TEXT('0') && *text <= TEXT('9'); ++text)
        read = read * 10u + static_cast<uint32_t>(*text - TEXT('0'));
    number = negative ? 0u - read : read;
    return true;
}

}  // namespace

void CDataConversion::GetSQLBooleantoBit(const WCHAR* value, WString& result) {
    if (_wcsicmp(value, TEXT("True")) == 0)
        result = TEXT("1");
    else if (_wcsicmp(value, TEXT("False")) == 0)
        result = TEXT("0");
}

void CDataConversion::GetOperatingSystemName(const WCHAR* value, WString& result) {
    // Win32_OperatingSystem's Name is "caption|windows folder|boot partition".
    const WStringView text(value);
    const size_t bar = text.find(TEXT('|'));
    if (bar != WStringView::npos)
        result = WString(text.substr(0, bar));
}

void CDataConversion::FormatDNSVersion(const WCHAR* value, WString& result) {
    // The DNS server packs its version as major in the low byte, minor in the next byte and
    // the build number in the high word.
    uint32_t packed = 0;
    ScanUnsigned32(value, packed);
    result = kvwin::Format(TEXT("%d.%d.%d"), static_cast<int>(packed & 0xFFu),
                           static_cast<int>((packed >> 8) & 0xFFu), static_cast<int>(packed >> 16));
}

void CDataConversion::GetJobName(const WCHAR* value, WString& result) {
    // Jobs scheduled with the at command are named after their id: "At1", "At2", ...
    result = TEXT("At") + WString(value);
}

void CDataConversion::GetJobCreatorName(const WCHAR*, WString& result) {
    // Scheduled jobs run as, and are reported as created by, the system account.
    result = TEXT("SYSTEM");
}
