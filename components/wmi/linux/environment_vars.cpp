#include "linux/environment_vars.h"

#include <algorithm>
#include <cctype>

#include "linux/text_util.h"

extern char** environ;

namespace kvlinux {

namespace {

bool IsValidName(std::string_view name) {
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name.front())))
        return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    }
    return true;
}

}  // namespace

std::vector<EnvVar> ParseEtcEnvironment(std::string_view content) {
    std::vector<EnvVar> vars;
    for (std::string_view line : SplitLines(content)) {
        line = Trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (StartsWith(line, "export "))
            line = Trim(line.substr(7));
        size_t equals = line.find('=');
        if (equals == std::string_view::npos || !IsValidName(line.substr(0, equals)))
            continue;
        std::string_view value = line.substr(equals + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        vars.emplace_back(std::string(line.substr(0, equals)), std::string(value));
    }
    return vars;
}

std::vector<EnvVar> ReadEtcEnvironment(const std::string& root) {
    return ParseEtcEnvironment(ReadFileText(UnderRoot(root, "/etc/environment")).value_or(""));
}

std::vector<EnvVar> ReadEnvironmentDir(const std::string& dir) {
    std::vector<EnvVar> vars;
    for (const std::string& name : ListFolder(dir)) {
        if (!EndsWith(name, ".conf"))
            continue;
        for (EnvVar& var : ParseEtcEnvironment(ReadFileText(dir + "/" + name).value_or(""))) {
            auto same = std::find_if(vars.begin(), vars.end(),
                                     [&](const EnvVar& v) { return v.first == var.first; });
            if (same != vars.end())
                same->second = std::move(var.second);
            else
                vars.push_back(std::move(var));
        }
    }
    return vars;
}

std::vector<EnvVar> ParseEnvironBlock(std::string_view content) {
    std::vector<EnvVar> vars;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\0', start);
        if (end == std::string_view::npos)
            end = content.size();
        std::string_view entry = content.substr(start, end - start);
        size_t equals = entry.find('=');
        if (equals != std::string_view::npos && equals > 0)
            vars.emplace_back(std::string(entry.substr(0, equals)),
                              std::string(entry.substr(equals + 1)));
        start = end + 1;
    }
    return vars;
}

std::vector<EnvVar> CurrentEnvironment() {
    // /proc/self/environ holds the block the process started with; later setenv calls only
    // show in environ, which is what this process's children inherit.
    std::string block;
    for (char** e = environ; e && *e; ++e) {
        block += *e;
        block += '\0';
    }
    return ParseEnvironBlock(block);
}

}  // namespace kvlinux
