// Reading agent log files: a sequence of <event> records, with no root element, as every
// agent process appends them. A record that does not parse is kept as a malformed record
// with its raw text and the reason, so a damaged file is still shown whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LogRecord {
    bool wellFormed = false;
    std::string problem;  // why a malformed record did not parse
    std::string raw;      // the record's text as found in the file

    std::string date;  // as written: "MM/DD/YYYY hh:mm:ss.fffffff +hh:mm"
    uint32_t severity = 0;
    std::string hostName, source, module, process;
    uint32_t pid = 0, thread = 0, tickCount = 0;
    std::string message;  // CDATA content, its escapes undone, line breaks as in the file
};

// Splits text into records. Incomplete trailing text (a record still being written) is
// returned in pending and not as a record, so a follower can wait for the rest.
std::vector<LogRecord> ParseLogText(std::string_view text, std::string* pending = nullptr);

// Seconds since 1970 (UTC) of a record's date, or nothing when it does not parse.
std::optional<int64_t> RecordTimeUtc(const std::string& date);

// "error", "warning", "information"/"info", "trace", "verbose", "debug" or a number.
std::optional<uint32_t> ParseSeverityName(std::string_view name);
const char* SeverityName(uint32_t level);
