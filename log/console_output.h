// Console output of log records: "tag<TAB>source<TAB><TAB>message" lines on the standard
// output the host process inherited, when the variable
// "Zor_{5F596BB2-D8F6-4549-B5A3-3C07AE7B2AD2}" is "1".
//
// A file or a pipe receives UTF-16LE text after a byte-order mark, as the agent's tools
// expect; a terminal receives UTF-8, the only text a Linux terminal shows. ConsoleOutput is a
// singleton of priority 65535, destroyed before every other one. Called only from a log call
// holding the log mutex.
#pragma once

#include "kvwin/format.h"
#include "win/types.h"

namespace log_detail {
bool ConsolePrintArgs(const WCHAR* format, const kvwin::FormatArg* args, size_t count);
}

// Prints when console output is enabled; returns whether it is.
template <class... Args>
bool ConsolePrint(const WCHAR* format, const Args&... args) {
    const kvwin::FormatArg list[] = {kvwin::format_detail::MakeArg(args)..., kvwin::FormatArg{}};
    return log_detail::ConsolePrintArgs(format, list, sizeof...(Args));
}
