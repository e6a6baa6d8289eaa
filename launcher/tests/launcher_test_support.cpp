#include "launcher_test_support.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "kvwin/state_root.h"
#include "log/event_log.h"

namespace launcher_test {

namespace {

// Trace records on for this process and its children, before anything logs: the road's
// "Entered", "Writing to" and exit-code lines are traces.
const bool kTraceRecorded =
    ::setenv("Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}", "00000008", 1) == 0;

}  // namespace

std::vector<LogRecord> AgentLogRecords() {
    std::string path;
    kvwin::ToNativePath(GetEventLog().LogPath(), path);
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    return ParseLogText(text);
}

std::vector<LogRecord> RecordsOf(const std::string& source, const std::string& prefix) {
    std::vector<LogRecord> found;
    for (LogRecord& record : AgentLogRecords()) {
        if (record.source == source && record.message.rfind(prefix, 0) == 0)
            found.push_back(std::move(record));
    }
    return found;
}

OpenFolder::OpenFolder() {
    char pattern[] = "/tmp/kvlaunch-XXXXXX";
    if (::mkdtemp(pattern))
        m_path = pattern;
    ::chmod(m_path.c_str(), 0777);
}

OpenFolder::~OpenFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> OpenFolder::Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_path))
        names.push_back(entry.path().filename().string());
    return names;
}

void InstallProbeAsLauncher(const std::string& folder) {
    namespace fs = std::filesystem;
    // A link, so the stand-in still finds the platform library beside its real file.
    fs::create_symlink(LAUNCH_PROBE_PATH, folder + "/Lumbrik.exe");
    InstallColvaneModule(folder);
}

void InstallColvaneModule(const std::string& folder) {
    namespace fs = std::filesystem;
    fs::copy_file(COLVANE_FIXTURE_PATH, folder + "/Colvane.dll",
                  fs::copy_options::overwrite_existing);
    // Kept loaded for the rest of the process: each test case is a process of its own.
    (void)kTraceRecorded;
    ::dlopen((folder + "/Colvane.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
}

std::map<std::string, std::string> ReadProbeReport(const std::string& folder,
                                                   const std::string& identifier) {
    std::map<std::string, std::string> report;
    std::ifstream in(folder + "/Probe_" + identifier + ".txt");
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            report[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return report;
}

std::vector<std::string> ProbeReportIdentifiers(const std::string& folder) {
    std::vector<std::string> identifiers;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Probe_", 0) == 0 && name.size() > 10)
            identifiers.push_back(name.substr(6, name.size() - 10));
    }
    return identifiers;
}

}  // namespace launcher_test
