// The value of one digit of a hexadecimal (or smaller base) number text, for the parsers of
// the layer and above: GUIDs, SIDs, access masks, registry files, script literals.
#pragma once

namespace kvwin {

// 0 to 15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for any other character. A parser of a
// smaller base also refuses a value not below its base.
template <class Ch>
constexpr int HexDigitValue(Ch c) {
    if (c >= Ch('0') && c <= Ch('9'))
        return static_cast<int>(c - Ch('0'));
    if (c >= Ch('a') && c <= Ch('f'))
        return static_cast<int>(c - Ch('a')) + 10;
    if (c >= Ch('A') && c <= Ch('F'))
        return static_cast<int>(c - Ch('A')) + 10;
    return -1;
}

}  // namespace kvwin
