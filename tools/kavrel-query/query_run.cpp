// kavrel-query's work.
#include "query_run.h"

#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "errors/error_description.h"
#include "files/temp_folder.h"
#include "kavrel/kavrel.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "launcher/launcher_files.h"
#include "log/event_log.h"
#include "win/comdef.h"
#include "win/oleauto.h"

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

bool ParseQueryToolOptions(const std::vector<std::string>& arguments, QueryToolOptions& options,
                           std::string& problem) {
    options = QueryToolOptions{};
    bool endOfOptions = false;
    for (const std::string& argument : arguments) {
        if (!endOfOptions && argument.size() > 1 && argument[0] == '-') {
            if (argument == "--in-process" || argument == "-i")
                options.inProcess = true;
            else if (argument == "--log" || argument == "-l")
                options.showLog = true;
            else if (argument == "--where")
                options.where = true;
            else if (argument == "--help" || argument == "-h")
                options.help = true;
            else if (argument == "--")
                endOfOptions = true;
            else {
                problem = "unknown option '" + argument + "'";
                return false;
            }
            continue;
        }
        options.documents.push_back(argument);
    }
    size_t fromInput = 0;
    for (const std::string& document : options.documents)
        fromInput += document == "-";
    if (fromInput > 1) {
        problem = "standard input can be read only once";
        return false;
    }
    if (options.documents.empty() && !options.where)
        options.documents.push_back("-");
    return true;
}

bool ReadQueryDocument(const std::string& source, std::u16string& document, std::string& problem) {
    std::string bytes;
    if (source == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        std::ifstream in(source, std::ios::binary);
        if (!in) {
            problem = "cannot read " + source;
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
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(hr));
    std::u16string text = GetErrorText(static_cast<uint32_t>(hr));
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' '))
        text.pop_back();
    return text.empty() ? std::string(code) : std::string(code) + " (" + kvwin::ToUtf8(text) + ")";
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
