#include "service/object_path.h"

#include <algorithm>

#include "kvwin/ascii_case.h"
#include "kvwin/utf.h"
#include "wql/case_fold.h"

namespace kvwmi {

namespace {

bool IsNameChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'_' || c >= 0x80;
}

std::u16string_view Name(std::u16string_view text, size_t& i) {
    size_t start = i;
    while (i < text.size() && IsNameChar(text[i]))
        ++i;
    return text.substr(start, i - start);
}

bool Value(std::u16string_view text, size_t& i, wql::Literal& value) {
    if (i >= text.size())
        return false;
    char16_t quote = text[i];
    if (quote == u'"' || quote == u'\'') {
        value.kind = wql::Literal::Kind::String;
        for (++i; i < text.size(); ++i) {
            if (text[i] == u'\\' && i + 1 < text.size()) {
                value.text.push_back(text[++i]);
            } else if (text[i] == quote) {
                ++i;
                return true;
            } else {
                value.text.push_back(text[i]);
            }
        }
        return false;
    }
    size_t start = i;
    while (i < text.size() && text[i] != u',')
        ++i;
    std::u16string_view word = text.substr(start, i - start);
    if (kvwin::EqualsAsciiNoCase(word, u"TRUE") || kvwin::EqualsAsciiNoCase(word, u"FALSE")) {
        value.kind = wql::Literal::Kind::Boolean;
        value.boolean = kvwin::EqualsAsciiNoCase(word, u"TRUE");
        return true;
    }
    std::string narrow = kvwin::ToUtf8(word);
    if (narrow.empty())
        return false;
    char* end = nullptr;
    value.negative = narrow[0] == '-';
    const char* digits = narrow.c_str() + (value.negative ? 1 : 0);
    if (*digits < '0' || *digits > '9')
        return false;
    value.magnitude = std::strtoull(digits, &end, 10);
    if (*end != '\0')
        return false;
    value.kind = wql::Literal::Kind::Integer;
    value.real = value.negative ? -double(value.magnitude) : double(value.magnitude);
    value.text.assign(word);
    return true;
}

}  // namespace

bool ParseObjectPath(std::u16string_view text, ObjectPath& path) {
    path = ObjectPath{};
    size_t colon = text.substr(0, text.find_first_of(u"=\"'")).rfind(u':');
    if (colon != std::u16string_view::npos) {
        std::u16string prefix(text.substr(0, colon));
        for (char16_t& c : prefix) {
            if (c == u'/')
                c = u'\\';
        }
        std::u16string_view rest = prefix;
        if (rest.starts_with(u"\\\\")) {
            rest.remove_prefix(2);
            size_t slash = rest.find(u'\\');
            if (slash == std::u16string_view::npos || slash == 0)
                return false;
            path.server.assign(rest.substr(0, slash));
            rest.remove_prefix(slash + 1);
        }
        if (rest.empty())
            return false;
        path.ns.assign(rest);
        text.remove_prefix(colon + 1);
    }
    size_t i = 0;
    path.class_name.assign(Name(text, i));
    if (path.class_name.empty())
        return false;
    if (i == text.size())
        return true;
    path.is_class = false;
    if (text.substr(i) == u"=@") {
        path.singleton = true;
        return true;
    }
    if (text[i] == u'=') {
        wql::Literal value;
        ++i;
        if (!Value(text, i, value) || i != text.size())
            return false;
        path.keys.emplace_back(std::u16string(), std::move(value));
        return true;
    }
    if (text[i] != u'.')
        return false;
    do {
        ++i;
        std::u16string key(Name(text, i));
        wql::Literal value;
        if (key.empty() || i >= text.size() || text[i] != u'=')
            return false;
        ++i;
        if (!Value(text, i, value))
            return false;
        path.keys.emplace_back(std::move(key), std::move(value));
    } while (i < text.size() && text[i] == u',');
    return i == text.size();
}

