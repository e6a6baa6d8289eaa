// Conversions from the Linux readers' plain values to CimValue, shared by the class files.
// A missing value (nullopt, or text that is empty) becomes null, never a made-up default.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kvwin/utf.h"
#include "provider/cim_value.h"

namespace kvwmi {

inline CimValue Text(const std::string& text) {
    if (text.empty())
        return {};
    return kvwin::FromUtf8(text);
}

// Text(text) written into `value` in place, with no temporary string or value: for filling
// many instances. Empty text leaves `value` as it is (null in a new instance).
inline void SetText(CimValue& value, std::string_view text) {
    if (!text.empty())
        kvwin::AppendFromUtf8(value.emplace<std::u16string>(), text);
}

inline CimValue Text(const char* text) {
    return Text(std::string(text));
}

inline CimValue Text(const std::optional<std::string>& text) {
    return text ? Text(*text) : CimValue{};
}

inline CimValue Unsigned(std::uint64_t value) {
    return value;
}

template <typename T>
CimValue Unsigned(const std::optional<T>& value) {
    if (!value)
        return {};
    return static_cast<std::uint64_t>(*value);
}

inline CimValue Signed(std::int64_t value) {
    return value;
}

template <typename T>
CimValue Boolean(const std::optional<T>& value) {
    if (!value)
        return {};
    return static_cast<bool>(*value);
}

inline CimValue TextArray(const std::vector<std::string>& items) {
    std::vector<std::u16string> out;
    out.reserve(items.size());
    for (const std::string& item : items)
        out.push_back(kvwin::FromUtf8(item));
    return out;
}

}  // namespace kvwmi
