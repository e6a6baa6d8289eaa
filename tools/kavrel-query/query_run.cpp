// kavrel-query's work.
#include "query_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string_view>

#include "errors/error_description.h"
#include "files/temp_folder.h"
#include "kavrel/kavrel.h"
#include "kvwin/environment_lock.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "launcher/launcher_files.h"
#include "log/event_log.h"
#include "win/comdef.h"
#include "win/oleauto.h"
#include "wql_tool.h"

namespace {

std::string Native(const std::u16string& path) {
    std::string native;
    return kvwin::ToNativePath(path, native) ? native : kvwin::ToUtf8(path);
}

bool DecodeDocument(const std::string& bytes, std::u16string& document) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        document.clear();
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            document.push_back(
                static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return true;
    }
    const bool marked = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
    document = kvwin::FromUtf8(std::string_view(bytes).substr(marked ? 3 : 0));
    return true;
}

}  // namespace

const char* QueryToolUsage() {
    return "usage: kavrel-query                     (on a terminal: an interactive WQL prompt)\n"
           "       kavrel-query [options] [FILE...]\n"
           "       kavrel-query --wql STATEMENT [--namespace NS] [--format FORMAT]\n"
           "       kavrel-query --classes [NS] [--format FORMAT]\n"
           "       kavrel-query --describe CLASS [--namespace NS] [--format FORMAT]\n"
           "\n"
           "Query documents:\n"
           "  FILE              a query document (UTF-8, or UTF-16 with its mark); '-' or\n"
           "                    none: standard input\n"
           "  -i, --in-process  run through GetInventoryInformationInternal in this process\n"
           "                    (default: through the launcher Lumbrik.exe beside the tool)\n"
           "  -l, --log         after each document, show the agent log records it wrote\n"
           "  --where           show the locations in use (state root, registry, log, temp,\n"
           "                    launcher)\n"
           "\n"
           "The WMI service:\n"
           "  --wql STATEMENT   run a WQL statement and print its rows\n"
           "  --classes [NS]    list the classes of a namespace (default root\\cimv2)\n"
           "  --describe CLASS  print each property's CIM type, key flag and Linux source\n"
           "  --namespace NS    the namespace of --wql and --describe (default root\\cimv2)\n"
           "  --format FORMAT   table, csv, json or xml (default: table on a terminal,\n"
           "                    csv otherwise)\n"
           "\n"
           "  -h, --help        this text\n"
           "  --version         the version and the build\n"
           "\n"
           "A failed query prints '<file>: the query failed: <code> <name> (<text>)' and, on\n"
           "the lines below it, the reasons the library and the WMI service gave (class or\n"
           "property at fault and its offset, the script error with its line and column, the\n"
           "time limit that stopped a script). Status: 0 success, 1 a query failed, 2 bad\n"
           "usage or an unreadable document.\n"
           "\n"
           "Environment:\n"
           "  KAVREL_ROOT       the state root (default /var/lib/kavrel for root, else\n"
           "                    $XDG_DATA_HOME/kavrel or ~/.local/share/kavrel)\n"
           "  KAVREL_DRIVE_<L>  the folder that stands for drive <L>: (C: is the state root)\n"
           "  Zor_{32865580-A882-48ef-9C9E-81CFA48FB3C1}\n"
           "                    the agent log's severity override for this process and its\n"
           "                    children (00000008: trace records too)\n"
           "  Zor_{5F596BB2-D8F6-4549-B5A3-3C07AE7B2AD2}\n"
           "                    1: the log records are also written to standard output\n"
           "  Zor_{407B8F95-9674-45e8-B441-969669DBEB56}\n"
           "                    OK or Silent: install mode (the agent's message table is\n"
           "                    taken from beside the executable)\n"
           "  KAVREL_DEBUG_OUTPUT\n"
           "                    1: the library's debug output on standard error;\n"
           "                    file:/path: appended to that file (the tool sets it itself\n"
           "                    to collect the reasons of a failure)\n"
           "  KAVREL_WMI_FIXTURES\n"
           "                    a folder of fixture namespaces (the WMI module's test build)\n"
           "  KAVREL_REGISTRY_BUSY_TIMEOUT_MS\n"
           "                    how long a registry write waits for a locked store\n"
           "  KAVREL_INTEGRITY  low, medium or system: the integrity level the process reports\n"
           "  KAVREL_WINDOWS_VERSION, KAVREL_WINDOWS_PRODUCT_TYPE, KAVREL_WINDOWS_SERVICE_PACK\n"
           "                    another Windows release to report (e.g. 6.1.7601)\n"
           "  KAVREL_DPKG_ADMIN_DIR, KAVREL_RPM_DATABASE\n"
           "                    the package databases behind the Uninstall key (default\n"
           "                    /var/lib/dpkg, /var/lib/rpm/rpmdb.sqlite)\n"
           "  TZ, TZDIR         the local time zone and its database\n"
           "  LC_ALL, LC_MESSAGES, LANG\n"
           "                    the language of system message texts\n"
           "  TMPDIR            where the tool keeps its diagnostics file while it runs\n";
}

std::string QueryToolVersion() {
    std::string text = std::string("kavrel-query ") + KAVREL_VERSION;
    if (std::string_view(KAVREL_BUILD).size() > 0)
        text += std::string(" (") + KAVREL_BUILD + ")";
    return text;
}

