// WScript.Network: the names of this computer and of the user the process runs as.
//
// ComputerName is the computer's NetBIOS-style name (GetComputerNameW), UserName the
// account name (GetUserNameW), and UserDomain the domain of that account. Accounts here
// are local accounts, and Windows reports the computer name as the domain of a local
// account, so UserDomain is the computer name unless USERDOMAIN says otherwise (the
// variable Windows sets for the same purpose).
#include <string>

#include "kvwin/dispatch_object.h"
#include "scripting.h"
#include "win/environment.h"
#include "win/sysinfo.h"

namespace kvscripting {
namespace {

std::u16string ComputerName() {
    WCHAR buffer[256];
    DWORD size = 256;
    return GetComputerNameW(buffer, &size) ? std::u16string(buffer, size) : std::u16string();
}

std::u16string UserName() {
    WCHAR buffer[512];
    DWORD size = 512;
    return GetUserNameW(buffer, &size) ? std::u16string(buffer) : std::u16string();
}

std::u16string UserDomain() {
    WCHAR buffer[256];
    DWORD n = GetEnvironmentVariableW(u"USERDOMAIN", buffer, 256);
    if (n > 0 && n < 256)
        return std::u16string(buffer, n);
    return ComputerName();
}

class Network final : public kvwin::DispatchObject<Network, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<Network>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WScript.Network"; }

    template <std::u16string (*Read)()>
    static HRESULT Name(Network&, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), Read());
    }

  private:
    ~Network() override = default;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Network> kMembers[] = {
    {u"UserDomain", 0x60020000, DISPATCH_PROPERTYGET, 0, 0, &Network::Name<UserDomain>},
    {u"UserName", 0x60020001, DISPATCH_PROPERTYGET, 0, 0, &Network::Name<UserName>},
    {u"ComputerName", 0x60020003, DISPATCH_PROPERTYGET, 0, 0, &Network::Name<ComputerName>},
};

std::span<const kvwin::DispatchMember<Network>> Network::DispatchMembers() {
    return kMembers;
}

}  // namespace

HRESULT CreateNetwork(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Network>(outer, riid, ppv);
}

}  // namespace kvscripting
