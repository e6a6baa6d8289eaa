#include "log/event_record.h"

#include <cstring>

#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "win/text.h"
#include "xml/text_escape.h"

namespace {

constexpr size_t kHeaderBufferBytes = 2340;

WString Decimal(uint32_t value) {
    WString text;
    do {
        text.insert(text.begin(), static_cast<WCHAR>(TEXT('0') + value % 10));
        value /= 10;
    } while (value);
    return text;
}

// Writes the record into a buffer sized for the worst case beforehand, so nothing on the way
// checks or grows it: ASCII is copied, other text goes through the system's converter.
class RecordWriter {
  public:
    explicit RecordWriter(char* at) : m_at(at) {}
    char* End() const { return m_at; }

    void Literal(std::string_view text) {
        std::memcpy(m_at, text.data(), text.size());
        m_at += text.size();
    }

    void Decimal(uint32_t value) {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (n)
            *m_at++ = digits[--n];
    }

    // At most 3 bytes per unit (a pair's 4 bytes stand for two units). Runs of ASCII are
    // copied; the rest is converted in pieces that keep surrogate pairs whole (a lone
    // surrogate becomes U+FFFD).
    void Utf8(WStringView text) {
        constexpr size_t kPiece = 65536;
        size_t i = 0;
        while (i < text.size()) {
            size_t end = i;
            // Eight units at a time while all eight are ASCII.
            for (uint64_t a, b; end + 8 <= text.size(); end += 8, m_at += 8) {
                std::memcpy(&a, text.data() + end, 8);
                std::memcpy(&b, text.data() + end + 4, 8);
                if ((a | b) & 0xFF80FF80FF80FF80u)
                    break;
                for (int k = 0; k < 8; ++k)
                    m_at[k] = static_cast<char>(text[end + k]);
            }
            while (end < text.size() && text[end] < 0x80)
                *m_at++ = static_cast<char>(text[end++]);
            if (end > i) {
                i = end;
                continue;
            }
            while (end < text.size() && text[end] >= 0x80 && end - i < kPiece)
                ++end;
            if (end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF)
                ++end;
            const int n =
                WideCharToMultiByte(CP_UTF8, 0, text.data() + i, static_cast<int>(end - i), m_at,
                                    static_cast<int>(3 * (end - i)), nullptr, nullptr);
            m_at += n > 0 ? n : 0;
            i = end;
        }
    }

