// Conversions between the value kinds, as the language defines them: what CStr, CDbl,
// CLng, CBool and the operators apply. Objects convert through their default value (a
// property get of DISPID_VALUE); a value that cannot convert throws error 13, a number out
// of range error 6. The engine's thread only.
#pragma once

#include <string_view>
#include <system_error>

#include <string>

#include "kvwin/locale_data.h"
#include "value.h"

namespace kvvbs {

// The value itself, or an object's default value (error 438/424 when it has none; Nothing
// gives error 91).
Value Primitive(const Value& v);

// A numeric reading of a text ("12", " 1.5e3 ", "&HFF", "-3", "1,000", "$1", "(5)") in the
// running script's locale, by the rules of the layer's conversions (kvwin/number_text.h):
// its decimal separator, its group separator between the digits of the whole part
// ("1.234,5" in de-DE), its currency symbol; false when it is not one. Outside a script,
// en-US forms.
bool ParseNumber(std::u16string_view text, double* out);
// A number in the C form ("-1234.5e3", the whole text), read whatever locale the host process
// set: a value too small for a double reads as zero; one too large is
// std::errc::result_out_of_range, text that is no such number std::errc::invalid_argument.
std::errc ReadCFormDouble(std::string_view text, double* out);
// The same in a given locale (null: en-US forms).
bool ParseNumberIn(std::u16string_view text, const kvwin::LocaleData* locale, double* out);
double ToDouble(const Value& v);
// Rounded half to even, as the language rounds to integers; error 6 outside Long.
int32_t ToLong(const Value& v);
int32_t ToInteger(const Value& v);
bool ToBool(const Value& v);
// Numbers and dates are written in the running script's locale (see Runtime::Running).
std::u16string ToText(const Value& v);
// The text of a number the way CStr writes it (up to 15 significant digits), with a '.'.
std::u16string FormatDouble(double d);
// The same with the locale's decimal separator (null: '.'); what ToText writes for a Double
// or a Currency in the running script's locale.
std::u16string FormatDoubleIn(double d, const kvwin::LocaleData* locale);
// A Currency's text (value = scaled / 10000): every digit, up to four decimals.
std::u16string FormatCurrencyIn(int64_t scaled, const kvwin::LocaleData* locale);
// A Single's text: up to 7 significant digits.
std::u16string FormatSingleIn(float f, const kvwin::LocaleData* locale);

// Banker's rounding of a double to the nearest integer.
double RoundEven(double d);

// Numeric values as the arithmetic wants them: Empty as 0, strings parsed, Boolean as -1/0;
// Null and objects must be handled by the caller. The kind of the result is one of Integer,
// Long, Byte, Boolean, Double, Currency, Date.
Value ToNumeric(const Value& v);

// A name for VarType / TypeName.
int VarTypeOf(const Value& v);
std::u16string TypeNameOf(const Value& v);

}  // namespace kvvbs
