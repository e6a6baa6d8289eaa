// TEMPORARY stand-ins for the agent log's front-end functions and the error texts, until
// log/ and errors/ have their implementations; delete this file and its .cpp then.
//
// They record every log call instead of writing it, so the file tests can ask which lines
// were logged, and raise PendingComError in place of a described COM error.
// All functions are safe from any thread (one lock guards the record).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win/types.h"

namespace pending {

struct LoggedLine {
    uint32_t severity = 0;
    std::u16string source;
    std::u16string message;  // the formatted text alone
    bool win32 = false;      // logged through CEReportEventWin32
    uint32_t error = 0;      // its error code
};

std::vector<LoggedLine> LoggedLines();
void ClearLoggedLines();

// Called with each line as it is recorded (null to stop); for a test that must act the
// moment a line is logged, possibly in another process.
using LogObserver = void (*)(const LoggedLine& line);
void SetLogObserver(LogObserver observer);

// What ThrowComErrorWithSystemText raises here.
struct PendingComError {
    HRESULT hr = 0;
    uint32_t systemCode = 0;
    std::u16string text;
};

}  // namespace pending
