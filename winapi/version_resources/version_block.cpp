// Writing version blocks.
#include "version_block.h"

#include <cstdio>
#include <cstdlib>

namespace kvvr {

namespace {

using Bytes = std::vector<uint8_t>;

void Pad(Bytes& out) {
    while (out.size() % 4)
        out.push_back(0);
}

void Add16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Add32(Bytes& out, uint32_t v) {
    Add16(out, v & 0xFFFF);
    Add16(out, v >> 16);
}

void AddText(Bytes& out, const std::u16string& text) {
    for (char16_t c : text)
        Add16(out, c);
    Add16(out, 0);
}

// One node: header, key, value, children (each already a complete node).
Bytes Node(const std::u16string& key, const Bytes& value, uint32_t value_length, bool text,
           const std::vector<Bytes>& children) {
    Bytes out(6, 0);
    AddText(out, key);
    Pad(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Pad(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    out[2] = static_cast<uint8_t>(value_length);
    out[3] = static_cast<uint8_t>(value_length >> 8);
    out[4] = text ? 1 : 0;
    return out;
}

uint32_t High(const uint16_t v[4]) {
    return (uint32_t{v[0]} << 16) | v[1];
}
uint32_t Low(const uint16_t v[4]) {
    return (uint32_t{v[2]} << 16) | v[3];
}

}  // namespace

std::vector<uint8_t> BuildVersionBlock(const VersionRecord& record) {
    Bytes fixed;
    Add32(fixed, 0xFEEF04BDu);  // signature
    Add32(fixed, 0x00010000u);  // structure version
    Add32(fixed, High(record.file_version));
    Add32(fixed, Low(record.file_version));
    Add32(fixed, High(record.product_version));
    Add32(fixed, Low(record.product_version));
    Add32(fixed, 0x3F);  // flags mask
    Add32(fixed, record.file_flags);
    Add32(fixed, record.file_os);
    Add32(fixed, record.file_type);
    Add32(fixed, 0);  // subtype
    Add32(fixed, 0);  // date
    Add32(fixed, 0);

    std::vector<Bytes> strings;
    for (const auto& [name, text] : record.strings) {
        Bytes value;
        AddText(value, text);
        strings.push_back(Node(name, value, static_cast<uint32_t>(text.size() + 1), true, {}));
    }
    char table_key[9];
    std::snprintf(table_key, sizeof table_key, "%04x%04x", record.language, record.code_page);
    const std::u16string key(table_key, table_key + 8);
    const Bytes table = Node(key, {}, 0, true, strings);
    const Bytes string_info = Node(u"StringFileInfo", {}, 0, true, {table});

    Bytes translation;
    Add16(translation, record.language);
    Add16(translation, record.code_page);
    const Bytes var = Node(u"Translation", translation, 4, false, {});
    const Bytes var_info = Node(u"VarFileInfo", {}, 0, true, {var});

    return Node(u"VS_VERSION_INFO", fixed, static_cast<uint32_t>(fixed.size()), false,
                {string_info, var_info});
}

bool ParseVersion(const std::string& text, uint16_t parts[4]) {
    for (int i = 0; i < 4; ++i)
        parts[i] = 0;
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
            return false;
        char* end = nullptr;
        const unsigned long v = std::strtoul(text.c_str() + pos, &end, 10);
        if (v > 0xFFFF)
            return false;
        parts[i] = static_cast<uint16_t>(v);
        pos = static_cast<size_t>(end - text.c_str());
        if (pos == text.size())
            return i >= 1;
        if (text[pos] != '.')
            return false;
        ++pos;
    }
    return false;
}

}  // namespace kvvr
