// WScript.Network: the names of this computer and of the user the process runs as.
//
// ComputerName is the computer's NetBIOS-style name (GetComputerNameW), UserName the
// account name (GetUserNameW), and UserDomain the domain of that account. Accounts here
// are local accounts, and Windows reports the computer name as the domain of a local
// account, so UserDomain is the computer name unless USERDOMAIN says otherwise (the
// variable Windows sets for the same purpose). EnumNetworkDrives and EnumPrinterConnections
// give collections of (local name, remote name) pairs.
#include <string>
#include <vector>

#include "kvwin/dispatch_object.h"
#include "kvwin/variant_enumerator.h"
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

// The collection EnumNetworkDrives and EnumPrinterConnections return: pairs of texts (local
// name, remote name), indexed from 0. This machine maps no network drives and the layer
// enumerates no printer connections, so both are empty collections.
class PairCollection final : public kvwin::DispatchObject<PairCollection, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"IWshCollection"; }
    static std::span<const kvwin::DispatchMember<PairCollection>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WshCollection"; }

    static HRESULT Item(PairCollection& self, kvwin::DispatchCall& call) {
        VARIANT index;
        VariantInit(&index);
        if (FAILED(VariantChangeType(&index, call.Arg(0), 0, VT_I4)) || index.lVal < 0 ||
            size_t(index.lVal) >= self.texts_.size())
            return call.Fail(kInvalidArgument, u"Invalid procedure call or argument");
        return kvwin::SetVariantText(call.Result(), self.texts_[size_t(index.lVal)]);
    }
    static HRESULT Count(PairCollection& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), LONG(self.texts_.size()));
    }
    static HRESULT NewEnum(PairCollection& self, kvwin::DispatchCall& call) {
        std::vector<_variant_t> items(self.texts_.size());
        for (size_t i = 0; i < items.size(); ++i)
            kvwin::SetVariantText(&items[i], self.texts_[i]);
        return kvwin::ReturnEnumerator(call.Result(), std::move(items));
    }

  private:
    ~PairCollection() override = default;
    std::vector<std::u16string> texts_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<PairCollection> kPairMembers[] = {
    {u"Item", 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, 1, 1, &PairCollection::Item},
    {u"Count", 1, DISPATCH_PROPERTYGET | DISPATCH_METHOD, 0, 0, &PairCollection::Count},
    {u"length", 2, DISPATCH_PROPERTYGET, 0, 0, &PairCollection::Count},
    {u"_NewEnum", DISPID_NEWENUM, DISPATCH_PROPERTYGET | DISPATCH_METHOD, 0, 0,
     &PairCollection::NewEnum},
};

std::span<const kvwin::DispatchMember<PairCollection>> PairCollection::DispatchMembers() {
    return kPairMembers;
}

class Network final : public kvwin::DispatchObject<Network, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"IWshNetwork2"; }
    static std::span<const kvwin::DispatchMember<Network>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WScript.Network"; }

    template <std::u16string (*Read)()>
    static HRESULT Name(Network&, kvwin::DispatchCall& call) {
        return kvwin::SetVariantText(call.Result(), Read());
    }

    static HRESULT Enumerate(Network&, kvwin::DispatchCall& call) {
        return kvwin::ReturnObject(call.Result(), new PairCollection());
    }

  private:
    ~Network() override = default;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Network> kMembers[] = {
    {u"UserDomain", 0x60020000, DISPATCH_PROPERTYGET, 0, 0, &Network::Name<UserDomain>},
    {u"UserName", 0x60020001, DISPATCH_PROPERTYGET, 0, 0, &Network::Name<UserName>},
    {u"ComputerName", 0x60020003, DISPATCH_PROPERTYGET, 0, 0, &Network::Name<ComputerName>},
    {u"EnumNetworkDrives", 0x6002000b, DISPATCH_METHOD, 0, 0, &Network::Enumerate},
    {u"EnumPrinterConnections", 0x6002000f, DISPATCH_METHOD, 0, 0, &Network::Enumerate},
};

std::span<const kvwin::DispatchMember<Network>> Network::DispatchMembers() {
    return kMembers;
}

}  // namespace

HRESULT CreateNetwork(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Network>(outer, riid, ppv);
}

}  // namespace kvscripting
