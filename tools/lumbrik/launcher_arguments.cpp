// Reading the launcher's command line.
#include "launcher_arguments.h"

#include "kvwin/utf.h"

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The next word from position at: quoted (to the next quote) or bare (to the next blank).
// False for a quote that is never closed.
bool NextWord(std::u16string_view text, size_t& at, std::u16string& word, bool& found) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    found = at < text.size();
    if (!found)
        return true;
    if (text[at] == u'"') {
        const size_t close = text.find(u'"', at + 1);
        if (close == std::u16string_view::npos)
            return false;
        word.assign(text.substr(at + 1, close - at - 1));
        at = close + 1;
        return true;
    }
    const size_t start = at;
    while (at < text.size() && !IsBlank(text[at]))
        ++at;
    word.assign(text.substr(start, at - start));
    return true;
}

}  // namespace

bool IsRegistryFormGuid(std::u16string_view text) {
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != u'-' : !IsHexDigit(text[i]))
            return false;
    }
    return true;
}

bool ParseLauncherArguments(std::u16string_view commandLine, LauncherArguments& arguments,
                            std::string& problem) {
    arguments = LauncherArguments{};
    bool haveFolder = false, haveIdentifier = false;
    size_t at = 0;
    for (bool firstWord = true;; firstWord = false) {
        std::u16string word;
        bool found = false;
        if (!NextWord(commandLine, at, word, found)) {
            problem = "a quote is not closed";
            return false;
        }
        if (!found)
            break;
        const bool isFolder = word == u"-d", isIdentifier = word == u"-id";
        if (!isFolder && !isIdentifier) {
            if (firstWord && !word.empty() && word[0] != u'-')
                continue;  // the program's name
            problem = "unknown argument '" + kvwin::ToUtf8(word) + "'";
            return false;
        }
        std::u16string value;
        if (!NextWord(commandLine, at, value, found)) {
            problem = "a quote is not closed";
            return false;
        }
        if (!found) {
            problem = std::string(isFolder ? "-d" : "-id") + " needs a value";
            return false;
        }
        if ((isFolder && haveFolder) || (isIdentifier && haveIdentifier)) {
            problem = std::string(isFolder ? "-d" : "-id") + " is given twice";
            return false;
        }
        if (isFolder) {
            arguments.folder = std::move(value);
            haveFolder = true;
        } else {
            arguments.identifier = std::move(value);
            haveIdentifier = true;
        }
    }
    if (!haveFolder || arguments.folder.empty()) {
        problem = "no folder given (-d \"folder\")";
        return false;
    }
    if (!haveIdentifier) {
        problem = "no call identifier given (-id {GUID})";
        return false;
    }
    if (!IsRegistryFormGuid(arguments.identifier)) {
        problem = "the identifier '" + kvwin::ToUtf8(arguments.identifier) +
                  "' is not a GUID in registry form";
        return false;
    }
    return true;
}
