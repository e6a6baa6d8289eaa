// The front-ends that add an error's description to the message.
#include "kvwin/wide_string.h"
#include "win/comdef.h"

#include <string>

#include "errors/error_description.h"
#include "log/agent_log.h"

namespace {

// Writes text into buffer from position at, cut to the room left; always terminated.
void AppendCut(WCHAR (&buffer)[kLogFormatBufferChars], size_t at, const WString& text) {
    const size_t room = kLogFormatBufferChars - 1 - at;
    const size_t n = text.size() < room ? text.size() : room;
    text.copy(buffer + at, n);
    buffer[at + n] = TEXT('\0');
}

}  // namespace

namespace log_detail {

void ReportWin32(uint32_t severity, const WCHAR* source, uint32_t error, const WCHAR* format,
                 const kvwin::FormatArg* args, size_t count) noexcept {
    if (!WouldRecord(severity))
        return;
    WCHAR buffer[kLogFormatBufferChars];
    buffer[0] = TEXT('\0');
    const int length =
        format ? kvwin::FormatArgsTo(buffer, kLogFormatBufferChars, format, args, count) : 0;
    if (length > 0) {
        try {
            const WString description = GetErrorDescription(error, kErrorTextWrapByCode, 1033);
            AppendCut(buffer, static_cast<size_t>(length),
                      kvwin::Format(TEXT(", error: %ls"), description));
        } catch (...) {
            // The message goes without its suffix.
        }
    }
    CEReportEvent(severity, source, buffer);
}

}  // namespace log_detail

void CEReportEventCom(uint32_t severity, const WCHAR* source, const _com_error& error,
                      const WCHAR* text) noexcept {
    if (!log_detail::WouldRecord(severity))
        return;
    WCHAR buffer[kLogFormatBufferChars];
    buffer[0] = TEXT('\0');
    const int length = text ? kvwin::FormatTo(buffer, kLogFormatBufferChars, TEXT("%ls"), text) : 0;
    if (length > 0) {
        try {
            WString description;
            const HRESULT hr = GetComErrorText(error, description);
            AppendCut(buffer, static_cast<size_t>(length),
                      kvwin::Format(TEXT(", COM error: %ls (0x%08X)"), description,
                                    static_cast<uint32_t>(hr)));
        } catch (...) {
            // The message goes without its suffix.
        }
    }
    CEReportEvent(severity, source, buffer);
}
