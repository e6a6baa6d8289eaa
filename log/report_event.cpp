// The logging front-ends: they make the message and hand it to the process's log object.
#include <atomic>
#include <string>

#include "log/agent_log.h"
#include "log/event_log.h"
#include "log/held_records.h"
#include "log/log_reentry.h"
#include "win/text.h"

namespace {

// Formats into the front-ends' fixed buffer; a text that does not fit is cut to 4095
// characters. Returns whether it fitted whole.
bool FormatMessageText(WCHAR (&buffer)[kLogFormatBufferChars], const WCHAR* format,
                       const kvwin::FormatArg* args, size_t count) {
    buffer[0] = TEXT('\0');
    if (!format)
        return true;
    return kvwin::FormatArgsTo(buffer, kLogFormatBufferChars, format, args, count) >= 0;
}

}  // namespace

namespace log_detail {

bool WouldRecord(uint32_t severity) noexcept {
    if (CertainlyRejected(severity))
        return false;
    // While this thread builds the log object nothing is known yet: the record is made and
    // held, and the filter decides when it is written.
    if (LogUnderConstructionHere())
        return true;
    try {
        return GetEventLog().WouldRecord(severity);
    } catch (...) {
        return false;
    }
}

}  // namespace log_detail

void CEReportEventRecord(uint32_t severity, const WCHAR* source, const WCHAR* message) noexcept {
    if (!message || !*message)
        return;
    std::atomic<uint32_t>* activeWriters = nullptr;
    try {
        if (InstallLogReentryGuard::Active())
            severity &= ~LogToInstallLog;
        if (log_detail::LogUnderConstructionHere()) {
            log_detail::HoldRecord(severity, source, message);
            return;
        }
        GetEventLog().WriteEvent(severity, source, message, &activeWriters);
    } catch (...) {
        // The log cannot report its own trouble; the record is lost.
    }
    if (activeWriters)
        activeWriters->fetch_sub(1);
}

void CEReportEventS(uint32_t severity, const WCHAR* source, const WCHAR* text) noexcept {
    if (!log_detail::WouldRecord(severity))
        return;
    WCHAR buffer[kLogFormatBufferChars];
    const kvwin::FormatArg args[] = {kvwin::format_detail::MakeArg(text)};
    FormatMessageText(buffer, TEXT("%ls"), args, 1);
    CEReportEvent(severity, source, buffer);
}

namespace log_detail {

void ReportFormatted(uint32_t severity, const WCHAR* source, const WCHAR* format,
                     const kvwin::FormatArg* args, size_t count) noexcept {
    if (!log_detail::WouldRecord(severity))
        return;
    WCHAR buffer[kLogFormatBufferChars];
    FormatMessageText(buffer, format, args, count);
    CEReportEvent(severity, source, buffer);
}

void ReportAt(uint32_t severity, const char* file, int line, const WCHAR* format,
              const kvwin::FormatArg* args, size_t count) noexcept {
    if (!log_detail::WouldRecord(severity))
        return;
    WCHAR buffer[kLogFormatBufferChars];
    FormatMessageText(buffer, format, args, count);
    // "C:\src\wmiquery.cpp" and line 181 give "wmiquery(181)".
    std::string stem = file ? file : "";
    const size_t slash = stem.rfind('\\');
    if (slash != std::string::npos)
        stem.erase(0, slash + 1);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos)
        stem.erase(dot);
    std::string narrow = stem + "(" + std::to_string(line) + ")";
    if (narrow.size() > 291)
        narrow.resize(291);
    WCHAR source[292] = {};
    const int length =
        MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), source, 291);
    source[length > 0 ? length : 0] = TEXT('\0');
    CEReportEvent(severity, source, buffer);
}

}  // namespace log_detail
