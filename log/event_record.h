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

// "MM/DD/YYYY hh:mm:ss.fff0000 +hh:mm" for a local time and the bias B (UTC = local + B).
WString FormatLogDate(const SYSTEMTIME& local, LONG biasMinutes);

// The bias of the current zone at this moment, as GetTimeZoneInformation reports it.
LONG CurrentUtcBias();

// Every line feed not preceded by a carriage return becomes CR LF.
void NormalizeLineBreaks(WString& text);

// Composes the event record, in UTF-8 as it is written, into record (replacing its
// contents). message and source are the caller's working copies: they are normalised and
// escaped in place.
void ComposeEventRecord(std::string& record, WStringView date, uint32_t level,
                        const RecordOrigin& origin, WString& source, WString& message);

// The header record as 8-bit text: false (and no header) when a character of the arguments
// is above 255 or the record does not fit in 2340 bytes with its terminator.
bool ComposeHeaderRecord(std::string& header, WStringView date, const RecordOrigin& origin,
                         WStringView headerText);
