// Reading script files.
#include "script_source.h"

#include <cstdlib>
#include <fstream>

#include "kvwin/utf.h"

namespace {

constexpr size_t kLargestScript = size_t(256) << 20;  // far beyond any real script

std::u16string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned first = static_cast<unsigned char>(bytes[i]);
        const unsigned second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(
            static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return text;
}

std::string FullPathOf(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string full(resolved);
    std::free(resolved);
    return full;
}

}  // namespace

std::u16string DecodeScriptText(std::string_view bytes) {
    if (bytes.starts_with("\xFF\xFE"))
        return FromUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF"))
        return FromUtf16(bytes.substr(2), true);
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    return kvwin::FromUtf8(bytes);
}

bool ReadScriptSource(const std::string& path, ScriptSource& source, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = "cannot read " + path;
        return false;
    }
    std::string bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
        if (bytes.size() > kLargestScript) {
            problem = path + " is too large for a script";
            return false;
        }
    }
    if (in.bad()) {
        problem = "cannot read " + path;
        return false;
    }
    source.text = DecodeScriptText(bytes);
    // The marker of the script encoder's output: the engines take plain text only.
    if (source.text.starts_with(u"#@~^")) {
        problem = path + " is an encoded script; run its plain text instead";
        return false;
    }
    source.path = path;
    source.fullPath = FullPathOf(path);
    const size_t slash = source.fullPath.rfind('/');
    source.name = slash == std::string::npos ? source.fullPath : source.fullPath.substr(slash + 1);
    return true;
}