  private:
    char* m_at;
};

std::string Utf8Of(WStringView text) {
    std::string out(3 * text.size(), '\0');
    RecordWriter writer(out.data());
    writer.Utf8(text);
    out.resize(static_cast<size_t>(writer.End() - out.data()));
    return out;
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

LogDateText::LogDateText(const SYSTEMTIME& local, LONG biasMinutes) {
    // "%02d/%02d/%04d %02d:%02d:%02d.%03d0000 %c%02d:%02d", written out: one per record.
    const int64_t magnitude = biasMinutes < 0 ? -static_cast<int64_t>(biasMinutes) : biasMinutes;
    const auto field = [this](uint64_t value, int width, char after) {
        char digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        for (int pad = n; pad < width; ++pad)
            m_text[m_size++] = '0';
        while (n)
            m_text[m_size++] = digits[--n];
        if (after)
            m_text[m_size++] = after;
    };
    field(local.wMonth, 2, '/');
    field(local.wDay, 2, '/');
    field(local.wYear, 4, ' ');
    field(local.wHour, 2, ':');
    field(local.wMinute, 2, ':');
    field(local.wSecond, 2, '.');
    field(local.wMilliseconds, 3, 0);
    for (const char c : std::string_view("0000 "))
        m_text[m_size++] = c;
    m_text[m_size++] = biasMinutes > 0 ? '-' : '+';
    field(static_cast<uint64_t>(magnitude / 60), 2, ':');
    field(static_cast<uint64_t>(magnitude % 60), 2, 0);
}

WString FormatLogDate(const SYSTEMTIME& local, LONG biasMinutes) {
    const LogDateText date(local, biasMinutes);
    const std::string_view text = date.View();
    return WString(text.begin(), text.end());
}

RecordIdentity EncodeRecordIdentity(const RecordOrigin& origin) {
    return {Utf8Of(origin.hostName), Utf8Of(origin.module), Utf8Of(origin.process)};
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

namespace {

// Whether a message needs the caller's copy: a line feed without its carriage return, or a
// "]]" that may end the CDATA section. One scan.
bool MessageNeedsWork(WStringView message) {
    // Four units at a time while none of them is a line feed or a ']'.
    constexpr uint64_t kOnes = 0x0001000100010001u;
    constexpr uint64_t kHigh = 0x8000800080008000u;
    const auto hasUnit = [](uint64_t units, uint64_t unit) {
        const uint64_t x = units ^ (unit * kOnes);
        return ((x - kOnes) & ~x & kHigh) != 0;
    };
    size_t i = 0;
    for (uint64_t units; i + 4 <= message.size(); i += 4) {
        std::memcpy(&units, message.data() + i, 8);
        if (hasUnit(units, TEXT('\n')) || hasUnit(units, TEXT(']')))
            break;
    }
    for (; i < message.size(); ++i) {
        const WCHAR c = message[i];
        if ((c == TEXT('\n') && (i == 0 || message[i - 1] != TEXT('\r'))) ||
            (c == TEXT(']') && i + 1 < message.size() && message[i + 1] == TEXT(']')))
            return true;
    }
    return false;
}

}  // namespace

void ComposeEventRecord(std::string& record, std::string_view date, uint32_t level,
                        const RecordOrigin& origin, const RecordIdentity& identity,
                        WStringView sourceText, WStringView messageText, WString& sourceCopy,
                        WString& messageCopy) {
    // Most texts have nothing to change: they are written from where they are.
    WStringView message = messageText;
    if (MessageNeedsWork(messageText)) {
        messageCopy.assign(messageText);
        NormalizeLineBreaks(messageCopy);
        if (messageCopy.find(TEXT("]]")) != WString::npos)
            EscapeCDataString(messageCopy);
        message = messageCopy;
    }
    WStringView source = sourceText;
    if (sourceText.find_first_of(TEXT("&<>\"'")) != WStringView::npos) {
        sourceCopy.assign(sourceText);
        EscapeXmlString(sourceCopy);
        source = sourceCopy;
    }

    static constexpr std::string_view kParts[] = {
        "\r\n<event date='", "' severity='",       "' hostName='",   "' source='",
        "' module='",        "' process='",        "' pid='",        "' thread='",
        "' tickCount='",     "' >\r\n  <![CDATA[", "]]>\r\n</event>"};
    size_t bound = date.size() + identity.hostName.size() + identity.module.size() +
                   identity.process.size() + 3 * (source.size() + message.size()) + 5 * 10;
    for (const std::string_view part : kParts)
        bound += part.size();
    record.resize(bound);
    RecordWriter out(record.data());
    out.Literal(kParts[0]);
    out.Literal(date);
    out.Literal(kParts[1]);
    out.Decimal(level);
    out.Literal(kParts[2]);
    out.Literal(identity.hostName);
    out.Literal(kParts[3]);
    out.Utf8(source);
    out.Literal(kParts[4]);
    out.Literal(identity.module);
    out.Literal(kParts[5]);
    out.Literal(identity.process);
    out.Literal(kParts[6]);
    out.Decimal(origin.pid);
    out.Literal(kParts[7]);
    out.Decimal(origin.thread);
    out.Literal(kParts[8]);
    out.Decimal(origin.tickCount);
    out.Literal(kParts[9]);
    out.Utf8(message);
    out.Literal(kParts[10]);
    record.resize(static_cast<size_t>(out.End() - record.data()));
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
