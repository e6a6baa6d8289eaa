// Log-on sessions from the utmp file (who is logged on, where from, since when), and the
// last log-on time of a user from lastlog.
//
// Pure parsing plus file reads; safe from any thread. The records are glibc's struct utmp
// and struct lastlog of this machine's ABI.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct LoginSession {
    std::string user;
    std::string line;  // "pts/0", "tty1", ":0"
    std::string host;  // the remote host, empty for a local log-on
    std::int64_t pid = 0;
    std::int64_t login_time = 0;  // seconds since 1970
};

// The user-process records of a utmp file's content; a trailing partial record is ignored.
std::vector<LoginSession> ParseUtmp(std::string_view content);
// The sessions of <root>/run/utmp (or /var/run/utmp).
std::vector<LoginSession> ReadLoginSessions(const std::string& root = "/");

// The last log-on of `uid` recorded in a lastlog file (a record per uid at uid × record
// size), or nullopt when none is recorded.
std::optional<std::int64_t> ReadLastLogin(std::uint32_t uid,
                                          const std::string& lastlog = "/var/log/lastlog");

}  // namespace kvlinux
