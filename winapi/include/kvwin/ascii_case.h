// Case-insensitive comparison in the ASCII range, for the names the platform keeps: account
// and privilege names, ProgIDs, product types, module file names. Other characters compare
// exactly, as Windows' own names of these kinds are ASCII.
#pragma once

#include <string_view>

namespace kvwin {

template <class Ch>
constexpr Ch AsciiLower(Ch c) {
    return c >= Ch('A') && c <= Ch('Z') ? static_cast<Ch>(c - Ch('A') + Ch('a')) : c;
}

template <class Ch>
constexpr Ch AsciiUpper(Ch c) {
    return c >= Ch('a') && c <= Ch('z') ? static_cast<Ch>(c - Ch('a') + Ch('A')) : c;
}

// A letter of the ASCII range, whatever the C library's locale says of other characters.
template <class Ch>
constexpr bool IsAsciiLetter(Ch c) {
    return (c >= Ch('a') && c <= Ch('z')) || (c >= Ch('A') && c <= Ch('Z'));
}

template <class Ch>
constexpr bool EqualsAsciiNoCase(std::basic_string_view<Ch> a, std::basic_string_view<Ch> b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

inline bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
    return EqualsAsciiNoCase<char16_t>(a, b);
}
inline bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    return EqualsAsciiNoCase<char>(a, b);
}

}  // namespace kvwin
