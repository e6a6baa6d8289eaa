// CreateEnvironmentBlock and DestroyEnvironmentBlock: a user's environment for a new process.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../security/accounts.h"
#include "kvwin/environment_block.h"
#include "kvwin/last_error.h"
#include "kvwin/security_token.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/environment.h"

namespace {

constexpr const char* kRootPath = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
constexpr const char* kUserPath = "/usr/local/bin:/usr/bin:/bin";

struct Account {
    std::string name, home, shell;
};

bool FindAccount(uid_t uid, Account& account) {
    auto found = kvwin::FindUser(uid);
    if (!found)
        return false;
    account.name = found->name;
    account.home = found->home.empty() ? "/" : found->home;
    account.shell = found->shell.empty() ? "/bin/sh" : found->shell;
    return true;
}

// Variables that belong to the user who runs this process, not to the child's user.
bool BelongsToThisUser(const std::string& name) {
    return name.rfind("XDG_", 0) == 0 || name == "MAIL";
}

using Entries = std::vector<std::pair<std::string, std::string>>;

void Assign(Entries& entries, const std::string& name, const std::string& value) {
    for (auto& entry : entries) {
        if (kvwin::SameVariableName(entry.first, name)) {
            entry.second = value;
            return;
        }
    }
    entries.emplace_back(name, value);
}

}  // namespace

extern "C" {

BOOL CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit) {
    if (!lpEnvironment)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        kvwin::TokenAccount token;
        Account account;
        if (hToken) {
            if (!kvwin::TokenAccountOf(hToken, token))
                return FALSE;
            if (!FindAccount(token.uid, account))
                return kvwin::FailWith(ERROR_NONE_MAPPED);
        }
        const bool other_user = hToken && token.uid != ::geteuid();
        Entries entries;
        if (bInherit) {
            for (auto& entry : kvwin::EnvironmentSnapshot()) {
                if (!(other_user && BelongsToThisUser(entry.first)))
                    entries.push_back(std::move(entry));
            }
        }
        bool has_path = false;
        for (const auto& entry : entries)
            has_path = has_path || kvwin::SameVariableName(entry.first, "PATH");
        const bool for_root = hToken ? token.uid == 0 : ::geteuid() == 0;
        if (!has_path)
            Assign(entries, "PATH", for_root ? kRootPath : kUserPath);
        if (hToken) {
            Assign(entries, "HOME", account.home);
            Assign(entries, "USER", account.name);
            Assign(entries, "LOGNAME", account.name);
            Assign(entries, "SHELL", account.shell);
        }
        if (other_user) {
            // Machine-wide state stays the machine's: another user would otherwise resolve
            // a state root of its own.
            Assign(entries, "KAVREL_ROOT", kvwin::StateRoot());
        }
        std::u16string block;
        for (const auto& [name, value] : entries) {
            block += kvwin::FromUtf8(name + "=" + value);
            block.push_back(u'\0');
        }
        block.push_back(u'\0');
        if (entries.empty())
            block.push_back(u'\0');  // an empty block is still two terminators
        auto* copy = static_cast<WCHAR*>(std::malloc(block.size() * sizeof(WCHAR)));
        if (!copy)
            return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
        std::memcpy(copy, block.data(), block.size() * sizeof(WCHAR));
        *lpEnvironment = copy;
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL DestroyEnvironmentBlock(LPVOID lpEnvironment) {
    std::free(lpEnvironment);
    return TRUE;
}

}  // extern "C"
