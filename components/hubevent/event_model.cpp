#include "event_model.h"

#include <set>

namespace kvhub {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendNumber(std::u16string& out, long long value) {
    std::string digits = std::to_string(value);
    out.append(digits.begin(), digits.end());
}

void AppendRow(std::u16string& out, const HubBlock& block, const HubRow& row) {
    // The columns written for this row: its own values and the table's columns, in order.
    std::set<uint32_t> columns;
    for (const auto& [column, option] : block.column_options) {
        if (option & kColumnInTable)
            columns.insert(column);
    }
    for (const auto& entry : row.values)
        columns.insert(entry.first);
    out += u"<row>";
    for (uint32_t column : columns) {
        out += u"<value column=\"";
        AppendNumber(out, column);
        auto found = row.values.find(column);
        if (found == row.values.end()) {
            out += u"\"/>";
            continue;
        }
        out += u"\">";
        out += EscapeForXml(found->second);
        out += u"</value>";
    }
    out += u"</row>\n";
}

}  // namespace

std::u16string EscapeForXml(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
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
    return out;
}

std::u16string EventXml(const HubEventModel& model) {
    std::u16string out = u"<event guid=\"" + EscapeForXml(model.guid) + u"\" option=\"";
    AppendNumber(out, model.option);
    out += u"\">\n";
    for (const HubBlock& block : model.blocks) {
        out += u"<resource name=\"" + EscapeForXml(block.resource_name) + u"\" dataclass=\"" +
               EscapeForXml(block.data_class) + u"\">\n";
        for (const HubRow& row : block.rows)
            AppendRow(out, block, row);
        out += u"</resource>\n";
    }
    out += u"</event>";
    return out;
}

}  // namespace kvhub
