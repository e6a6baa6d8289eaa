// Showing log records as a table, and choosing which to show.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "log_records.h"

struct RecordFilter {
    std::vector<uint32_t> severities;             // empty: every severity
    std::string source;                           // substring, case-insensitive; empty: any
    std::string process;                          // file name, case-insensitive; empty: any
    std::optional<int64_t> since;                 // UTC seconds; records before it are skipped
    bool Accepts(const LogRecord& record) const;  // malformed records always pass
};

// One record: time, severity, process and pid, source, message; continuation lines of the
// message are indented under it. Malformed records are shown as such, with their reason.
void PrintRecord(std::ostream& out, const LogRecord& record);