bool ParseQueryToolOptions(const std::vector<std::string>& arguments, QueryToolOptions& options,
                           std::string& problem) {
    options = QueryToolOptions{};
    bool endOfOptions = false;
    bool namespaceGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!endOfOptions && argument.size() > 1 && argument[0] == '-') {
            const auto value = [&](std::string& out) {
                if (i + 1 >= arguments.size()) {
                    problem = "option '" + argument + "' needs a value";
                    return false;
                }
                out = arguments[++i];
                return true;
            };
            std::string text;
            if (argument == "--in-process" || argument == "-i") {
                options.inProcess = true;
            } else if (argument == "--log" || argument == "-l") {
                options.showLog = true;
            } else if (argument == "--where") {
                options.where = true;
            } else if (argument == "--help" || argument == "-h") {
                options.help = true;
            } else if (argument == "--version") {
                options.version = true;
            } else if (argument == "--wql") {
                if (!value(text))
                    return false;
                options.wql = text;
            } else if (argument == "--describe") {
                if (!value(text))
                    return false;
                options.describe = text;
            } else if (argument == "--namespace") {
                if (!value(options.ns))
                    return false;
                namespaceGiven = true;
            } else if (argument == "--format") {
                if (!value(text))
                    return false;
                OutputFormat format;
                if (!ParseOutputFormat(text, format)) {
                    problem = "unknown format '" + text + "' (table, csv, json or xml)";
                    return false;
                }
                options.format = text;
            } else if (argument == "--classes") {
                options.classes = true;
                if (i + 1 < arguments.size() && !arguments[i + 1].empty() &&
                    arguments[i + 1][0] != '-') {
                    options.ns = arguments[++i];
                    namespaceGiven = true;
                }
            } else if (argument == "--") {
                endOfOptions = true;
            } else {
                problem = "unknown option '" + argument + "'";
                return false;
            }
            continue;
        }
        options.documents.push_back(argument);
    }
    const int faces =
        (options.wql ? 1 : 0) + (options.classes ? 1 : 0) + (options.describe ? 1 : 0);
    if (faces > 1) {
        problem = "--wql, --classes and --describe exclude each other";
        return false;
    }
    if (faces == 1 && (!options.documents.empty() || options.inProcess || options.showLog)) {
        problem = "--wql, --classes and --describe take no query documents";
        return false;
    }
    if (faces == 0 && (namespaceGiven || options.format)) {
        problem = "--namespace and --format go with --wql, --classes or --describe";
        return false;
    }
    size_t fromInput = 0;
    for (const std::string& document : options.documents)
        fromInput += document == "-";
    if (fromInput > 1) {
        problem = "standard input can be read only once";
        return false;
    }
    if (options.documents.empty() && !options.where && faces == 0)
        options.documents.push_back("-");
    return true;
}

bool ReadQueryDocument(const std::string& source, std::u16string& document, std::string& problem) {
    std::string bytes;
    if (source == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        errno = 0;
        std::ifstream in(source, std::ios::binary);
        if (!in) {
            problem = "cannot read " + source;
            if (errno)
                problem += std::string(": ") + std::strerror(errno);
            return false;
        }
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    DecodeDocument(bytes, document);
    if (document.find_first_not_of(u" \t\r\n") == std::u16string::npos) {
        problem = (source == "-" ? std::string("standard input") : source) + " is empty";
        return false;
    }
    return true;
}

QueryOutcome RunDocument(const std::u16string& document, bool inProcess) {
    QueryOutcome outcome;
    BSTR result = nullptr;
    outcome.hr = inProcess ? GetInventoryInformationInternal(document.c_str(), &result)
                           : GetInventoryInformation(document.c_str(), &result);
    if (SUCCEEDED(outcome.hr) && result)
        outcome.result.assign(result, SysStringLen(result));
    if (SUCCEEDED(outcome.hr))
        SysFreeString(result);
    return outcome;
}

std::string DescribeHResult(HRESULT hr) {
    return kvwin::ToUtf8(DescribeErrorCode(static_cast<uint32_t>(hr)));
}

namespace {
constexpr const char* kDebugOutputVariable = "KAVREL_DEBUG_OUTPUT";
}

DiagnosticsListener::DiagnosticsListener() {
    const std::optional<std::string> temp = kvwin::GetEnvUtf8("TMPDIR");
    std::string pattern =
        (temp && !temp->empty() && (*temp)[0] == '/' ? *temp : "/tmp") + "/kavrel-query-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return;  // the tool works on, only without reasons
    ::close(fd);
    previous_ = kvwin::GetEnvUtf8(kDebugOutputVariable);
    if (!kvwin::SetEnvUtf8(kDebugOutputVariable, "file:" + pattern)) {
        ::unlink(pattern.c_str());
        return;
    }
    path_ = pattern;
}

DiagnosticsListener::~DiagnosticsListener() {
    if (path_.empty())
        return;
    kvwin::SetEnvUtf8(kDebugOutputVariable, previous_);
    ::unlink(path_.c_str());
}

std::vector<std::string> DiagnosticsListener::TakeLines() {
    std::vector<std::string> lines;
    if (path_.empty())
        return lines;
    const std::string text = TextAppendedSince(path_, offset_);
    offset_ += text.size();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string AgentLogPath() {
    return Native(GetEventLog().LogPath());
}

uint64_t FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

std::string TextAppendedSince(const std::string& path, uint64_t offset) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string();
    if (FileSize(path) >= offset)
        in.seekg(static_cast<std::streamoff>(offset));
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::pair<std::string, std::string>> LocationsInUse() {
    std::vector<std::pair<std::string, std::string>> locations;
    locations.emplace_back("state root", kvwin::StateRoot());
    locations.emplace_back("registry", kvwin::RegistryDirectory());
    locations.emplace_back("agent log", AgentLogPath());
    std::string temp;
    try {
        temp = Native(GetWorkingTempPath());
    } catch (const _com_error&) {
        temp = "(none: the temp path is too long)";
    }
    locations.emplace_back("temp folder", temp);
    locations.emplace_back("launcher", Native(LauncherPath()));
    return locations;
}
