// The conversions that only rewrite the text: booleans to bits, the operating system's
// name, the packed DNS version, the scheduled job's name and creator.
#include <cstdint>

#include "kvwin/format.h"
#include "win/text.h"
#include "wmi/conversion/data_conversion.h"

namespace {

bool IsCrtSpace(WCHAR c) {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// What swscanf's "%lu" stores into a 32-bit unsigned long: white space, an optional sign,
// decimal digits; the number kept modulo 2^32 and negated for a leading '-'. False when no
// digit came, in which case the caller's number stays as it was.
bool ScanUnsigned32(const WCHAR* text, uint32_t& number) {
    while (IsCrtSpace(*text))
        ++text;
    bool negative = false;
    if (*text == u'+' || *text == u'-') {
        negative = *text == u'-';
        ++text;
    }
    if (*text < u'0' || *text > u'9')
        return false;
    uint32_t read = 0;
    for (; *text >= u'0' && *text <= u'9'; ++text)
        read = read * 10u + static_cast<uint32_t>(*text - u'0');
    number = negative ? 0u - read : read;
    return true;
}

}  // namespace

void CDataConversion::GetSQLBooleantoBit(const WCHAR* value, std::u16string& result) {
    if (_wcsicmp(value, u"True") == 0)
        result = u"1";
    else if (_wcsicmp(value, u"False") == 0)
        result = u"0";
}

void CDataConversion::GetOperatingSystemName(const WCHAR* value, std::u16string& result) {
    // Win32_OperatingSystem's Name is "caption|windows folder|boot partition".
    const std::u16string_view text(value);
    const size_t bar = text.find(u'|');
    if (bar != std::u16string_view::npos)
        result = std::u16string(text.substr(0, bar));
}

void CDataConversion::FormatDNSVersion(const WCHAR* value, std::u16string& result) {
    // The DNS server packs its version as major in the low byte, minor in the next byte and
    // the build number in the high word.
    uint32_t packed = 0;
    ScanUnsigned32(value, packed);
    result = kvwin::Format(u"%d.%d.%d", static_cast<int>(packed & 0xFFu),
                           static_cast<int>((packed >> 8) & 0xFFu), static_cast<int>(packed >> 16));
}

void CDataConversion::GetJobName(const WCHAR* value, std::u16string& result) {
    // Jobs scheduled with the at command are named after their id: "At1", "At2", ...
    result = u"At" + std::u16string(value);
}

void CDataConversion::GetJobCreatorName(const WCHAR*, std::u16string& result) {
    // Scheduled jobs run as, and are reported as created by, the system account.
    result = u"SYSTEM";
}
