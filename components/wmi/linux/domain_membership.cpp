#include "linux/domain_membership.h"

#include <cctype>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The value of `key` in `section` of an INI-style file (both compared case-insensitively,
// '#' and ';' start comment lines), or nullopt.
std::optional<std::string> IniValue(std::string_view text, std::string_view section,
                                    std::string_view key) {
    std::string current;
    for (std::string_view raw : SplitLines(text)) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            current = Lower(Trim(
                line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || current != section)
            continue;
        if (Lower(Trim(line.substr(0, equals))) == key)
            return std::string(Trim(line.substr(equals + 1)));
    }
    return std::nullopt;
}

// The first name of a comma-separated list, or nullopt when the list is empty.
std::optional<std::string> FirstOfList(const std::optional<std::string>& list) {
    if (!list)
        return std::nullopt;
    const std::string_view first = Trim(std::string_view(*list).substr(0, list->find(',')));
    if (first.empty())
        return std::nullopt;
    return std::string(first);
}

}  // namespace

DomainMembership ParseDomainMembership(std::string_view sssd_conf, std::string_view smb_conf) {
    DomainMembership result;
    result.domain = FirstOfList(IniValue(sssd_conf, "sssd", "domains"));
    if (result.domain)
        return result;
    const std::string security = Lower(IniValue(smb_conf, "global", "security").value_or(""));
    auto workgroup = IniValue(smb_conf, "global", "workgroup");
    if (workgroup && workgroup->empty())
        workgroup.reset();
    if (security == "ads") {
        result.domain = IniValue(smb_conf, "global", "realm");
        if (result.domain && result.domain->empty())
            result.domain.reset();
        if (!result.domain)
            result.domain = workgroup;
    } else if (security == "domain") {
        result.domain = workgroup;
    }
    if (!result.domain)
        result.workgroup = workgroup;
    return result;
}

DomainMembership ReadDomainMembership(const std::string& root) {
    return ParseDomainMembership(ReadFileText(UnderRoot(root, "/etc/sssd/sssd.conf")).value_or(""),
                                 ReadFileText(UnderRoot(root, "/etc/samba/smb.conf")).value_or(""));
}

}  // namespace kvlinux
