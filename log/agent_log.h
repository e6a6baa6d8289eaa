// The agent log's calling interface: one call per event, from any thread of any process.
//
//   CEReportEventF(LogWarning, TEXT("CWMIQuery::Execute"), TEXT("Query %ls failed"), query);
//
// A log call never fails and never throws: whatever goes wrong inside it costs at most the
// record concerned. Whether a call is recorded depends on its severity word, the "Severity"
// mask in the registry and the process's override variable; where the record goes (the
// machine-wide "Agent.log", the install log, the console) is decided by the log object
// (log/event_log.h). Formatting uses the layer's type-checked formatter (kvwin/format.h) into
// a fixed buffer of 4096 characters; longer messages are cut to 4095.
#pragma once

#include <cstdint>

#include "kvwin/format.h"
#include "log/log_gate.h"
#include "win/types.h"

class _com_error;

// ---- the severity word ------------------------------------------------------------------
// Bits 0-7: the level, one bit per level.
inline constexpr uint32_t LogError = 1;
inline constexpr uint32_t LogWarning = 2;
inline constexpr uint32_t LogInformation = 4;
inline constexpr uint32_t LogTrace = 8;
inline constexpr uint32_t LogVerbose = 16;
inline constexpr uint32_t LogDebug = 32;
// Bits 20-23: the mode.
inline constexpr uint32_t LogModeMask = 0x00F00000;
inline constexpr uint32_t LogModeTrace = 0x00100000;               // record at Trace
inline constexpr uint32_t LogModeErrorAsInformation = 0x00200000;  // levels 0 and 1 as Information
// Bits 24-26: where else the record goes, or nowhere.
inline constexpr uint32_t LogFlagMask = 0x0F000000;
inline constexpr uint32_t LogToInstallLog = 0x01000000;
inline constexpr uint32_t LogSuppress = 0x02000000;
inline constexpr uint32_t LogToConsole = 0x04000000;

// The size of the formatting buffer of the front-ends, terminator included.
inline constexpr size_t kLogFormatBufferChars = 4096;

// Records message from source. A call the filter rejects is decided inline, without a call
// into the library (log/log_gate.h). A null or empty message records nothing; a null source still
// reaches the install log and the console but makes no file record.
void CEReportEventRecord(uint32_t severity, const WCHAR* source, const WCHAR* message) noexcept;
inline void CEReportEvent(uint32_t severity, const WCHAR* source, const WCHAR* message) noexcept {
    if (!log_detail::CertainlyRejected(severity))
        CEReportEventRecord(severity, source, message);
}

// text, copied through "%ls" and cut to 4095 characters.
void CEReportEventS(uint32_t severity, const WCHAR* source, const WCHAR* text) noexcept;

// text followed by ", COM error: <description> (0x<HRESULT>)" when text is not empty and
// fitted whole; the description is the error's own, else the system's text for its code.
void CEReportEventCom(uint32_t severity, const WCHAR* source, const _com_error& error,
                      const WCHAR* text) noexcept;

namespace log_detail {

// Whether the log would record a call with this severity word now. The front-ends ask before
// they format, so a call the filter rejects costs no formatting.
bool WouldRecord(uint32_t severity) noexcept;

void ReportFormatted(uint32_t severity, const WCHAR* source, const WCHAR* format,
                     const kvwin::FormatArg* args, size_t count) noexcept;
void ReportWin32(uint32_t severity, const WCHAR* source, uint32_t error, const WCHAR* format,
                 const kvwin::FormatArg* args, size_t count) noexcept;
void ReportAt(uint32_t severity, const char* file, int line, const WCHAR* format,
              const kvwin::FormatArg* args, size_t count) noexcept;

}  // namespace log_detail

// The formatted text, cut to 4095 characters.
template <class... Args>
void CEReportEventF(uint32_t severity, const WCHAR* source, const WCHAR* format,
                    const Args&... args) noexcept {
    if (log_detail::CertainlyRejected(severity))
        return;
    const kvwin::FormatArg list[] = {kvwin::format_detail::MakeArg(args)..., kvwin::FormatArg{}};
    log_detail::ReportFormatted(severity, source, format, list, sizeof...(Args));
}

// The formatted text followed by ", error: <description of error>" when it fitted whole.
template <class... Args>
void CEReportEventWin32(uint32_t severity, const WCHAR* source, uint32_t error, const WCHAR* format,
                        const Args&... args) noexcept {
    if (log_detail::CertainlyRejected(severity))
        return;
    const kvwin::FormatArg list[] = {kvwin::format_detail::MakeArg(args)..., kvwin::FormatArg{}};
    log_detail::ReportWin32(severity, source, error, format, list, sizeof...(Args));
}

// The formatted text, with the source made from a source file path and line: "wmiquery(181)".
template <class... Args>
void CEReportEventAt(uint32_t severity, const char* file, int line, const WCHAR* format,
                     const Args&... args) noexcept {
    if (log_detail::CertainlyRejected(severity))
        return;
    const kvwin::FormatArg list[] = {kvwin::format_detail::MakeArg(args)..., kvwin::FormatArg{}};
    log_detail::ReportAt(severity, file, line, format, list, sizeof...(Args));
}
