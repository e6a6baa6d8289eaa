#include "log/event_record.h"

#include <cstdlib>

#include "kvwin/format.h"
#include "xml/text_escape.h"

namespace {

constexpr size_t kHeaderBufferBytes = 2340;

void AppendDecimal(std::u16string& out, uint32_t value) {
    char16_t digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value);
    while (n)
        out.push_back(digits[--n]);
}

std::u16string Decimal(uint32_t value) {
    std::u16string text;
    AppendDecimal(text, value);
    return text;
}

// Appends wide text as bytes of the same value; false for a character above 255.
bool AppendLatin1(std::string& out, std::u16string_view text) {
    for (char16_t c : text) {
        if (c > 0xFF)
            return false;
        out.push_back(static_cast<char>(static_cast<unsigned char>(c)));
    }
    return true;
}

}  // namespace

std::u16string FormatLogDate(const SYSTEMTIME& local, LONG biasMinutes) {
    const LONG magnitude = std::labs(biasMinutes);
    return kvwin::Format(u"%02d/%02d/%04d %02d:%02d:%02d.%03d0000 %c%02d:%02d", local.wMonth,
                         local.wDay, local.wYear, local.wHour, local.wMinute, local.wSecond,
                         local.wMilliseconds, biasMinutes > 0 ? u'-' : u'+', magnitude / 60,
                         magnitude % 60);
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

void NormalizeLineBreaks(std::u16string& text) {
    size_t lone = 0;
    for (size_t i = 0; i < text.size(); ++i)
        lone += text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r');
    if (!lone)
        return;
    std::u16string result;
    result.reserve(text.size() + lone);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            result.push_back(u'\r');
        result.push_back(text[i]);
    }
    text.swap(result);
}

void ComposeEventRecord(std::u16string& record, std::u16string_view date, uint32_t level,
                        const RecordOrigin& origin, std::u16string& source,
                        std::u16string& message) {
    NormalizeLineBreaks(message);
    EscapeCDataString(message);
    EscapeXmlString(source);

    record.clear();
    record.append(u"\r\n<event date='").append(date);
    record.append(u"' severity='");
    AppendDecimal(record, level);
    record.append(u"' hostName='").append(origin.hostName);
    record.append(u"' source='").append(source);
    record.append(u"' module='").append(origin.module);
    record.append(u"' process='").append(origin.process);
    record.append(u"' pid='");
    AppendDecimal(record, origin.pid);
    record.append(u"' thread='");
    AppendDecimal(record, origin.thread);
    record.append(u"' tickCount='");
    AppendDecimal(record, origin.tickCount);
    record.append(u"' >\r\n  <![CDATA[").append(message).append(u"]]>\r\n</event>");
}

bool ComposeHeaderRecord(std::string& header, std::u16string_view date, const RecordOrigin& origin,
                         std::u16string_view headerText) {
    header.clear();
    const bool converted =
        AppendLatin1(header, u"<event date='") && AppendLatin1(header, date) &&
        AppendLatin1(header, u"' severity='32' hostName='") &&
        AppendLatin1(header, origin.hostName) &&
        AppendLatin1(header, u"' source='Log File Start' module='") &&
        AppendLatin1(header, origin.module) && AppendLatin1(header, u"' process='") &&
        AppendLatin1(header, origin.process) && AppendLatin1(header, u"' pid='") &&
        AppendLatin1(header, Decimal(origin.pid)) && AppendLatin1(header, u"' thread='") &&
        AppendLatin1(header, Decimal(origin.thread)) && AppendLatin1(header, u"' tickCount='") &&
        AppendLatin1(header, Decimal(origin.tickCount)) &&
        AppendLatin1(header, u"'>\r\n <![CDATA[") && AppendLatin1(header, headerText) &&
        AppendLatin1(header, u"]]>\r\n</event>");
    if (!converted || header.size() >= kHeaderBufferBytes) {
        header.clear();
        return false;
    }
    return true;
}
