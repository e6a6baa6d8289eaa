#include "linux/shares.h"

#include <algorithm>
#include <cctype>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

// "Read Only" -> "readonly": Samba ignores case and blanks in parameter names.
std::string ParameterKey(std::string_view text) {
    std::string key;
    for (char c : text) {
        if (c != ' ' && c != '\t')
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

bool IsYes(std::string_view value) {
    std::string v = ParameterKey(value);
    return v == "yes" || v == "true" || v == "1";
}

bool IsNo(std::string_view value) {
    std::string v = ParameterKey(value);
    return v == "no" || v == "false" || v == "0";
}

}  // namespace

std::vector<SharedResource> ParseSambaShares(std::string_view content) {
    std::vector<SharedResource> shares;
    bool in_share = false, available = true;
    auto finish = [&] {
        if (in_share && !available)
            shares.pop_back();
    };
    for (std::string_view line : SplitLines(content)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            finish();
            const size_t end = line.find(']');
            const std::string name(Trim(
                line.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1)));
            in_share = !name.empty() && ParameterKey(name) != "global";
            available = true;
            if (in_share) {
                SharedResource share;
                share.name = name;
                share.printer = ParameterKey(name) == "printers";
                shares.push_back(std::move(share));
            }
            continue;
        }
        const size_t equals = line.find('=');
        if (!in_share || equals == std::string_view::npos)
            continue;
        const std::string key = ParameterKey(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        SharedResource& share = shares.back();
        if (key == "path" || key == "directory")
            share.path = std::string(value);
        else if (key == "comment")
            share.comment = std::string(value);
        else if (key == "printable" || key == "printok")
            share.printer = IsYes(value);
        else if (key == "available")
            available = !IsNo(value);
    }
    finish();
    return shares;
}

std::vector<SharedResource> ParseNfsExports(std::string_view content) {
    std::vector<SharedResource> exports;
    std::string joined;
    for (std::string_view line : SplitLines(content)) {
        if (!line.empty() && line.back() == '\\') {
            joined += line.substr(0, line.size() - 1);
            joined += ' ';
            continue;
        }
        joined += line;
        std::string_view entry = Trim(joined);
        if (!entry.empty() && entry[0] != '#') {
            SharedResource share;
            share.nfs = true;
            size_t end;
            if (entry[0] == '"') {
                end = entry.find('"', 1);
                share.path = std::string(entry.substr(
                    1, end == std::string_view::npos ? std::string_view::npos : end - 1));
                end = end == std::string_view::npos ? entry.size() : end + 1;
            } else {
                end = std::min(entry.find_first_of(" \t"), entry.size());
                share.path = std::string(entry.substr(0, end));
            }
            share.name = share.path;
            share.clients = std::string(Trim(entry.substr(end)));
            if (!share.path.empty())
                exports.push_back(std::move(share));
        }
        joined.clear();
    }
    return exports;
}

std::vector<SharedResource> ReadShares(const std::string& root) {
    std::vector<SharedResource> shares;
    if (auto text = ReadFileText(UnderRoot(root, "/etc/samba/smb.conf")))
        shares = ParseSambaShares(*text);
    std::vector<std::string> files{"/etc/exports"};
    for (const std::string& name : ListFolder(UnderRoot(root, "/etc/exports.d"))) {
        if (EndsWith(name, ".exports"))
            files.push_back("/etc/exports.d/" + name);
    }
    for (const std::string& file : files) {
        if (auto text = ReadFileText(UnderRoot(root, file))) {
            auto exports = ParseNfsExports(*text);
            shares.insert(shares.end(), exports.begin(), exports.end());
        }
    }
    return shares;
}

}  // namespace kvlinux
