#include "log/event_record.h"

#include <cstdlib>

#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "xml/text_escape.h"

namespace {

constexpr size_t kHeaderBufferBytes = 2340;

void AppendDecimal(WString& out, uint32_t value) {
    WCHAR digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<WCHAR>(TEXT('0') + value % 10);
        value /= 10;
    } while (value);
    while (n)
        out.push_back(digits[--n]);
}

WString Decimal(uint32_t value) {
    WString text;
    AppendDecimal(text, value);
    return text;
}

// Appends wide text as bytes of the same value; false for a character above 255.
bool AppendLatin1(std::string& out, WStringView text) {
    for (WCHAR c : text) {
        if (c > 0xFF)
            return false;
        out.push_back(static_cast<char>(static_cast<unsigned char>(c)));
    }
    return true;
}

}  // namespace

WString FormatLogDate(const SYSTEMTIME& local, LONG biasMinutes) {
    const LONG magnitude = std::labs(biasMinutes);
    return kvwin::Format(TEXT("%02d/%02d/%04d %02d:%02d:%02d.%03d0000 %c%02d:%02d"), local.wMonth,
                         local.wDay, local.wYear, local.wHour, local.wMinute, local.wSecond,
                         local.wMilliseconds, biasMinutes > 0 ? TEXT('-') : TEXT('+'),
                         magnitude / 60, magnitude % 60);
}

LONG CurrentUtcBias() {
    TIME_ZONE_INFORMATION zone{};
    switch (GetTimeZoneInformation(&zone)) {
        case TIME_ZONE_ID_STANDARD:
            return zone.Bias + zone.StandardBias;
        case TIME_ZONE_ID_DAYLIGHT:
            return zone.Bias + zone.DaylightBias;
        case TIME_ZONE_ID_UNKNOWN:
            return zone.Bias;
        default:
            return 0;
    }
}

void NormalizeLineBreaks(WString& text) {
    size_t lone = 0;
    for (size_t i = 0; i < text.size(); ++i)
        lone += text[i] == TEXT('\n') && (i == 0 || text[i - 1] != TEXT('\r'));
    if (!lone)
        return;
    WString result;
    result.reserve(text.size() + lone);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == TEXT('\n') && (i == 0 || text[i - 1] != TEXT('\r')))
            result.push_back(TEXT('\r'));
        result.push_back(text[i]);
    }
    text.swap(result);
}

void ComposeEventRecord(WString& record, WStringView date, uint32_t level,
                        const RecordOrigin& origin, WString& source, WString& message) {
    NormalizeLineBreaks(message);
    EscapeCDataString(message);
    EscapeXmlString(source);

    record.clear();
    record.append(TEXT("\r\n<event date='")).append(date);
    record.append(TEXT("' severity='"));
    AppendDecimal(record, level);
    record.append(TEXT("' hostName='")).append(origin.hostName);
    record.append(TEXT("' source='")).append(source);
    record.append(TEXT("' module='")).append(origin.module);
    record.append(TEXT("' process='")).append(origin.process);
    record.append(TEXT("' pid='"));
    AppendDecimal(record, origin.pid);
    record.append(TEXT("' thread='"));
    AppendDecimal(record, origin.thread);
    record.append(TEXT("' tickCount='"));
    AppendDecimal(record, origin.tickCount);
    record.append(TEXT("' >\r\n  <![CDATA[")).append(message).append(TEXT("]]>\r\n</event>"));
}

bool ComposeHeaderRecord(std::string& header, WStringView date, const RecordOrigin& origin,
                         WStringView headerText) {
    header.clear();
    const bool converted =
        AppendLatin1(header, TEXT("<event date='")) && AppendLatin1(header, date) &&
        AppendLatin1(header, TEXT("' severity='32' hostName='")) &&
        AppendLatin1(header, origin.hostName) &&
        AppendLatin1(header, TEXT("' source='Log File Start' module='")) &&
        AppendLatin1(header, origin.module) && AppendLatin1(header, TEXT("' process='")) &&
        AppendLatin1(header, origin.process) && AppendLatin1(header, TEXT("' pid='")) &&
        AppendLatin1(header, Decimal(origin.pid)) && AppendLatin1(header, TEXT("' thread='")) &&
        AppendLatin1(header, Decimal(origin.thread)) &&
        AppendLatin1(header, TEXT("' tickCount='")) &&
        AppendLatin1(header, Decimal(origin.tickCount)) &&
        AppendLatin1(header, TEXT("'>\r\n <![CDATA[")) && AppendLatin1(header, headerText) &&
        AppendLatin1(header, TEXT("]]>\r\n</event>"));
    if (!converted || header.size() >= kHeaderBufferBytes) {
        header.clear();
        return false;
    }
    return true;
}
