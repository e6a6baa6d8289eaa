#include "log_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "kvwin/state_root.h"
#include "log/event_log.h"
#include "log/log_configuration.h"
#include "log_records.h"
#include "win/registry.h"

namespace wmitest {
namespace {

size_t g_firstRecord = 0;

std::vector<LogRecord> Records() {
    std::string path;
    kvwin::ToNativePath(GetEventLog().LogPath(), path);
    std::ifstream in(path, std::ios::binary);
    return ParseLogText(std::string(std::istreambuf_iterator<char>(in), {}));
}

// Trace is the engine's level for most of what it reports; the default mask leaves it out.
class EveryLevelRecorded : public ::testing::Environment {
  public:
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLogConfigurationKey, 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        const DWORD everyLevel = 0x3F;
        ASSERT_EQ(RegSetValueExW(key, u"Severity", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&everyLevel), sizeof everyLevel),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
};

[[maybe_unused]] ::testing::Environment* const g_everyLevel =
    ::testing::AddGlobalTestEnvironment(new EveryLevelRecorded);

}  // namespace

std::vector<std::string> LoggedLines() {
    std::vector<std::string> lines;
    const std::vector<LogRecord> records = Records();
    for (size_t i = g_firstRecord; i < records.size(); ++i) {
        lines.push_back(std::to_string(records[i].severity) + "|" + records[i].source + "|" +
                        records[i].message);
    }
    return lines;
}

void ClearLoggedLines() {
    g_firstRecord = Records().size();
}

}  // namespace wmitest
