// Test functions of the unload probe library: libkavrel.so's own objects plus these, so a
// test can create singletons in a library it loaded and watch what dlclose runs.
#include <cstring>
#include <string>

#include "library_load.h"
#include "singleton/singleton.h"

namespace {

using Observer = void (*)(const char*);
Observer g_observer = nullptr;

void Tell(const char* what) {
    if (g_observer)
        g_observer(what);
}

struct Console {
    ~Console() { Tell("destroy:console"); }
};
struct OsFacts {
    ~OsFacts() { Tell("destroy:os-facts"); }
};
struct AgentLog {
    ~AgentLog() { Tell("destroy:agent-log"); }
};
struct InstallLogName {
    ~InstallLogName() { Tell("destroy:install-log-name"); }
};
struct MessageModules {
    ~MessageModules() { Tell("destroy:message-modules"); }
};

}  // namespace

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

// The load steps recorded so far, joined with spaces, into `buffer`.
PROBE_EXPORT void ProbeLoadSteps(char* buffer, size_t size) {
    const char* steps[16] = {};
    const size_t count = Kavrel::RecordedLoadSteps(steps, 16);
    std::string joined;
    for (size_t i = 0; i < count && i < 16; ++i)
        joined += std::string(i ? " " : "") + steps[i];
    std::strncpy(buffer, joined.c_str(), size - 1);
    buffer[size - 1] = '\0';
}

// Creates singletons of the library's priorities, in a mixed order, and reports their
// destruction and the unload steps to `observer`.
PROBE_EXPORT void ProbeCreateSingletons(Observer observer) {
    g_observer = observer;
    Kavrel::SetLoadStepObserver(observer);
    Utility::SingletonT<MessageModules, 254>::Instance();
    Utility::SingletonT<AgentLog, 255>::Instance();
    Utility::SingletonT<Console, 0xFFFF>::Instance();
    Utility::SingletonT<InstallLogName, 255>::Instance();
    Utility::SingletonT<OsFacts, 0xFFF>::Instance();
}
