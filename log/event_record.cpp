#include "log/event_record.h"

#include <cstdlib>

#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "win/text.h"
#include "xml/text_escape.h"

namespace {

constexpr size_t kHeaderBufferBytes = 2340;

template <class String>
void AppendDecimal(String& out, uint32_t value) {
    typename String::value_type digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<typename String::value_type>('0' + value % 10);
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

// Appends UTF-16 text as UTF-8: runs of ASCII directly, the rest through the system's
// converter (a lone surrogate becomes U+FFFD), in pieces that keep surrogate pairs whole.
void AppendUtf8(std::string& out, WStringView text) {
    constexpr size_t kPiece = 65536;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = i;
        while (end < text.size() && text[end] < 0x80)
            ++end;
        if (end > i) {
            const size_t at = out.size();
            out.resize(at + (end - i));
            for (size_t k = i; k < end; ++k)
                out[at + (k - i)] = static_cast<char>(text[k]);
            i = end;
            continue;
        }
        while (end < text.size() && text[end] >= 0x80 && end - i < kPiece)
            ++end;
        if (end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF)
            ++end;
        const size_t at = out.size();
        out.resize(at + 3 * (end - i));
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, text.data() + i, static_cast<int>(end - i),
                                out.data() + at, static_cast<int>(3 * (end - i)), nullptr, nullptr);
        out.resize(at + static_cast<size_t>(n > 0 ? n : 0));
        i = end;
    }
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
    // "%02d/%02d/%04d %02d:%02d:%02d.%03d0000 %c%02d:%02d", written out: one per record.
    const LONG magnitude = std::labs(biasMinutes);
    WString date;
    date.reserve(32);
    const auto field = [&date](uint32_t value, int width, WCHAR after) {
        WCHAR digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<WCHAR>(TEXT('0') + value % 10);
            value /= 10;
        } while (value);
        for (int pad = n; pad < width; ++pad)
            date.push_back(TEXT('0'));
        while (n)
            date.push_back(digits[--n]);
        if (after)
            date.push_back(after);
    };
    field(local.wMonth, 2, TEXT('/'));
    field(local.wDay, 2, TEXT('/'));
    field(local.wYear, 4, TEXT(' '));
    field(local.wHour, 2, TEXT(':'));
    field(local.wMinute, 2, TEXT(':'));
    field(local.wSecond, 2, TEXT('.'));
    field(local.wMilliseconds, 3, 0);
    date.append(TEXT("0000 "));
    date.push_back(biasMinutes > 0 ? TEXT('-') : TEXT('+'));
    field(static_cast<uint32_t>(magnitude / 60), 2, TEXT(':'));
    field(static_cast<uint32_t>(magnitude % 60), 2, 0);
    return date;
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

void ComposeEventRecord(std::string& record, WStringView date, uint32_t level,
                        const RecordOrigin& origin, WString& source, WString& message) {
    NormalizeLineBreaks(message);
    // Most texts have nothing to escape: one scan instead of a copy per replacement.
    if (message.find(TEXT("]]")) != WString::npos)
        EscapeCDataString(message);
    if (source.find_first_of(TEXT("&<>\"'")) != WString::npos)
        EscapeXmlString(source);

    record.clear();
    record.append("\r\n<event date='");
    AppendUtf8(record, date);
    record.append("' severity='");
    AppendDecimal(record, level);
    record.append("' hostName='");
    AppendUtf8(record, origin.hostName);
    record.append("' source='");
    AppendUtf8(record, source);
    record.append("' module='");
    AppendUtf8(record, origin.module);
    record.append("' process='");
    AppendUtf8(record, origin.process);
    record.append("' pid='");
    AppendDecimal(record, origin.pid);
    record.append("' thread='");
    AppendDecimal(record, origin.thread);
    record.append("' tickCount='");
    AppendDecimal(record, origin.tickCount);
    record.append("' >\r\n  <![CDATA[");
    AppendUtf8(record, message);
    record.append("]]>\r\n</event>");
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
