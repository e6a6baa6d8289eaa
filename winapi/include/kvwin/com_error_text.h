// The text that stands for an HRESULT, as _com_error::ErrorMessage shows it.
//
// A replaceable provider (SetHresultTextProvider) answers first; when there is none, or it
// knows no text, the system message table answers (kvwin/message_text.h), and
// "Unknown error 0x%08lX" stands for a code it does not know either.
#pragma once

#include <string>

#include "win/types.h"

namespace kvwin {

// Returns true and fills `text` (no trailing line break needed) when it knows the code.
// A provider must be thread safe; it is called without any lock held.
typedef bool (*HresultTextProvider)(HRESULT hr, std::u16string& text);

// Installs a provider (nullptr removes it) and returns the previous one. Thread safe.
KVWIN_API HresultTextProvider SetHresultTextProvider(HresultTextProvider provider);

// The text for a code from the provider or the system message table, without trailing CR/LF;
// false when neither knows the code.
KVWIN_API bool KnownHresultText(HRESULT hr, std::u16string& text);

// The text for a code: KnownHresultText's, else "Unknown error 0x8XXXXXXX".
KVWIN_API std::u16string HresultText(HRESULT hr);

}  // namespace kvwin
