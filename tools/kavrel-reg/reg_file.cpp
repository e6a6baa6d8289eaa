#include "reg_file.h"

#include <cctype>
#include <cstdio>

#include "kvwin/ascii_space.h"
#include "kvwin/hex_digit.h"
#include "kvwin/utf.h"
#include "reg_values.h"

namespace kavrel_reg {

namespace {

using kvwin::HexDigitValue;

// The file as UTF-8 text, whatever encoding it came in.
std::string DecodeText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        }
        return kvwin::ToUtf8(wide);
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    return bytes;
}

std::string Trim(const std::string& text) {
    return std::string(kvwin::TrimAsciiSpace(text));
}

// One line as the parser sees it: continued lines joined, numbered by its first line.
struct Line {
    std::string text;
    int number;
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    int number = 0;
    size_t pos = 0;
    bool continuing = false;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = Trim(line);
        const bool continues = !line.empty() && line.back() == '\\';
        if (continues)
            line.pop_back();
        if (continuing)
            lines.back().text += line;
        else
            lines.push_back(Line{line, number});
        continuing = continues;
        if (end == text.size())
            break;
    }
    return lines;
}

// A quoted string starting at text[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(const std::string& text, size_t& pos, std::string& out, std::string& error) {
    ++pos;
    out.clear();
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"')
            return true;
        if (c == '\\') {
            if (pos >= text.size())
                break;
            const char escaped = text[pos++];
            if (escaped != '\\' && escaped != '"') {
                error = std::string("unknown escape \\") + escaped + " in a quoted string";
                return false;
            }
            out.push_back(escaped);
        } else {
            out.push_back(c);
        }
    }
    error = "a quoted string has no closing quote";
    return false;
}

bool ParseHexBytes(const std::string& text, std::vector<BYTE>& bytes, std::string& error) {
    bytes.clear();
    const std::string all = Trim(text);
    if (all.empty())
        return true;
    size_t pos = 0;
    for (;;) {
        const size_t comma = all.find(',', pos);
        const std::string item =
            Trim(all.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (item.empty() || item.size() > 2 || HexDigitValue(item[0]) < 0 ||
            (item.size() == 2 && HexDigitValue(item[1]) < 0)) {
            error = "'" + item + "' is not a hex byte";
            return false;
        }
        bytes.push_back(static_cast<BYTE>(item.size() == 1 ? HexDigitValue(item[0])
                                                           : HexDigitValue(item[0]) * 16 +
                                                                 HexDigitValue(item[1])));
        if (comma == std::string::npos)
            return true;
        pos = comma + 1;
    }
}

bool ParseData(const std::string& text, RegFileValue& value, std::string& error) {
    if (text == "-") {
        value.remove = true;
        return true;
    }
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        std::string content;
        if (!ParseQuoted(text, pos, content, error))
            return false;
        if (!Trim(text.substr(pos)).empty() && Trim(text.substr(pos))[0] != ';') {
            error = "unexpected text after the closing quote";
            return false;
        }
        value.type = REG_SZ;
        for (char16_t c : kvwin::FromUtf8(content)) {
            value.data.push_back(static_cast<BYTE>(c & 0xFF));
            value.data.push_back(static_cast<BYTE>(c >> 8));
        }
        value.data.push_back(0);
        value.data.push_back(0);
        return true;
    }
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        error = "the data must be \"text\", dword:, hex:, hex(N): or -";
        return false;
    }
    std::string kind = Trim(text.substr(0, colon));
    for (char& c : kind)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string rest = Trim(text.substr(colon + 1));
    if (kind == "dword") {
        if (rest.empty() || rest.size() > 8) {
            error = "dword: needs 1 to 8 hex digits";
            return false;
        }
        uint32_t number = 0;
        for (char c : rest) {
            if (HexDigitValue(c) < 0) {
                error = "dword: needs 1 to 8 hex digits";
                return false;
            }
            number = number * 16 + static_cast<uint32_t>(HexDigitValue(c));
        }
        value.type = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            value.data.push_back(static_cast<BYTE>(number >> (8 * i)));
        return true;
    }
    if (kind == "hex") {
        value.type = REG_BINARY;
    } else if (kind.size() > 5 && kind.compare(0, 4, "hex(") == 0 && kind.back() == ')') {
        const std::string digits = kind.substr(4, kind.size() - 5);
        unsigned long type = 0;
        if (digits.empty() || digits.size() > 8) {
            error = "'" + kind + "' does not name a type";
            return false;
        }
        for (char c : digits) {
            if (HexDigitValue(c) < 0) {
                error = "'" + kind + "' does not name a type";
                return false;
            }
            type = type * 16 + static_cast<unsigned long>(HexDigitValue(c));
        }
        value.type = static_cast<DWORD>(type);
    } else {
        error = "unknown data kind '" + kind + ":'";
        return false;
    }
    return ParseHexBytes(rest, value.data, error);
}

