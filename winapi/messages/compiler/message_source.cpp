// Parsing of message sources and writing of compiled message tables.
#include "message_source.h"

#include <cstdio>
#include <cstdlib>

#include "../message_table_format.h"

namespace kvmc {

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    Put16(out, at, v & 0xFFFF);
    Put16(out, at + 2, v >> 16);
}

bool ParseNumber(const std::string& word, uint32_t& value) {
    if (word.empty())
        return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(word.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        words.push_back(line.substr(start, i - start));
    }
    return words;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
    std::u16string out;
    size_t i = 0;
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < text.size()) {
        const unsigned char c = byte(i);
        uint32_t cp = 0xFFFD;
        size_t extra = 0;
        uint32_t min = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F, extra = 1, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F, extra = 2, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07, extra = 3, min = 0x10000;
        } else {
            extra = 0, cp = 0xFFFD;
        }
        size_t k = 1;
        for (; k <= extra; ++k) {
            if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        if (k <= extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
            cp = 0xFFFD;
            k = k > 1 ? k : 1;
        }
        i += extra ? k : 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

bool ParseMessageSource(const std::string& text, MessageSource& out, std::string& error) {
    uint32_t language = 0x0409;
    bool in_text = false;
    uint32_t id = 0;
    std::string body;
    size_t line_no = 0;
    size_t pos = 0;
    const auto fail = [&](const std::string& why) {
        error = "line " + std::to_string(line_no) + ": " + why;
        return false;
    };
    while (pos <= text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++line_no;
        const bool last = eol >= text.size();
        pos = eol + 1;
        if (in_text) {
            if (line == ".") {
                auto& messages = out.languages[static_cast<uint16_t>(language)];
                if (!messages.emplace(id, Utf8ToUtf16(body)).second)
                    return fail("message " + std::to_string(id) + " is defined twice");
                in_text = false;
            } else {
                body += line;
                body += "\r\n";
            }
        } else {
            const std::vector<std::string> words = Words(line);
            if (words.empty()) {
                // blank or comment
            } else if (words[0] == "language") {
                if (words.size() != 2 || !ParseNumber(words[1], language) || language > 0xFFFF)
                    return fail("expected: language <id>");
            } else if (words[0] == "message") {
                if (words.size() < 2 || words.size() > 3 || !ParseNumber(words[1], id))
                    return fail("expected: message <id> [name]");
                if (words.size() == 3)
                    out.names[id] = words[2];
                in_text = true;
                body.clear();
            } else {
                return fail("unexpected text '" + words[0] + "' outside a message");
            }
        }
        if (last)
            break;
    }
    if (in_text)
        return fail("the last message has no closing '.' line");
    return true;
}

std::vector<uint8_t> CompileMessageResource(const std::map<uint32_t, std::u16string>& messages) {
    // Runs of consecutive ids become blocks.
    struct Block {
        uint32_t low, high;
    };
    std::vector<Block> blocks;
    for (const auto& [id, text] : messages) {
        if (!blocks.empty() && blocks.back().high != 0xFFFFFFFFu && blocks.back().high + 1 == id)
            blocks.back().high = id;
        else
            blocks.push_back({id, id});
    }
    std::vector<uint8_t> out(4 + blocks.size() * kBlockSize);
    Put32(out, 0, static_cast<uint32_t>(blocks.size()));
    auto it = messages.begin();
    for (size_t b = 0; b < blocks.size(); ++b) {
        const size_t at = 4 + b * kBlockSize;
        Put32(out, at, blocks[b].low);
        Put32(out, at + 4, blocks[b].high);
        Put32(out, at + 8, static_cast<uint32_t>(out.size()));
        for (uint64_t id = blocks[b].low; id <= blocks[b].high; ++id, ++it) {
            const std::u16string& text = it->second;
            const size_t length = (4 + (text.size() + 1) * 2 + 3) & ~size_t{3};
            const size_t entry = out.size();
            out.resize(entry + length, 0);
            Put16(out, entry, static_cast<uint32_t>(length));
            Put16(out, entry + 2, kEntryUnicode);
            for (size_t k = 0; k < text.size(); ++k)
                Put16(out, entry + 4 + 2 * k, text[k]);
        }
    }
    return out;
}

std::vector<uint8_t> CompileMessageTable(const MessageSource& source) {
    const size_t count = source.languages.size();
    std::vector<uint8_t> out(kTableHeaderSize + count * kLanguageEntrySize, 0);
    for (int k = 0; k < 4; ++k)
        out[k] = static_cast<uint8_t>(kTableMagic[k]);
    Put16(out, 4, kTableVersion);
    Put16(out, 6, static_cast<uint32_t>(count));
    size_t index = 0;
    for (const auto& [language, messages] : source.languages) {
        while (out.size() % 4)
            out.push_back(0);
        const size_t dir = kTableHeaderSize + index * kLanguageEntrySize;
        Put16(out, dir, language);
        Put32(out, dir + 4, static_cast<uint32_t>(out.size()));
        const std::vector<uint8_t> resource = CompileMessageResource(messages);
        out.insert(out.end(), resource.begin(), resource.end());
        ++index;
    }
    Put32(out, 8, static_cast<uint32_t>(out.size()));
    return out;
}

std::string NameArrayText(const MessageSource& source, const std::string& name) {
    std::string text = "const kvwin::messages::MessageName " + name + "[] = {\n";
    for (const auto& [id, symbol] : source.names) {
        char line[32];
        std::snprintf(line, sizeof line, "    {0x%08X, \"", id);
        text += line + symbol + "\"},\n";
    }
    text += "    {0, nullptr},\n};\n";
    return text;
}

}  // namespace kvmc
