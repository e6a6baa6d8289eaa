#include "event_model.h"

namespace kvhub {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendNumber(std::u16string& out, long long value) {
    // Digits from the last, in a buffer long enough for any long long with its sign.
    char16_t digits[24];
    size_t at = sizeof digits / sizeof digits[0];
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        digits[--at] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        digits[--at] = u'-';
    out.append(digits + at, sizeof digits / sizeof digits[0] - at);
}

// Appends `text` with XML's special characters written as references and the characters
// XML cannot hold (controls, lone surrogates, U+FFFE, U+FFFF) as U+FFFD.
// A character written as it is, needing neither a reference nor a look at its neighbour.
bool IsPlain(char16_t c) {
    return c >= 0x20 && c != u'&' && c != u'<' && c != u'>' && c != u'"' && c != u'\'' &&
           (c < 0xD800 || c > 0xDFFF) && c < 0xFFFE;
}

void AppendEscaped(std::u16string& out, const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        // Plain characters go over a run at a time.
        size_t run = i;
        while (run < text.size() && IsPlain(text[run]))
            ++run;
        if (run > i) {
            out.append(text, i, run - i);
            i = run - 1;
            continue;
        }
        char16_t c = text[i];
        switch (c) {
            case u'&':
                out += u"&amp;";
                continue;
            case u'<':
                out += u"&lt;";
                continue;
            case u'>':
                out += u"&gt;";
                continue;
            case u'"':
                out += u"&quot;";
                continue;
            case u'\'':
                out += u"&apos;";
                continue;
            case u'\t':
                out += u"&#9;";
                continue;
            case u'\n':
                out += u"&#10;";
                continue;
            case u'\r':
                out += u"&#13;";
                continue;
            default:
                break;
        }
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            out += c;
            out += text[++i];
        } else if (c < 0x20 || IsHighSurrogate(c) || IsLowSurrogate(c) || c == 0xFFFE ||
                   c == 0xFFFF) {
            out += u'\xFFFD';
        } else {
            out += c;
        }
    }
}

void AppendValue(std::u16string& out, uint32_t column, const std::u16string* value) {
    out += u"<value column=\"";
    AppendNumber(out, column);
    if (!value) {
        out += u"\"/>";
        return;
    }
    out += u"\">";
    AppendEscaped(out, *value);
    out += u"</value>";
}

void AppendRow(std::u16string& out, const HubBlock& block, const HubRow& row) {
    // The columns written for this row: its own values and the table's columns, in order.
    // Both maps are sorted by column, so one pass over the two gives the union in order.
    out += u"<row>";
    auto option = block.column_options.begin();
    auto value = row.values.begin();
    for (;;) {
        while (option != block.column_options.end() && !(option->second & kColumnInTable))
            ++option;
        const bool options_left = option != block.column_options.end();
        const bool values_left = value != row.values.end();
        if (!options_left && !values_left)
            break;
        if (values_left && (!options_left || value->first <= option->first)) {
            if (options_left && option->first == value->first)
                ++option;
            AppendValue(out, value->first, &value->second);
            ++value;
        } else {
            AppendValue(out, option->first, nullptr);
            ++option;
        }
    }
    out += u"</row>\n";
}

}  // namespace

std::u16string EscapeForXml(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    AppendEscaped(out, text);
    return out;
}

std::u16string EventXml(const HubEventModel& model) {
    std::u16string out;
    out.reserve(1024);
    out += u"<event guid=\"";
    AppendEscaped(out, model.guid);
    out += u"\" option=\"";
    AppendNumber(out, model.option);
    out += u"\">\n";
    for (const HubBlock& block : model.blocks) {
        out += u"<resource name=\"";
        AppendEscaped(out, block.resource_name);
        out += u"\" dataclass=\"";
        AppendEscaped(out, block.data_class);
        out += u"\">\n";
        for (const HubRow& row : block.rows)
            AppendRow(out, block, row);
        out += u"</resource>\n";
    }
    out += u"</event>";
    return out;
}

}  // namespace kvhub
