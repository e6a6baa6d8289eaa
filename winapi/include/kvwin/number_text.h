// Number texts read as the variant conversions read them, for callers that keep their own
// value types (a script engine) and want the same rules as VariantChangeTypeEx.
//
// Thread safety: the function keeps no state.
#pragma once

#include <string>
#include <string_view>

#include "kvwin/locale_data.h"

namespace kvwin {

// A decimal number text in a locale's forms (null: en-US) — blanks around, a sign before or
// after or parentheses for a negative value, the locale's currency symbol before or after,
// its group and decimal separators, an exponent — rewritten in the C form
// ("-12345e-1": sign, digits, exponent) that std::from_chars reads exactly; "&HFF" and
// "&O17" give their integer values. False when the text is no number.
KVWIN_API bool NumberTextInCForm(std::u16string_view text, const LocaleData* locale,
                                 std::string* c_form);

}  // namespace kvwin
