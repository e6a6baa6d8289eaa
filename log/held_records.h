// Records made while the log object is being built.
//
// The log object's constructor gathers facts (the operating system's identity, the install
// log's folder) whose gathering may itself log a warning. Such a call arrives on the thread
// that is constructing the log object, before the object exists: it cannot be written and
// must not ask for the log object again. The front-ends hold it instead, and the frame that
// asked for the log object writes the held records, in the order they were made, as soon
// as the object exists. Should the construction fail, they are dropped with it.
//
// Thread safety: everything here belongs to the calling thread; the only shared state is a
// trivially destructible thread-local pointer, so the library stays unloadable.
#pragma once

#include <cstdint>
#include <vector>

#include "kvwin/wide_string.h"
#include "win/types.h"

class EventLog;

namespace log_detail {

// Whether this thread is inside the log object's constructor.
bool LogUnderConstructionHere() noexcept;

// Keeps one record for the collecting frame of this thread; without one it is lost.
void HoldRecord(uint32_t severity, const WCHAR* source, const WCHAR* message) noexcept;

// Collects the records held on this thread for its lifetime; the outermost collector of a
// thread takes them, nested ones stand aside.
class HeldRecordCollector {
  public:
    HeldRecordCollector() noexcept;
    ~HeldRecordCollector();
    HeldRecordCollector(const HeldRecordCollector&) = delete;
    HeldRecordCollector& operator=(const HeldRecordCollector&) = delete;

    // Writes what was held, in order, and forgets it. Never throws.
    void WriteTo(EventLog& log) noexcept;

  private:
    struct Record {
        uint32_t severity;
        bool hasSource;
        WString source;
        WString message;
    };
    friend void HoldRecord(uint32_t, const WCHAR*, const WCHAR*) noexcept;

    bool m_outermost = false;
    std::vector<Record> m_records;
};

}  // namespace log_detail
