// Message tables as FormatMessageW searches them: languages, each with blocks of ids.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kvwin/image_file.h"
#include "win/types.h"

namespace kvwin::messages {

// One language's message resource (see message_table_format.h).
struct LanguageTable {
    uint16_t language = 0;
    ByteSpan resource;
};

// A read-only view over tables kept elsewhere (a built-in array or a mapped file); it
// must not outlive them. Safe to read from many threads.
class MessageTable {
  public:
    // From a compiled table ("KVMT"). False when the header does not hold together.
    bool ParseCompiled(ByteSpan table);
    // From the RT_MESSAGETABLE resources of a Windows image.
    void AddLanguage(uint16_t language, ByteSpan resource) {
        languages_.push_back({language, resource});
    }
    bool empty() const { return languages_.empty(); }

    // The text of a message, before inserts are expanded. `language` 0 searches the
    // fallback order (neutral, the user's language, the system's, US English, then any);
    // 0x0400 and 0x0800 stand for the user's and the system's language. Returns 0, or
    // ERROR_RESOURCE_LANG_NOT_FOUND (no table in that language), ERROR_MR_MID_NOT_FOUND.
    DWORD Find(DWORD id, DWORD language, std::u16string& text) const;

  private:
    const LanguageTable* Language(uint16_t language) const;
    std::vector<LanguageTable> languages_;
};

// Looks one id up in one message resource; false when absent or damaged.
bool FindInResource(ByteSpan resource, DWORD id, std::u16string& text);

// The languages the fallback order names, from the environment (LC_ALL, LC_MESSAGES,
// LANG; "C", "POSIX" and unset mean US English). The system's language is US English,
// as the Windows identity the layer reports is.
LANGID UserLanguage();
LANGID SystemLanguage();

// A message of the system table; an HRESULT 0x8007xxxx that has no text of its own gets
// the text of Win32 code xxxx.
DWORD SystemMessage(DWORD id, DWORD language, std::u16string& text);

// One symbolic name of the built-in tables ("E_FAIL"); an array of them ends with a null name.
struct MessageName {
    uint32_t id;
    const char* name;
};

// The built-in tables: the system's, WMI's and the Internet library's.
const MessageTable& SystemTable();
const MessageTable& WmiTable();
const MessageTable& InternetTable();

}  // namespace kvwin::messages