bool MatchPathKeys(const ObjectPath& path, const ClassDecl& decl, std::vector<PathKey>& keys) {
    keys.clear();
    if (path.is_class)
        return false;
    size_t key_count = 0;
    int only_key = -1;
    for (size_t i = 0; i < decl.properties.size(); ++i) {
        if (decl.properties[i].key) {
            ++key_count;
            only_key = static_cast<int>(i);
        }
    }
    if (path.singleton != (key_count == 0) || path.keys.size() != key_count)
        return false;
    for (const auto& [name, value] : path.keys) {
        const int index = name.empty() ? (key_count == 1 ? only_key : -1) : decl.IndexOf(name);
        if (index < 0 || !decl.properties[static_cast<size_t>(index)].key)
            return false;
        for (const PathKey& seen : keys) {
            if (seen.property == index)
                return false;
        }
        keys.push_back(PathKey{index, value});
    }
    std::sort(keys.begin(), keys.end(),
              [](const PathKey& a, const PathKey& b) { return a.property < b.property; });
    return true;
}

std::u16string KeyText(const wql::Literal& value) {
    switch (value.kind) {
        case wql::Literal::Kind::String:
            return value.text;
        case wql::Literal::Kind::Integer:
            return kvwin::FromUtf8((value.negative ? "-" : "") + std::to_string(value.magnitude));
        case wql::Literal::Kind::Boolean:
            return value.boolean ? u"TRUE" : u"FALSE";
        default:
            return value.text;
    }
}

bool SameInstance(const ObjectPath& a, const ObjectPath& b, const ClassDecl& decl) {
    if (!kvwin::EqualsAsciiNoCase(a.class_name, b.class_name))
        return false;
    std::vector<PathKey> first, second;
    if (!MatchPathKeys(a, decl, first) || !MatchPathKeys(b, decl, second))
        return false;
    for (size_t i = 0; i < first.size(); ++i) {
        const PropertyDecl& property = decl.properties[static_cast<size_t>(first[i].property)];
        if (property.type == CIM_REFERENCE && first[i].value.kind == wql::Literal::Kind::String &&
            second[i].value.kind == wql::Literal::Kind::String) {
            if (!SameReference(first[i].value.text, second[i].value.text))
                return false;
        } else if (wql::CompareNoCase(KeyText(first[i].value), KeyText(second[i].value)) != 0) {
            return false;
        }
    }
    return true;
}

namespace {

// The value of the key `name` (any case) of a path, or null when the path has no such key
// or has it twice.
const wql::Literal* KeyValue(const ObjectPath& path, std::u16string_view name) {
    const wql::Literal* found = nullptr;
    for (const auto& [key, value] : path.keys) {
        if (!kvwin::EqualsAsciiNoCase(key, name))
            continue;
        if (found)
            return nullptr;
        found = &value;
    }
    return found;
}

bool SameKeyValue(const wql::Literal& a, const wql::Literal& b) {
    return wql::CompareNoCase(KeyText(a), KeyText(b)) == 0;
}

}  // namespace

bool SameReference(std::u16string_view a, std::u16string_view b) {
    ObjectPath first, second;
    if (!ParseObjectPath(a, first) || !ParseObjectPath(b, second) || first.is_class ||
        second.is_class || !kvwin::EqualsAsciiNoCase(first.class_name, second.class_name) ||
        first.singleton != second.singleton || first.keys.size() != second.keys.size())
        return false;
    if (!first.ns.empty() && !second.ns.empty() && !kvwin::EqualsAsciiNoCase(first.ns, second.ns))
        return false;
    if (first.keys.size() == 1 && (first.keys[0].first.empty() || second.keys[0].first.empty()))
        return SameKeyValue(first.keys[0].second, second.keys[0].second);
    // Equal counts, and each key of the first found once in the second with the same value:
    // the two are the same set.
    for (const auto& [name, value] : first.keys) {
        const wql::Literal* other = name.empty() ? nullptr : KeyValue(second, name);
        if (!other || KeyValue(first, name) != &value || !SameKeyValue(value, *other))
            return false;
    }
    return true;
}

}  // namespace kvwmi
