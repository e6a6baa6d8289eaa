// Linux accounts as Windows identities: the password and group databases, and the mapping
// between uids, gids and SIDs.
//
//   root                S-1-5-18 (LocalSystem)
//   uid N               S-1-22-1-N
//   gid N               S-1-22-2-N
//   Administrators      root and the members (primary or listed) of sudo, wheel and adm
//   Users               every account
//
// The functions read the databases on every call (they may change while a process runs)
// and are safe from any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "sid_value.h"

namespace kvwin {

struct UserAccount {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string name;
    std::string home;   // empty when the entry has none
    std::string shell;  // empty when the entry has none
};

struct GroupAccount {
    gid_t gid = 0;
    std::string name;
    std::vector<std::string> members;
};

std::optional<UserAccount> FindUser(uid_t uid);
std::optional<UserAccount> FindUser(const std::string& name);
std::optional<GroupAccount> FindGroup(gid_t gid);
std::optional<GroupAccount> FindGroup(const std::string& name);

// The primary group and every group that lists the user, primary first.
std::vector<gid_t> GroupsOfUser(const UserAccount& user);

// The groups whose members count as Administrators, as far as they exist here.
std::vector<gid_t> AdministratorGroups();
bool IsAdministrator(uid_t uid);

// The uid a SID stands for as the owner of a file: S-1-5-18 and Administrators give root,
// S-1-22-1-N gives N. Other SIDs cannot own files.
std::optional<uid_t> OwnerUidOf(const SidValue& sid);
// The gid a SID stands for as the group of a file: S-1-22-2-N gives N, S-1-5-18 gives 0,
// Administrators the first administrators group (0 when there is none).
std::optional<gid_t> GroupGidOf(const SidValue& sid);

// This computer's NetBIOS name: the domain of uid and gid SIDs.
std::u16string ComputerDomain();

// Only this machine answers account and privilege lookups: true for a null or empty system
// name, or this computer's name with or without leading backslashes.
bool IsLocalSystemName(const char16_t* system_name);

}  // namespace kvwin
