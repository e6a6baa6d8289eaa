// kvwin::Format's exported entry points: the typed, checked front of the formatter.
#include <algorithm>

#include "format_engine.h"
#include "kvwin/format.h"

namespace kvwin {

namespace {

template <class Ch>
std::basic_string<Ch> Render(const Ch* format, const FormatArg* args, size_t count,
                             size_t room = 0) {
    std::basic_string<Ch> out;
    if (!format)
        return out;
    out.reserve(room);
    text::CheckedArguments source(args, count);
    text::FormatInto(out, format, source);
    return out;
}

template <class Ch>
int RenderTo(Ch* buffer, size_t size, const Ch* format, const FormatArg* args, size_t count) {
    if (!buffer || size == 0)
        return -1;
    // Room for a line at once, so a text of a line's length is not grown step by step.
    const std::basic_string<Ch> text = Render(format, args, count, std::min<size_t>(size, 256));
    const size_t n = text.size() < size ? text.size() : size - 1;
    text.copy(buffer, n);
    buffer[n] = 0;
    return n == text.size() ? static_cast<int>(n) : -1;
}

}  // namespace

WString FormatArgs(const WCHAR* format, const FormatArg* args, size_t count) {
    return Render(format, args, count);
}

std::string FormatArgs(const char* format, const FormatArg* args, size_t count) {
    return Render(format, args, count);
}

int FormatArgsTo(WCHAR* buffer, size_t size, const WCHAR* format, const FormatArg* args,
                 size_t count) {
    return RenderTo(buffer, size, format, args, count);
}

int FormatArgsTo(char* buffer, size_t size, const char* format, const FormatArg* args,
                 size_t count) {
    return RenderTo(buffer, size, format, args, count);
}

}  // namespace kvwin
