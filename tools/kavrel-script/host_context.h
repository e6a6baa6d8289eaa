// What the parts of one kavrel-script run share: the script files, the arguments the
// scripts see, the console and the run control.
//
// Thread safety: the run control and the console outputs are thread safe; `current` is
// atomic (the watchdog reads it to name the file in its message); everything else belongs to
// the script thread.
#pragma once

#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "console.h"
#include "run_control.h"
#include "script_source.h"

// The source context cookie a file is parsed with: its index plus one, so that 0 stays free
// for "unknown".
inline DWORDLONG SourceCookie(size_t index) {
    return DWORDLONG(index) + 1;
}

struct HostContext {
    HostContext(int input = STDIN_FILENO, int output = STDOUT_FILENO, int error = STDERR_FILENO)
        : out(output), err(error), in(input, control.Signal()) {}
    HostContext(const HostContext&) = delete;
    HostContext& operator=(const HostContext&) = delete;

    std::vector<ScriptSource> sources;      // in the order they run
    std::atomic<size_t> current{0};         // the index of the file running now
    std::vector<std::u16string> arguments;  // WScript.Arguments
    std::string toolPath;                   // WScript.FullName: this program

    RunControl control;
    ConsoleOutput out;
    ConsoleOutput err;
    ConsoleInput in;

    // Set by the site when the engine reports a script error; the host clears it before
    // each file.
    bool errorReported = false;

    // The file a script error's source context names; an engine that cannot tell where an
    // error arose says 0, which names the file running now.
    const ScriptSource* SourceOf(DWORDLONG cookie) const {
        return cookie > 0 && cookie <= sources.size() ? &sources[size_t(cookie - 1)]
                                                      : CurrentSource();
    }

    // The file running now, or null before the first.
    const ScriptSource* CurrentSource() const {
        const size_t index = current.load();
        return index < sources.size() ? &sources[index] : nullptr;
    }
};
