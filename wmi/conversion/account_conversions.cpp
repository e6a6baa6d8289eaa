// GetDomainName: the domain an account name belongs to, as the account database sees it,
// with two fall-backs so the column is rarely empty.
#include <string>

#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/security.h"
#include "win/sysinfo.h"
#include "wmi/conversion/data_conversion.h"

namespace {

// Frees a LocalAlloc block when it goes out of scope.
class LocalBlock {
  public:
    LocalBlock(UINT flags, SIZE_T bytes) : block_(LocalAlloc(flags, bytes)) {}
    ~LocalBlock() {
        if (block_)
            LocalFree(block_);
    }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;
    HLOCAL get() const { return block_; }

  private:
    HLOCAL block_;
};

// The referenced domain of the account on this machine; empty when it cannot be resolved.
WString LookedUpDomain(const WCHAR* account) {
    DWORD sidBytes = 0;
    DWORD domainChars = 0;
    SID_NAME_USE use = SidTypeUnknown;
    if (LookupAccountNameW(nullptr, account, nullptr, &sidBytes, nullptr, &domainChars, &use) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    LocalBlock sid(LPTR, sidBytes);
    LocalBlock domain(LPTR, SIZE_T{domainChars} * sizeof(WCHAR));
    if (!sid.get() || !domain.get())
        return {};
    if (!LookupAccountNameW(nullptr, account, sid.get(), &sidBytes,
                            static_cast<LPWSTR>(domain.get()), &domainChars, &use)) {
        return {};
    }
    return static_cast<const WCHAR*>(domain.get());
}

}  // namespace

void CDataConversion::GetDomainName(const WCHAR* value, WString& result) {
    const WString account(value);
    WString domain = LookedUpDomain(account.c_str());
    // An account the database does not know may still name its domain: "DOMAIN\user".
    if (domain.empty()) {
        const size_t slash = account.find(TEXT('\\'));
        if (slash != WString::npos)
            domain = account.substr(0, slash);
    }
    // Otherwise it is taken to be a local account of this computer.
    if (domain.empty()) {
        WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        if (GetComputerNameW(computer, &size))
            domain = computer;
    }
    result = domain;
}
