#include "linux/accounts.h"

#include <grp.h>
#include <pwd.h>

#include <mutex>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::vector<std::string_view> SplitColons(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        size_t colon = line.find(':', start);
        if (colon == std::string_view::npos) {
            parts.push_back(line.substr(start));
            return parts;
        }
        parts.push_back(line.substr(start, colon - start));
        start = colon + 1;
    }
}

bool IsNisLine(std::string_view line) {
    return !line.empty() && (line.front() == '+' || line.front() == '-');
}

std::mutex& NameServiceLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

std::string UserEntry::FullName() const {
    return gecos.substr(0, gecos.find(','));
}

std::vector<UserEntry> ParsePasswd(std::string_view content) {
    std::vector<UserEntry> users;
    for (std::string_view line : SplitLines(content)) {
        if (line.empty() || line.front() == '#' || IsNisLine(line))
            continue;
        auto f = SplitColons(line);
        if (f.size() != 7 || f[0].empty())
            continue;
        auto uid = ParseUnsigned(f[2]);
        auto gid = ParseUnsigned(f[3]);
        if (!uid || !gid || *uid > UINT32_MAX || *gid > UINT32_MAX)
            continue;
        users.push_back({std::string(f[0]), static_cast<std::uint32_t>(*uid),
                         static_cast<std::uint32_t>(*gid), std::string(f[4]), std::string(f[5]),
                         std::string(f[6])});
    }
    return users;
}

std::vector<GroupEntry> ParseGroup(std::string_view content) {
    std::vector<GroupEntry> groups;
    for (std::string_view line : SplitLines(content)) {
        if (line.empty() || line.front() == '#' || IsNisLine(line))
            continue;
        auto f = SplitColons(line);
        if (f.size() != 4 || f[0].empty())
            continue;
        auto gid = ParseUnsigned(f[2]);
        if (!gid || *gid > UINT32_MAX)
            continue;
        GroupEntry group{std::string(f[0]), static_cast<std::uint32_t>(*gid), {}};
        size_t start = 0;
        while (start < f[3].size()) {
            size_t comma = f[3].find(',', start);
            if (comma == std::string_view::npos)
                comma = f[3].size();
            if (comma > start)
                group.members.emplace_back(f[3].substr(start, comma - start));
            start = comma + 1;
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

std::vector<UserEntry> ReadUsers() {
    std::lock_guard guard(NameServiceLock());
    std::vector<UserEntry> users;
    ::setpwent();
    while (passwd* pw = ::getpwent()) {
        users.push_back({pw->pw_name, pw->pw_uid, pw->pw_gid, pw->pw_gecos ? pw->pw_gecos : "",
                         pw->pw_dir ? pw->pw_dir : "", pw->pw_shell ? pw->pw_shell : ""});
    }
    ::endpwent();
    return users;
}

std::vector<GroupEntry> ReadGroups() {
    std::lock_guard guard(NameServiceLock());
    std::vector<GroupEntry> groups;
    ::setgrent();
    while (group* gr = ::getgrent()) {
        GroupEntry entry{gr->gr_name, gr->gr_gid, {}};
        for (char** m = gr->gr_mem; m && *m; ++m)
            entry.members.emplace_back(*m);
        groups.push_back(std::move(entry));
    }
    ::endgrent();
    return groups;
}

std::vector<std::string> LocalUserNames(const std::string& root) {
    std::vector<std::string> names;
    for (const UserEntry& u :
         ParsePasswd(ReadFileText(UnderRoot(root, "/etc/passwd")).value_or("")))
        names.push_back(u.name);
    return names;
}

std::vector<std::string> LocalGroupNames(const std::string& root) {
    std::vector<std::string> names;
    for (const GroupEntry& g : ParseGroup(ReadFileText(UnderRoot(root, "/etc/group")).value_or("")))
        names.push_back(g.name);
    return names;
}

std::optional<bool> ParseShadowDisabled(std::string_view shadow_content, std::string_view user,
                                        std::int64_t today_days) {
    for (std::string_view line : SplitLines(shadow_content)) {
        auto f = SplitColons(line);
        if (f.size() < 8 || f[0] != user)
            continue;
        // "!" is a locked password (passwd -l, usermod -L). A bare "*" only means that no
        // password can match; such an account may still log on by other means.
        if (!f[1].empty() && f[1].front() == '!')
            return true;
        if (auto expire = ParseSigned(f[7]); expire && *expire >= 0 && *expire <= today_days)
            return true;
        return false;
    }
    return std::nullopt;
}

std::optional<ShadowAging> ParseShadowAging(std::string_view shadow_content,
                                            std::string_view user) {
    for (std::string_view line : SplitLines(shadow_content)) {
        auto f = SplitColons(line);
        if (f.size() < 8 || f[0] != user)
            continue;
        ShadowAging aging;
        aging.password_required = !f[1].empty();
        aging.locked = !f[1].empty() && f[1].front() == '!';
        const auto min_days = ParseSigned(f[3]);
        const auto max_days = ParseSigned(f[4]);
        aging.password_expires = max_days && *max_days >= 0 && *max_days < 99999;
        aging.password_changeable =
            !(min_days && max_days && *max_days >= 0 && *min_days > *max_days);
        return aging;
    }
    return std::nullopt;
}

std::string UserSidText(std::uint32_t uid) {
    return uid == 0 ? "S-1-5-18" : "S-1-22-1-" + std::to_string(uid);
}

std::string GroupSidText(std::uint32_t gid) {
    return "S-1-22-2-" + std::to_string(gid);
}

}  // namespace kvlinux
