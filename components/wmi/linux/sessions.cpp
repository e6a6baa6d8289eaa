#include "linux/sessions.h"

#include <utmp.h>

#include <cstring>
#include <fstream>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

// A fixed-size field that is NUL-terminated unless full.
std::string Field(const char* data, size_t size) {
    return std::string(data, ::strnlen(data, size));
}

}  // namespace

std::vector<LoginSession> ParseUtmp(std::string_view content) {
    std::vector<LoginSession> sessions;
    for (size_t at = 0; at + sizeof(struct utmp) <= content.size(); at += sizeof(struct utmp)) {
        struct utmp record;
        std::memcpy(&record, content.data() + at, sizeof record);
        if (record.ut_type != USER_PROCESS)
            continue;
        LoginSession s;
        s.user = Field(record.ut_user, sizeof record.ut_user);
        if (s.user.empty())
            continue;
        s.line = Field(record.ut_line, sizeof record.ut_line);
        s.host = Field(record.ut_host, sizeof record.ut_host);
        s.pid = record.ut_pid;
        s.login_time = record.ut_tv.tv_sec;
        sessions.push_back(std::move(s));
    }
    return sessions;
}

std::vector<LoginSession> ReadLoginSessions(const std::string& root) {
    for (const char* path : {"/run/utmp", "/var/run/utmp"}) {
        if (auto text = ReadFileText(UnderRoot(root, path)))
            return ParseUtmp(*text);
    }
    return {};
}

std::optional<std::int64_t> ReadLastLogin(std::uint32_t uid, const std::string& lastlog) {
    std::ifstream in(lastlog, std::ios::binary);
    if (!in)
        return std::nullopt;
    struct lastlog record;
    in.seekg(static_cast<std::streamoff>(uid) * static_cast<std::streamoff>(sizeof record));
    if (!in.read(reinterpret_cast<char*>(&record), sizeof record))
        return std::nullopt;  // past the end: never logged on
    if (record.ll_time == 0)
        return std::nullopt;
    return static_cast<std::int64_t>(record.ll_time);
}

}  // namespace kvlinux
