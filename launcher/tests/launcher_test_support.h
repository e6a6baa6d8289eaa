// What the launcher tests share: the agent log's records, a folder every account can use,
// a stand-in launcher beside a "Colvane.dll", and the stand-in's reports.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "log_records.h"

namespace launcher_test {

// The records of this process's agent log so far.
std::vector<LogRecord> AgentLogRecords();

// The records with this source whose message starts with prefix.
std::vector<LogRecord> RecordsOf(const std::string& source, const std::string& prefix);

// A fresh folder under /tmp that every account may enter and write, removed at the end.
class OpenFolder {
  public:
    OpenFolder();
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    const std::string& path() const { return m_path; }
    // The names of the files in it.
    std::vector<std::string> Files() const;

  private:
    std::string m_path;
};

// Copies the stand-in launcher into folder as "Lumbrik.exe" and loads a "Colvane.dll"
// from there, so the library's launcher path leads to the stand-in.
void InstallProbeAsLauncher(const std::string& folder);

// Loads a copy of a "Colvane.dll" from folder: the library's launcher path then leads there.
void InstallColvaneModule(const std::string& folder);

// The stand-in's report for a call: key=value lines; empty when it wrote none.
std::map<std::string, std::string> ReadProbeReport(const std::string& folder,
                                                   const std::string& identifier);

// The identifiers of every report in folder.
std::vector<std::string> ProbeReportIdentifiers(const std::string& folder);

}  // namespace launcher_test
