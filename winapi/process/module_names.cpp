// Matching module names the way Windows code writes them against Linux file names.
#include "module_names.h"
#include "kvwin/ascii_case.h"

namespace kvwin {

namespace {

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           kvwin::EqualsAsciiNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           kvwin::EqualsAsciiNoCase(text.substr(0, prefix.size()), prefix);
}

// "stem.so" or "stem.so.1.2" (version parts of digits).
bool IsSharedObjectOf(std::string_view stem, std::string_view file_name) {
    if (!StartsWithIgnoringCase(file_name, stem))
        return false;
    std::string_view rest = file_name.substr(stem.size());
    if (!StartsWithIgnoringCase(rest, ".so"))
        return false;
    rest.remove_prefix(3);
    while (!rest.empty()) {
        if (rest[0] != '.' || rest.size() < 2)
            return false;
        size_t i = 1;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9')
            ++i;
        if (i == 1)
            return false;
        rest.remove_prefix(i);
    }
    return true;
}

}  // namespace

bool ModuleNameMatches(std::string_view wanted, std::string_view file_name) {
    if (wanted.empty() || file_name.empty())
        return false;
    if (kvwin::EqualsAsciiNoCase(wanted, file_name))
        return true;
    if (EndsWithIgnoringCase(wanted, ".exe")) {
        return kvwin::EqualsAsciiNoCase(wanted.substr(0, wanted.size() - 4), file_name);
    }
    std::string_view stem = wanted;
    if (EndsWithIgnoringCase(stem, ".dll")) {
        stem.remove_suffix(4);
    } else if (stem.find('.') != std::string_view::npos) {
        return false;  // another extension names exactly that file
    }
    if (stem.empty())
        return false;
    if (kvwin::EqualsAsciiNoCase(file_name, std::string(stem) + ".dll"))
        return true;
    if (IsSharedObjectOf(stem, file_name))
        return true;
    if (StartsWithIgnoringCase(file_name, "lib") && IsSharedObjectOf(stem, file_name.substr(3))) {
        return true;
    }
    return false;
}

}  // namespace kvwin
