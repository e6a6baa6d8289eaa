// Reading compiled message tables and message resources.
#include "message_table.h"

#include <cstring>

#include "kvwin/utf.h"
#include "message_table_format.h"
#include "win/errors.h"

namespace kvwin::messages {

namespace {

uint32_t Get16(ByteSpan b, size_t at) {
    return b[at] | (uint32_t{b[at + 1]} << 8);
}

uint32_t Get32(ByteSpan b, size_t at) {
    return Get16(b, at) | (Get16(b, at + 2) << 16);
}

}  // namespace

bool MessageTable::ParseCompiled(ByteSpan table) {
    languages_.clear();
    if (table.size() < kvmc::kTableHeaderSize ||
        std::memcmp(table.data(), kvmc::kTableMagic, 4) != 0 ||
        Get16(table, 4) != kvmc::kTableVersion || Get32(table, 8) > table.size())
        return false;
    table = table.first(Get32(table, 8));
    const size_t count = Get16(table, 6);
    if (kvmc::kTableHeaderSize + count * kvmc::kLanguageEntrySize > table.size())
        return false;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kvmc::kTableHeaderSize + i * kvmc::kLanguageEntrySize;
        const uint32_t offset = Get32(table, at + 4);
        if (offset > table.size())
            return false;
        languages_.push_back({static_cast<uint16_t>(Get16(table, at)), table.subspan(offset)});
    }
    return true;
}

bool FindInResource(ByteSpan resource, DWORD id, std::u16string& text) {
    if (resource.size() < 4)
        return false;
    const uint32_t blocks = Get32(resource, 0);
    if (blocks > (resource.size() - 4) / kvmc::kBlockSize)
        return false;
    for (uint32_t b = 0; b < blocks; ++b) {
        const size_t at = 4 + size_t{b} * kvmc::kBlockSize;
        const uint32_t low = Get32(resource, at), high = Get32(resource, at + 4);
        if (id < low || id > high)
            continue;
        // Walk the entries of the block up to the one wanted.
        size_t entry = Get32(resource, at + 8);
        for (uint32_t k = low;; ++k) {
            if (entry + 4 > resource.size())
                return false;
            const uint32_t length = Get16(resource, entry);
            if (length < 4 || entry + length > resource.size())
                return false;
            if (k == id) {
                const ByteSpan body = resource.subspan(entry + 4, length - 4);
                text.clear();
                if (Get16(resource, entry + 2) & kvmc::kEntryUnicode) {
                    for (size_t i = 0; i + 1 < body.size(); i += 2) {
                        const char16_t c = static_cast<char16_t>(Get16(body, i));
                        if (c == 0)
                            break;
                        text.push_back(c);
                    }
                } else {
                    const char* s = reinterpret_cast<const char*>(body.data());
                    text = FromUtf8(std::string_view(s, strnlen(s, body.size())));
                }
                return true;
            }
            entry += length;
        }
    }
    return false;
}

const LanguageTable* MessageTable::Language(uint16_t language) const {
    for (const LanguageTable& t : languages_) {
        if (t.language == language)
            return &t;
    }
    return nullptr;
}

DWORD MessageTable::Find(DWORD id, DWORD language, std::u16string& text) const {
    if (language == 0x0400)
        language = UserLanguage();
    if (language == 0x0800)
        language = SystemLanguage();
    if (language != 0) {
        const LanguageTable* table =
            language <= 0xFFFF ? Language(static_cast<uint16_t>(language)) : nullptr;
        if (!table)
            return ERROR_RESOURCE_LANG_NOT_FOUND;
        return FindInResource(table->resource, id, text) ? 0 : ERROR_MR_MID_NOT_FOUND;
    }
    const LANGID order[] = {0x0000, UserLanguage(), SystemLanguage(), 0x0409};
    for (LANGID candidate : order) {
        const LanguageTable* table = Language(candidate);
        if (table && FindInResource(table->resource, id, text))
            return 0;
    }
    for (const LanguageTable& table : languages_) {
        if (FindInResource(table.resource, id, text))
            return 0;
    }
    return languages_.empty() ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_MR_MID_NOT_FOUND;
}

}  // namespace kvwin::messages
