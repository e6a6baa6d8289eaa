#include "accounts.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "kvwin/ascii_case.h"
#include "win/sysinfo.h"

namespace kvwin {

namespace {

const char* const kAdministratorGroupNames[] = {"sudo", "wheel", "adm"};

// Runs a *_r lookup with a scratch buffer that grows while the entry does not fit.
// `lookup(buffer, size)` returns the lookup's error number and copies out what it found.
template <class Lookup>
void WithScratch(Lookup lookup) {
    std::vector<char> scratch(4096);
    for (int attempt = 0; attempt < 10 && lookup(scratch.data(), scratch.size()) == ERANGE;
         ++attempt) {
        scratch.resize(scratch.size() * 2);
    }
}

std::optional<UserAccount> ToUser(bool found, const passwd& entry) {
    if (!found)
        return std::nullopt;
    return UserAccount{entry.pw_uid, entry.pw_gid, entry.pw_name ? entry.pw_name : "",
                       entry.pw_dir ? entry.pw_dir : "", entry.pw_shell ? entry.pw_shell : ""};
}

std::optional<GroupAccount> ToGroup(bool found, const group& entry) {
    if (!found)
        return std::nullopt;
    GroupAccount account{entry.gr_gid, entry.gr_name ? entry.gr_name : "", {}};
    for (char** member = entry.gr_mem; member && *member; ++member)
        account.members.emplace_back(*member);
    return account;
}

}  // namespace

std::optional<UserAccount> FindUser(uid_t uid) {
    std::optional<UserAccount> result;
    WithScratch([&](char* buffer, size_t size) {
        passwd entry{};
        passwd* found = nullptr;
        const int rc = ::getpwuid_r(uid, &entry, buffer, size, &found);
        result = ToUser(rc == 0 && found, entry);
        return rc;
    });
    return result;
}

std::optional<UserAccount> FindUser(const std::string& name) {
    std::optional<UserAccount> result;
    WithScratch([&](char* buffer, size_t size) {
        passwd entry{};
        passwd* found = nullptr;
        const int rc = ::getpwnam_r(name.c_str(), &entry, buffer, size, &found);
        result = ToUser(rc == 0 && found, entry);
        return rc;
    });
    return result;
}

std::optional<GroupAccount> FindGroup(gid_t gid) {
    std::optional<GroupAccount> result;
    WithScratch([&](char* buffer, size_t size) {
        group entry{};
        group* found = nullptr;
        const int rc = ::getgrgid_r(gid, &entry, buffer, size, &found);
        result = ToGroup(rc == 0 && found, entry);
        return rc;
    });
    return result;
}

std::optional<GroupAccount> FindGroup(const std::string& name) {
    std::optional<GroupAccount> result;
    WithScratch([&](char* buffer, size_t size) {
        group entry{};
        group* found = nullptr;
        const int rc = ::getgrnam_r(name.c_str(), &entry, buffer, size, &found);
        result = ToGroup(rc == 0 && found, entry);
        return rc;
    });
    return result;
}

std::vector<gid_t> GroupsOfUser(const UserAccount& user) {
    std::vector<gid_t> groups(64);
    for (int attempt = 0; attempt < 8; ++attempt) {
        int count = static_cast<int>(groups.size());
        if (::getgrouplist(user.name.c_str(), user.gid, groups.data(), &count) >= 0) {
            groups.resize(static_cast<size_t>(count));
            break;
        }
        groups.resize(static_cast<size_t>(count) > groups.size() ? static_cast<size_t>(count)
                                                                 : groups.size() * 2);
    }
    // The primary group first, once.
    groups.erase(std::remove(groups.begin(), groups.end(), user.gid), groups.end());
    groups.insert(groups.begin(), user.gid);
    return groups;
}

std::vector<gid_t> AdministratorGroups() {
    std::vector<gid_t> gids;
    for (const char* name : kAdministratorGroupNames) {
        if (auto group = FindGroup(std::string(name)))
            gids.push_back(group->gid);
    }
    return gids;
}

bool IsAdministrator(uid_t uid) {
    if (uid == 0)
        return true;
    const std::optional<UserAccount> user = FindUser(uid);
    if (!user)
        return false;
    for (const char* name : kAdministratorGroupNames) {
        const std::optional<GroupAccount> group = FindGroup(std::string(name));
        if (!group)
            continue;
        if (group->gid == user->gid || std::find(group->members.begin(), group->members.end(),
                                                 user->name) != group->members.end()) {
            return true;
        }
    }
    return false;
}

std::optional<uid_t> OwnerUidOf(const SidValue& sid) {
    if (sid == LocalSystemSid() || sid == AdministratorsSid())
        return 0;
    if (sid.Authority() == 22 && sid.subs.size() == 2 && sid.subs[0] == SECURITY_UNIX_USER_RID)
        return static_cast<uid_t>(sid.subs[1]);
    return std::nullopt;
}

std::optional<gid_t> GroupGidOf(const SidValue& sid) {
    if (sid == LocalSystemSid())
        return 0;
    if (sid == AdministratorsSid()) {
        const std::vector<gid_t> admins = AdministratorGroups();
        return admins.empty() ? 0 : admins.front();
    }
    if (sid.Authority() == 22 && sid.subs.size() == 2 && sid.subs[0] == SECURITY_UNIX_GROUP_RID)
        return static_cast<gid_t>(sid.subs[1]);
    return std::nullopt;
}

std::u16string ComputerDomain() {
    WCHAR name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size))
        return u"LOCALHOST";
    return std::u16string(name, size);
}

bool IsLocalSystemName(const char16_t* system_name) {
    if (!system_name || !*system_name)
        return true;
    std::u16string_view name(system_name);
    while (!name.empty() && name.front() == u'\\')
        name.remove_prefix(1);
    return EqualsAsciiNoCase(name, ComputerDomain());
}

}  // namespace kvwin
