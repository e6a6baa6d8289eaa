#include "record_table.h"

#include <algorithm>
#include <cctype>
#include <iomanip>

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The date without its fraction: "07/04/2023 09:05:03 -05:00".
std::string ShortDate(const std::string& date) {
    const size_t dot = date.find('.');
    const size_t space = date.find(' ', dot == std::string::npos ? 0 : dot);
    if (dot == std::string::npos || space == std::string::npos)
        return date;
    return date.substr(0, dot) + date.substr(space);
}

}  // namespace

bool RecordFilter::Accepts(const LogRecord& record) const {
    if (!record.wellFormed)
        return true;
    if (!severities.empty() &&
        std::find(severities.begin(), severities.end(), record.severity) == severities.end())
        return false;
    if (!source.empty() && Lower(record.source).find(Lower(source)) == std::string::npos)
        return false;
    if (!process.empty() && Lower(record.process) != Lower(process))
        return false;
    if (since) {
        const auto time = RecordTimeUtc(record.date);
        if (time && *time < *since)
            return false;
    }
    return true;
}

void PrintRecord(std::ostream& out, const LogRecord& record) {
    if (!record.wellFormed) {
        std::string excerpt = record.raw.substr(0, 120);
        std::replace(excerpt.begin(), excerpt.end(), '\r', ' ');
        std::replace(excerpt.begin(), excerpt.end(), '\n', ' ');
        out << "!! malformed record (" << record.problem << "): " << excerpt
            << (record.raw.size() > 120 ? "..." : "") << '\n';
        return;
    }
    out << ShortDate(record.date) << "  " << std::left << std::setw(7)
        << SeverityName(record.severity) << "  " << std::setw(20)
        << (record.process + ":" + std::to_string(record.pid)) << "  " << record.source << "  ";
    // Continuation lines start under the message column's first line.
    std::string line;
    bool first = true;
    for (size_t i = 0; i <= record.message.size(); ++i) {
        const char c = i < record.message.size() ? record.message[i] : '\n';
        if (c == '\r')
            continue;
        if (c != '\n') {
            line.push_back(c);
            continue;
        }
        if (!first)
            out << "    | ";
        out << line << '\n';
        line.clear();
        first = false;
    }
}
