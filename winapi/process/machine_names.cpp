// Computer and user names from uname and the password database.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "../security/accounts.h"
#include "kvwin/last_error.h"
#include "kvwin/security_token.h"
#include "kvwin/utf.h"
#include "win/sysinfo.h"

namespace {

std::string NodeName() {
    struct utsname names {};
    if (::uname(&names) != 0)
        return "localhost";
    return names.nodename;
}

std::string HostLabel(const std::string& node) {
    return node.substr(0, node.find('.'));
}

std::string DomainPart(const std::string& node) {
    const size_t dot = node.find('.');
    return dot == std::string::npos ? std::string() : node.substr(dot + 1);
}

std::string NetBiosName(const std::string& node) {
    std::string name = HostLabel(node);
    for (char& c : name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (name.size() > MAX_COMPUTERNAME_LENGTH)
        name.resize(MAX_COMPUTERNAME_LENGTH);
    return name;
}

// Stores text when it fits (size counts the NUL); otherwise fails with `too_small` and the
// size needed. On success *size is the length without the NUL.
BOOL StoreName(const std::string& text, LPWSTR buffer, LPDWORD size, DWORD too_small) {
    const std::u16string wide = kvwin::FromUtf8(text);
    if (!buffer || *size < wide.size() + 1) {
        *size = static_cast<DWORD>(wide.size() + 1);
        return kvwin::FailWith(too_small);
    }
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
    buffer[wide.size()] = u'\0';
    *size = static_cast<DWORD>(wide.size());
    return TRUE;
}

// The user the calling thread acts as: the impersonated one while it impersonates.
std::string EffectiveUserName() {
    const uid_t uid = kvwin::ThreadFileSystemUid();
    if (auto account = kvwin::FindUser(uid); account && !account->name.empty())
        return account->name;
    return std::to_string(uid);  // an account without an entry is known by its number
}

}  // namespace

extern "C" {

BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
    if (!nSize)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        return StoreName(NetBiosName(NodeName()), lpBuffer, nSize, ERROR_BUFFER_OVERFLOW);
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize) {
    if (!nSize)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        const std::string node = NodeName();
        std::string text;
        switch (NameType) {
            case ComputerNameNetBIOS:
            case ComputerNamePhysicalNetBIOS:
                text = NetBiosName(node);
                break;
            case ComputerNameDnsHostname:
            case ComputerNamePhysicalDnsHostname:
                text = HostLabel(node);
                break;
            case ComputerNameDnsDomain:
            case ComputerNamePhysicalDnsDomain:
                text = DomainPart(node);
                break;
            case ComputerNameDnsFullyQualified:
            case ComputerNamePhysicalDnsFullyQualified:
                text = node;
                break;
            default:
                return kvwin::FailWith(ERROR_INVALID_PARAMETER);
        }
        return StoreName(text, lpBuffer, nSize, ERROR_MORE_DATA);
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
    if (!pcbBuffer)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        if (!StoreName(EffectiveUserName(), lpBuffer, pcbBuffer, ERROR_INSUFFICIENT_BUFFER)) {
            return FALSE;
        }
        *pcbBuffer += 1;  // this one counts the NUL on success too
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
