// Numbers as the variant conversions see them, and their en-US text forms.
//
// Every numeric variant is first brought to one of three exact forms: an integer (all the
// integer types and VT_BOOL), a binary real (VT_R4, VT_R8, VT_DATE) or a scaled decimal
// (VT_CY with scale 4, VT_DECIMAL, and text). Conversions to a target go from that form with
// the rules Automation uses: round half to even, DISP_E_OVERFLOW when out of range.
#pragma once

#include <string>
#include <string_view>

#include "kvwin/locale_data.h"
#include "win/oleauto.h"

namespace kvwin::oleaut {

using Int128 = __int128;

struct ScaledDecimal {
    Int128 mantissa = 0;  // signed
    int scale = 0;        // value = mantissa / 10^scale, 0..28
};

// Text parsed as a number: value = (negative ? -1 : 1) * digits * 10^exponent. Digits carry
// no leading zeros ("" stands for zero).
struct ParsedNumber {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

// Parses a number text in a locale's forms (null: en-US): blanks around, a sign before or
// after the number or parentheses around it for a negative one, the locale's currency
// symbol before or after, its group separator between digits of the whole part (any space
// where it groups with a space), its decimal separator, an exponent, and &H / &O integer
// prefixes. False when the text is not a number.
bool ParseNumberText(std::u16string_view text, ParsedNumber& out,
                     const LocaleData* locale = nullptr);

// The parsed number rounded (half to even) to `scale` decimals, as a scaled mantissa;
// false when it does not fit in 127 bits.
bool ScaleParsed(const ParsedNumber& number, int scale, Int128& mantissa);
// The parsed number as the nearest double (may be infinite for huge text).
double ParsedToDouble(const ParsedNumber& number);

// mantissa / 10^drop rounded half to even.
Int128 RoundDivPow10(Int128 mantissa, int drop);
// Banker's rounding of a double to an integer value (still a double).
double RoundHalfEven(double value);

// Text forms (en-US).
std::u16string IntegerText(Int128 value);
std::u16string ScaledText(Int128 mantissa, int scale);          // trailing fraction zeros trimmed
std::u16string RealText(double value, int significant_digits);  // 15 for R8, 7 for R4

// DECIMAL <-> scaled decimal. DecimalFromScaled fails (overflow) past 96 bits, reducing the
// scale with rounding first where it can.
ScaledDecimal ScaledFromDecimal(const DECIMAL& d);
bool DecimalFromScaled(ScaledDecimal value, DECIMAL& out);

}  // namespace kvwin::oleaut
