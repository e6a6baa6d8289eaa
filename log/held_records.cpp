#include "log/held_records.h"

#include <atomic>

#include "entry/singleton/singleton.h"
#include "log/event_log.h"

namespace log_detail {

namespace {

thread_local HeldRecordCollector* t_collector = nullptr;

}  // namespace

bool LogUnderConstructionHere() noexcept {
    // Once the log object exists nobody is building it: no thread id to ask for.
    using Log = Utility::SingletonT<EventLog, 255>;
    return !(Log::State() & Utility::kSingletonCreated) && Log::CreatingOnThisThread();
}

void HoldRecord(uint32_t severity, const WCHAR* source, const WCHAR* message) noexcept {
    HeldRecordCollector* collector = t_collector;
    if (!collector || !message || !*message)
        return;
    try {
        collector->m_records.push_back(
            {severity, source != nullptr, source ? WString(source) : WString(), message});
    } catch (...) {
        // Out of memory: the record is lost, as a log call may lose its own record.
    }
}

HeldRecordCollector::HeldRecordCollector() noexcept {
    if (!t_collector) {
        t_collector = this;
        m_outermost = true;
    }
}

HeldRecordCollector::~HeldRecordCollector() {
    if (m_outermost)
        t_collector = nullptr;
}

void HeldRecordCollector::WriteTo(EventLog& log) noexcept {
    // Stop collecting first: a record that writing one of these makes goes straight to the
    // log object, which exists now.
    if (m_outermost) {
        t_collector = nullptr;
        m_outermost = false;
    }
    std::vector<Record> records;
    records.swap(m_records);
    for (const Record& record : records) {
        std::atomic<uint32_t>* activeWriters = nullptr;
        try {
            log.WriteEvent(record.severity, record.hasSource ? record.source.c_str() : nullptr,
                           record.message.c_str(), &activeWriters);
        } catch (...) {
            // That record is lost; the others are still written.
        }
        if (activeWriters)
            activeWriters->fetch_sub(1);
    }
}

}  // namespace log_detail
