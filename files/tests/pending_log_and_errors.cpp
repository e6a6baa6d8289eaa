// TEMPORARY: see pending_log_and_errors.h.
#include "pending_log_and_errors.h"

#include <mutex>

#include "errors/error_description.h"
#include "kvwin/format.h"
#include "log/agent_log.h"

namespace pending {

namespace {

std::mutex g_lock;
std::vector<LoggedLine> g_lines;
LogObserver g_observer = nullptr;

void Record(LoggedLine line) noexcept {
    try {
        if (line.message.size() >= kLogFormatBufferChars)
            line.message.resize(kLogFormatBufferChars - 1);
        LogObserver observer = nullptr;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            g_lines.push_back(line);
            observer = g_observer;
        }
        if (observer)
            observer(line);
    } catch (...) {
    }
}

}  // namespace

std::vector<LoggedLine> LoggedLines() {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_lines;
}

void ClearLoggedLines() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines.clear();
}

void SetLogObserver(LogObserver observer) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_observer = observer;
}

}  // namespace pending

namespace log_detail {

void ReportFormatted(uint32_t severity, const WCHAR* source, const WCHAR* format,
                     const kvwin::FormatArg* args, size_t count) noexcept {
    try {
        pending::Record(
            {severity, source ? source : u"", kvwin::FormatArgs(format, args, count), false, 0});
    } catch (...) {
    }
}

void ReportWin32(uint32_t severity, const WCHAR* source, uint32_t error, const WCHAR* format,
                 const kvwin::FormatArg* args, size_t count) noexcept {
    try {
        pending::Record(
            {severity, source ? source : u"", kvwin::FormatArgs(format, args, count), true, error});
    } catch (...) {
    }
}

}  // namespace log_detail

std::u16string GetErrorText(uint32_t code) {
    return kvwin::Format(u"[text of error %u]", code);
}

void ThrowComErrorWithSystemText(HRESULT hr, uint32_t systemCode, const WCHAR* text) {
    throw pending::PendingComError{hr, systemCode, text ? text : u""};
}
