// Singleton types for the tests, which log their construction and destruction.
#pragma once

#include <unistd.h>

#include <mutex>
#include <string>

#include "singleton/singleton.h"

namespace entrytest {

// Events in the order they happened, joined with spaces.
inline std::mutex g_eventsLock;
inline std::string g_events;

inline void Event(const std::string& what) {
    std::lock_guard hold(g_eventsLock);
    if (!g_events.empty())
        g_events += ' ';
    g_events += what;
}

inline std::string Events() {
    std::lock_guard hold(g_eventsLock);
    return g_events;
}

// Writes straight to stdout, so a child's output survives an immediate end of the process.
inline void Say(const std::string& text) {
    [[maybe_unused]] ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

// A singleton that logs "Name()" when constructed and "~Name" when destroyed.
template <const char* Name>
struct Logged {
    Logged() { Event(std::string(Name) + "()"); }
    ~Logged() { Event(std::string("~") + Name); }
};

}  // namespace entrytest
