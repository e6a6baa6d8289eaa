// Tests read what the library logged from the agent log itself: every level is switched on
// before a test starts, and the records are read back from the file.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "kvtest/log_capture.h"
#include "kvtest/registry_values.h"
#include "kvwin/state_root.h"
#include "log/event_log.h"
#include "log/log_configuration.h"
#include "log_records.h"
#include "win/registry.h"

namespace kvtest {
namespace {

size_t g_firstRecord = 0;

std::string LogFilePath() {
    std::string native;
    kvwin::ToNativePath(GetEventLog().LogPath(), native);
    return native;
}

std::vector<LogRecord> Records() {
    std::ifstream in(LogFilePath(), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    return ParseLogText(text);
}

class AllLevelsOn : public ::testing::Environment {
  public:
    void SetUp() override {
        kvtest::SetRegistryDword(HKEY_LOCAL_MACHINE, kLogConfigurationKey, u"Severity", 0x3F);
    }
};

[[maybe_unused]] ::testing::Environment* const g_allLevelsOn =
    ::testing::AddGlobalTestEnvironment(new AllLevelsOn);

}  // namespace

std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    const std::vector<LogRecord> records = Records();
    for (size_t i = g_firstRecord; i < records.size(); ++i) {
        const LogRecord& record = records[i];
        lines.push_back(std::to_string(record.severity) + "|" + record.source + "|" +
                        record.message);
    }
    return lines;
}

void ClearLoggedLines() {
    g_firstRecord = Records().size();
}

bool WaitForLoggedText(const std::string& text, unsigned timeoutMs) {
    const std::string path = LogFilePath();
    const std::string folder = path.substr(0, path.rfind('/'));
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0)
        return false;
    // The watch comes first, so a record written between the check and the wait still wakes us.
    const bool watching =
        inotify_add_watch(watch, folder.c_str(), IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE) >= 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool found = false;
    while (watching && !found) {
        for (const LogRecord& record : Records())
            found = found || record.message.find(text) != std::string::npos;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (found || left.count() <= 0)
            break;
        pollfd ready{watch, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left.count())) > 0) {
            char events[4096];
            while (read(watch, events, sizeof events) > 0) {
            }
        }
    }
    close(watch);
    return found;
}

}  // namespace kvtest
