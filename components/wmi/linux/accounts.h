// Users and groups: the password and group databases, both as file content (for tests and
// for telling local accounts apart) and through the name service (what getent shows, which
// includes directory users).
//
// Parsing is pure. ReadUsers/ReadGroups walk the name service under one process-wide lock,
// since getpwent and getgrent keep a single cursor per process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct UserEntry {
    std::string name;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::string gecos;  // "Full Name,Room,Work phone,Home phone,Other"
    std::string home;
    std::string shell;
    // The full name: the GECOS field up to its first comma.
    std::string FullName() const;
};

struct GroupEntry {
    std::string name;
    std::uint32_t gid = 0;
    std::vector<std::string> members;
};

// Parses /etc/passwd and /etc/group text; malformed lines and NIS "+"/"-" lines are skipped.
std::vector<UserEntry> ParsePasswd(std::string_view content);
std::vector<GroupEntry> ParseGroup(std::string_view content);

// Everyone the name service knows, in its order.
std::vector<UserEntry> ReadUsers();
std::vector<GroupEntry> ReadGroups();

// The names defined in <root>/etc/passwd and <root>/etc/group (the machine's local accounts).
std::vector<std::string> LocalUserNames(const std::string& root = "/");
std::vector<std::string> LocalGroupNames(const std::string& root = "/");

// Account state from /etc/shadow: true when the password is locked ("!" prefix) or the
// account has expired (`today_days` counts days since 1970). nullopt when the shadow file cannot be
// read (not root) or the user has no line in it.
std::optional<bool> ParseShadowDisabled(std::string_view shadow_content, std::string_view user,
                                        std::int64_t today_days);

// The password rules of an account from its /etc/shadow line, in Windows' terms.
struct ShadowAging {
    bool password_required = true;    // the password field is not empty
    bool password_changeable = true;  // not "minimum age above maximum age" (passwd's no-change)
    bool password_expires = false;    // a maximum age is set (below 99999 days)
    bool locked = false;              // the password is locked ("!" prefix)
};
// nullopt when the shadow file cannot be read or the user has no line in it.
std::optional<ShadowAging> ParseShadowAging(std::string_view shadow_content, std::string_view user);

// The SIDs the platform layer gives Linux identities: root is LocalSystem (S-1-5-18), any
// other user S-1-22-1-<uid>, a group S-1-22-2-<gid>.
std::string UserSidText(std::uint32_t uid);
std::string GroupSidText(std::uint32_t gid);

}  // namespace kvlinux
