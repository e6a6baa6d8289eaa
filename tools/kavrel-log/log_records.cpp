#include "log_records.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstdio>
#include <ctime>

namespace {

constexpr std::string_view kOpen = "<event";
constexpr std::string_view kClose = "</event>";

void ReplaceAll(std::string& text, std::string_view find, std::string_view with) {
    for (size_t at = text.find(find); at != std::string::npos;
         at = text.find(find, at + with.size()))
        text.replace(at, find.size(), with);
}

uint32_t Number(const pugi::xml_node& node, const char* name) {
    return static_cast<uint32_t>(node.attribute(name).as_ullong());
}

LogRecord ParseRecord(std::string_view raw) {
    LogRecord record;
    record.raw = std::string(raw);
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(raw.data(), raw.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        record.problem =
            std::string(parsed.description()) + " at offset " + std::to_string(parsed.offset);
        return record;
    }
    const pugi::xml_node event = document.child("event");
    if (!event || !event.attribute("date") || !event.attribute("severity")) {
        record.problem = "not an event record";
        return record;
    }
    record.wellFormed = true;
    record.date = event.attribute("date").value();
    record.severity = Number(event, "severity");
    record.hostName = event.attribute("hostName").value();
    record.source = event.attribute("source").value();
    record.module = event.attribute("module").value();
    record.process = event.attribute("process").value();
    record.pid = Number(event, "pid");
    record.thread = Number(event, "thread");
    record.tickCount = Number(event, "tickCount");
    record.message = event.text().get();
    // The writer keeps "]]>" out of the section; undo it in the reverse order.
    ReplaceAll(record.message, "]]&gt;", "]]>");
    ReplaceAll(record.message, "]]&amp;", "]]&");
    return record;
}

bool IsBlank(std::string_view text) {
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            return false;
    return true;
}

LogRecord Stray(std::string_view text) {
    LogRecord record;
    record.raw = std::string(text);
    record.problem = "text outside any event record";
    return record;
}

}  // namespace

std::vector<LogRecord> ParseLogText(std::string_view text, std::string* pending) {
    std::vector<LogRecord> records;
    if (pending)
        pending->clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find(kOpen, at);
        if (start == std::string_view::npos) {
            if (!IsBlank(text.substr(at))) {
                if (pending)
                    *pending = std::string(text.substr(at));
                else
                    records.push_back(Stray(text.substr(at)));
            }
            break;
        }
        if (!IsBlank(text.substr(at, start - at)))
            records.push_back(Stray(text.substr(at, start - at)));
        const size_t next = text.find(kOpen, start + kOpen.size());
        const size_t close = text.find(kClose, start);
        if (close == std::string_view::npos || (next != std::string_view::npos && next < close)) {
            // No end before the next record: cut short, or still being written at the end.
            const size_t end = next == std::string_view::npos ? text.size() : next;
            if (next == std::string_view::npos && pending) {
                *pending = std::string(text.substr(start));
                break;
            }
            LogRecord record;
            record.raw = std::string(text.substr(start, end - start));
            record.problem = "record without its closing </event>";
            records.push_back(std::move(record));
            at = end;
            continue;
        }
        const size_t end = close + kClose.size();
        records.push_back(ParseRecord(text.substr(start, end - start)));
        at = end;
    }
    return records;
}

std::optional<int64_t> RecordTimeUtc(const std::string& date) {
    int month, day, year, hour, minute, second, hours, minutes;
    unsigned fraction;
    char sign;
    if (std::sscanf(date.c_str(), "%d/%d/%d %d:%d:%d.%u %c%d:%d", &month, &day, &year, &hour,
                    &minute, &second, &fraction, &sign, &hours, &minutes) != 10 ||
        (sign != '+' && sign != '-'))
        return std::nullopt;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    const int64_t asUtc = timegm(&t);
    const int64_t offset = (hours * 60 + minutes) * 60;
    return sign == '+' ? asUtc - offset : asUtc + offset;
}

std::optional<uint32_t> ParseSeverityName(std::string_view name) {
    std::string lower;
    for (char c : name)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lower == "error")
        return 1;
    if (lower == "warning" || lower == "warn")
        return 2;
    if (lower == "information" || lower == "info")
        return 4;
    if (lower == "trace")
        return 8;
    if (lower == "verbose")
        return 16;
    if (lower == "debug")
        return 32;
    if (lower.empty() || lower.size() > 3)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : lower) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value;
}

const char* SeverityName(uint32_t level) {
    switch (level) {
        case 1:
            return "error";
        case 2:
            return "warning";
        case 4:
            return "info";
        case 8:
            return "trace";
        case 16:
            return "verbose";
        case 32:
            return "debug";
        default:
            return "unknown";
    }
}
