// kavrel-log: shows agent log records as a readable table.
//
//   kavrel-log [--file PATH]... [--severity LIST] [--source TEXT] [--process NAME]
//              [--since "YYYY-MM-DD[ hh:mm[:ss]]"] [--follow] [--where]
//
// Without --file it reads the machine's agent log and its rotated copies, oldest first.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "log/event_log.h"
#include "log_records.h"
#include "record_table.h"
#include "win/files.h"

namespace {

constexpr const char* kUsage =
    "usage: kavrel-log [options]\n"
    "  --file PATH        read this file (repeatable); default: the agent log and its copies\n"
    "  --severity LIST    only these severities: error,warning,info,trace,verbose,debug or "
    "numbers\n"
    "  --source TEXT      only records whose source contains TEXT (any case)\n"
    "  --process NAME     only records of this executable (any case)\n"
    "  --since TIME       only records from TIME on: \"YYYY-MM-DD[ hh:mm[:ss]]\", local time\n"
    "  -f, --follow       keep showing records as they are written (Ctrl-C ends)\n"
    "  --where            print the agent log's path and exit\n"
    "  -h, --help         this text\n";

struct Options {
    std::vector<std::string> files;
    RecordFilter filter;
    bool follow = false;
    bool where = false;
};

bool Fail(const std::string& message) {
    std::cerr << "kavrel-log: " << message << "\n" << kUsage;
    return false;
}

bool ParseSince(const std::string& text, int64_t& since) {
    std::tm t{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour,
                              &minute, &second);
    if (n != 3 && n != 5 && n != 6)
        return false;
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    since = mktime(&t);
    return since != -1;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return Fail(arg + " needs a value");
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg == "--file") {
            if (!value(text))
                return false;
            options.files.push_back(text);
        } else if (arg == "--severity") {
            if (!value(text))
                return false;
            std::stringstream list(text);
            std::string item;
            while (std::getline(list, item, ',')) {
                const auto level = ParseSeverityName(item);
                if (!level)
                    return Fail("unknown severity '" + item + "'");
                options.filter.severities.push_back(*level);
            }
        } else if (arg == "--source") {
            if (!value(options.filter.source))
                return false;
        } else if (arg == "--process") {
            if (!value(options.filter.process))
                return false;
        } else if (arg == "--since") {
            int64_t since = 0;
            if (!value(text))
                return false;
            if (!ParseSince(text, since))
                return Fail("cannot read the time '" + text + "'");
            options.filter.since = since;
        } else if (arg == "--follow" || arg == "-f") {
            options.follow = true;
        } else if (arg == "--where") {
            options.where = true;
        } else {
            return Fail("unknown option '" + arg + "'");
        }
    }
    return true;
}

std::string NativePath(const std::u16string& path) {
    std::string native;
    return kvwin::ToNativePath(path, native) ? native : kvwin::ToUtf8(path);
}

// The agent log's copies (oldest first), then the log itself.
std::vector<std::string> AgentLogFiles(const std::string& logPath) {
    const size_t slash = logPath.rfind('/');
    const std::string folder = logPath.substr(0, slash);
    const std::string name = logPath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::u16string pattern = kvwin::FromUtf8(
        folder + "/" +
        (dot == std::string::npos ? name + "*" : name.substr(0, dot) + "*" + name.substr(dot)));
    std::vector<std::pair<uint64_t, std::string>> copies;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string path = folder + "/" + kvwin::ToUtf8(found.cFileName);
            if (path != logPath)
                copies.emplace_back(
                    (static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                        found.ftLastWriteTime.dwLowDateTime,
                    path);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    std::sort(copies.begin(), copies.end());
    std::vector<std::string> files;
    for (auto& copy : copies)
        files.push_back(copy.second);
    files.push_back(logPath);
    return files;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Show(const std::vector<LogRecord>& records, const RecordFilter& filter) {
    for (const LogRecord& record : records)
        if (filter.Accepts(record))
            PrintRecord(std::cout, record);
    std::cout.flush();
}

// Shows what is appended to path from offset on; starts over when the file is replaced or
// shrinks (rotation).
[[noreturn]] void Follow(const std::string& path, uint64_t offset, const RecordFilter& filter) {
    std::string pending;
    ino_t inode = 0;
    for (;;) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0) {
            if ((inode && info.st_ino != inode) || static_cast<uint64_t>(info.st_size) < offset) {
                offset = 0;
                pending.clear();
            }
            inode = info.st_ino;
            if (static_cast<uint64_t>(info.st_size) > offset) {
                std::ifstream in(path, std::ios::binary);
                in.seekg(static_cast<std::streamoff>(offset));
                std::string more(std::istreambuf_iterator<char>(in), {});
                offset += more.size();
                std::string text = pending + more;
                Show(ParseLogText(text, &pending), filter);
            }
        }
        usleep(250 * 1000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    const bool ownFiles = !options.files.empty();
    std::string logPath;
    if (!ownFiles || options.where)
        logPath = NativePath(GetEventLog().LogPath());
    if (options.where) {
        std::cout << logPath << "\n";
        // Where this account may not add records, say so: its log calls write nothing there.
        // (No folder yet: the first record of a root process makes it.)
        const std::string folder = logPath.substr(0, logPath.rfind('/'));
        const bool fileThere = access(logPath.c_str(), F_OK) == 0;
        const bool folderThere = access(folder.c_str(), F_OK) == 0;
        if ((fileThere && access(logPath.c_str(), W_OK) != 0) ||
            (!fileThere && folderThere && access(folder.c_str(), W_OK) != 0))
            std::cerr << "kavrel-log: this account cannot add records to the log; root and the "
                         "members of the group kavrel-log can\n";
        return 0;
    }
    const std::vector<std::string> files = ownFiles ? options.files : AgentLogFiles(logPath);
    bool anyRead = false;
    uint64_t lastSize = 0;
    for (const std::string& file : files) {
        if (access(file.c_str(), R_OK) != 0) {
            if (ownFiles)
                std::cerr << "kavrel-log: cannot read " << file << ": " << std::strerror(errno)
                          << "\n";
            continue;
        }
        const std::string text = ReadAll(file);
        lastSize = text.size();
        anyRead = true;
        Show(ParseLogText(text), options.filter);
    }
    if (options.follow)
        Follow(files.back(), anyRead ? lastSize : 0, options.filter);
    if (!anyRead) {
        std::cerr << "kavrel-log: no log file found" << (ownFiles ? "" : " at " + logPath) << "\n";
        return 1;
    }
    return 0;
}
