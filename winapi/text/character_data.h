// The text area's internal character data: case mapping, character classes and the
// single-byte code pages. Everything here is immutable after static initialisation and
// safe to use from any thread.
#pragma once

#include <cstdint>
#include <optional>

#include "win/types.h"

namespace kvwin::text {

char16_t SimpleLower(char16_t c);
char16_t SimpleUpper(char16_t c);
bool IsAlpha(char16_t c);
bool IsDigit(char16_t c);
bool IsSpace(char16_t c);

// One 8-bit code page where every byte is one character.
class SingleBytePage {
  public:
    virtual ~SingleBytePage() = default;
    virtual char16_t ToUnicode(unsigned char byte) const = 0;
    // False for a byte the page leaves undefined (MB_ERR_INVALID_CHARS refuses it).
    virtual bool IsDefined(unsigned char) const { return true; }
    // The byte for `c`, exact or (when best_fit) the best-fit byte; nullopt if none.
    virtual std::optional<unsigned char> FromUnicode(char16_t c, bool best_fit) const = 0;
};

// The page for a code page number (CP_ACP and the other aliases already resolved); nullptr
// for UTF-8, UTF-16 and unknown pages.
const SingleBytePage* FindSingleBytePage(UINT code_page);

}  // namespace kvwin::text