bool ParseValueLine(const std::string& text, RegFileValue& value, std::string& error) {
    size_t pos = 0;
    if (text[0] == '@') {
        pos = 1;
    } else {
        std::string name;
        if (!ParseQuoted(text, pos, name, error))
            return false;
        value.name = kvwin::FromUtf8(name);
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (pos >= text.size() || text[pos] != '=') {
        error = "'=' expected after the value name";
        return false;
    }
    return ParseData(Trim(text.substr(pos + 1)), value, error);
}

bool ParseSectionLine(const std::string& text, RegFileSection& section, std::string& error) {
    if (text.back() != ']') {
        error = "a key line must end with ']'";
        return false;
    }
    std::string path = text.substr(1, text.size() - 2);
    if (!path.empty() && path[0] == '-') {
        section.remove = true;
        path.erase(0, 1);
    }
    std::string subkey;
    const auto root = SplitKeyPath(path, subkey);
    if (!root) {
        error = "unknown root key in '" + path + "'";
        return false;
    }
    if (section.remove && subkey.empty()) {
        error = "a root key cannot be deleted";
        return false;
    }
    section.path = path;
    section.root = root->key;
    section.subkey = kvwin::FromUtf8(subkey);
    return true;
}

bool IsPrintableText(const std::u16string& text) {
    for (char16_t c : text) {
        if (c == 0 || c == u'\r' || c == u'\n')
            return false;
    }
    return true;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegFileSection>& sections,
                  std::string& error) {
    sections.clear();
    bool header = false;
    for (const Line& line : SplitLines(DecodeText(bytes))) {
        auto fail = [&](const std::string& reason) {
            error = "line " + std::to_string(line.number) + ": " + reason;
            sections.clear();
            return false;
        };
        if (line.text.empty() || line.text[0] == ';')
            continue;
        if (!header) {
            if (line.text != kRegFileHeader)
                return fail(std::string("the file must start with \"") + kRegFileHeader + "\"");
            header = true;
            continue;
        }
        std::string reason;
        if (line.text[0] == '[') {
            RegFileSection section;
            section.line = line.number;
            if (!ParseSectionLine(line.text, section, reason))
                return fail(reason);
            sections.push_back(std::move(section));
            continue;
        }
        if (line.text[0] != '"' && line.text[0] != '@')
            return fail("a key line [..] or a value line \"name\"=... expected");
        if (sections.empty())
            return fail("a value before the first key line");
        if (sections.back().remove)
            return fail("a value under a key that is being deleted");
        RegFileValue value;
        value.line = line.number;
        if (!ParseValueLine(line.text, value, reason))
            return fail(reason);
        sections.back().values.push_back(std::move(value));
    }
    if (!header) {
        error = std::string("line 1: the file must start with \"") + kRegFileHeader + "\"";
        return false;
    }
    return true;
}

std::string RenderSectionLine(const std::string& path) {
    return "[" + path + "]";
}

std::string RenderValueLine(const std::u16string& name, DWORD type, const std::vector<BYTE>& data) {
    std::string line = name.empty() ? "@=" : "\"" + Escape(kvwin::ToUtf8(name)) + "\"=";
    if (type == REG_SZ && data.size() >= 2 && data.size() % 2 == 0 && data[data.size() - 1] == 0 &&
        data[data.size() - 2] == 0) {
        std::u16string text;
        for (size_t i = 0; i + 2 < data.size(); i += 2)
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        // Only text that reads back to the same bytes (UTF-16 that survives UTF-8).
        if (IsPrintableText(text) && kvwin::FromUtf8(kvwin::ToUtf8(text)) == text)
            return line + "\"" + Escape(kvwin::ToUtf8(text)) + "\"";
    }
    if (type == REG_DWORD && data.size() == 4) {
        char number[16];
        std::snprintf(number, sizeof number, "dword:%08x",
                      static_cast<unsigned>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                            (static_cast<unsigned>(data[3]) << 24)));
        return line + number;
    }
    if (type == REG_BINARY) {
        line += "hex:";
    } else {
        char kind[24];
        std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(type));
        line += kind;
    }
    size_t column = line.size();
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        line += byte;
        column += 2;
        if (i + 1 < data.size()) {
            line += ',';
            ++column;
            // Long data goes on over several lines, as the editor writes it.
            if (column > 76) {
                line += "\\\n  ";
                column = 2;
            }
        }
    }
    return line;
}

}  // namespace kavrel_reg
