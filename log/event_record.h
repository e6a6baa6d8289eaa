// The text of the agent log's records: the event record and the header record.
//
// Pure functions over the caller's buffers, so the log object can compose into buffers it
// reserved once; safe from any thread as long as the buffers are not shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kvwin/wide_string.h"
#include "win/systime.h"
#include "win/types.h"

// What every record says about where it comes from.
struct RecordOrigin {
    WStringView hostName;
    WStringView module;   // this library's file name
    WStringView process;  // the host executable's file name
    uint32_t pid = 0;
    uint32_t thread = 0;
    uint32_t tickCount = 0;  // already masked with 0x7FFFFFFF
};

// The process's fixed attributes as the event record writes them: converted to UTF-8 once.
struct RecordIdentity {
    std::string hostName;
    std::string module;
    std::string process;
};
RecordIdentity EncodeRecordIdentity(const RecordOrigin& origin);

// A record's date text, ASCII, kept on the stack.
class LogDateText {
  public:
    // "MM/DD/YYYY hh:mm:ss.fff0000 +hh:mm" for a local time and the bias B (UTC = local + B).
    LogDateText(const SYSTEMTIME& local, LONG biasMinutes);
    std::string_view View() const { return {m_text, m_size}; }

  private:
    char m_text[80];
    size_t m_size = 0;
};

// The same text as wide characters.
WString FormatLogDate(const SYSTEMTIME& local, LONG biasMinutes);

// The bias of the current zone at this moment, as GetTimeZoneInformation reports it.
LONG CurrentUtcBias();

// Every line feed not preceded by a carriage return becomes CR LF.
void NormalizeLineBreaks(WString& text);

// Composes the event record, in UTF-8 as it is written, into record (replacing its
// contents; its capacity is reused). A source or message that must be escaped or have its
// line breaks normalised is copied into sourceCopy or messageCopy first (the caller's
// working buffers); the texts themselves are never changed. identity is origin's names,
// encoded.
void ComposeEventRecord(std::string& record, std::string_view date, uint32_t level,
                        const RecordOrigin& origin, const RecordIdentity& identity,
                        WStringView source, WStringView message, WString& sourceCopy,
                        WString& messageCopy);

// The header record as 8-bit text: false (and no header) when a character of the arguments
// is above 255 or the record does not fit in 2340 bytes with its terminator.
bool ComposeHeaderRecord(std::string& header, WStringView date, const RecordOrigin& origin,
                         WStringView headerText);
