// The "winmgmts:" display name:
//
//   winmgmts:[{security settings}][!][\\server\]namespace[:class or instance path]
//
// with `/` accepted for `\` before the object path. The security settings are checked for
// form (impersonationLevel=, authenticationLevel=, authority=, (privileges)) and otherwise
// ignored: every connection is local and made with the caller's own rights.
#include "kvwin/ascii_case.h"
#include "kvwin/ascii_space.h"
#include "kvwin/com_object.h"
#include "kvwin/moniker_names.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

constexpr std::u16string_view kPrefix = u"winmgmts:";

bool OneOf(std::u16string_view value, std::initializer_list<std::u16string_view> allowed) {
    for (auto a : allowed) {
        if (kvwin::EqualsAsciiNoCase(value, a))
            return true;
    }
    return false;
}

// One setting between the braces.
bool ValidSetting(std::u16string_view item) {
    item = kvwin::TrimAsciiSpace(item);
    if (item.empty())
        return false;
    if (item.front() == u'(')
        return item.back() == u')';
    size_t eq = item.find(u'=');
    if (eq == std::u16string_view::npos)
        return false;
    std::u16string_view key = kvwin::TrimAsciiSpace(item.substr(0, eq));
    std::u16string_view value = kvwin::TrimAsciiSpace(item.substr(eq + 1));
    if (kvwin::EqualsAsciiNoCase(key, u"impersonationLevel"))
        return OneOf(value, {u"anonymous", u"identify", u"impersonate", u"delegate"});
    if (kvwin::EqualsAsciiNoCase(key, u"authenticationLevel"))
        return OneOf(value, {u"default", u"none", u"connect", u"call", u"pkt", u"pktIntegrity",
                             u"pktPrivacy"});
    return kvwin::EqualsAsciiNoCase(key, u"authority");
}

bool ValidSettings(std::u16string_view settings) {
    // Commas inside a privilege list "(...)" do not separate settings.
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i <= settings.size(); ++i) {
        char16_t c = i < settings.size() ? settings[i] : u',';
        if (c == u'(')
            ++depth;
        else if (c == u')')
            --depth;
        else if (c == u',' && depth == 0) {
            if (!ValidSetting(settings.substr(start, i - start)))
                return false;
            start = i + 1;
        }
    }
    return depth == 0;
}

}  // namespace

HRESULT ConnectNamespace(const std::u16string& resource, IWbemServices** services) {
    *services = nullptr;
    IWbemLocator* locator = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(&locator));
    if (FAILED(hr))
        return hr;
    hr = locator->ConnectServer(_bstr_t(resource.c_str()), nullptr, nullptr, nullptr, 0, nullptr,
                                nullptr, services);
    locator->Release();
    return hr;
}

HRESULT BindWinmgmtsName(std::u16string_view name, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (name.size() < kPrefix.size() ||
        !kvwin::EqualsAsciiNoCase(name.substr(0, kPrefix.size()), kPrefix))
        return MK_E_SYNTAX;
    std::u16string_view rest = name.substr(kPrefix.size());
    if (!rest.empty() && rest.front() == u'{') {
        size_t close = rest.find(u'}');
        if (close == std::u16string_view::npos || !ValidSettings(rest.substr(1, close - 1)))
            return WBEM_E_INVALID_SYNTAX;
        rest.remove_prefix(close + 1);
    }
    if (!rest.empty() && rest.front() == u'[') {  // [locale=...]
        size_t close = rest.find(u']');
        if (close == std::u16string_view::npos)
            return WBEM_E_INVALID_SYNTAX;
        rest.remove_prefix(close + 1);
    }
    if (!rest.empty() && rest.front() == u'!')
        rest.remove_prefix(1);
    else if (!rest.empty() && name.size() > kPrefix.size() && name[kPrefix.size()] == u'{')
        return WBEM_E_INVALID_SYNTAX;  // settings must be followed by '!' or nothing

    // The namespace part ends at the first colon; what follows is the object path.
    size_t colon = rest.find(u':');
    std::u16string where(rest.substr(0, colon));
    std::u16string object_path = colon == std::u16string_view::npos
                                     ? std::u16string()
                                     : std::u16string(rest.substr(colon + 1));
    for (auto& c : where) {
        if (c == u'/')
            c = u'\\';
    }
    std::u16string server;
    std::u16string name_space = where;
    if (where.rfind(u"\\\\", 0) == 0) {
        size_t slash = where.find(u'\\', 2);
        server = where.substr(0, slash);
        name_space = slash == std::u16string::npos ? std::u16string() : where.substr(slash + 1);
    }
    if (name_space.empty())
        name_space = u"root\\cimv2";
    const std::u16string resource = server.empty() ? name_space : server + u"\\" + name_space;

    IWbemServicesPtr services;
    HRESULT hr = ConnectNamespace(resource, &services);
    if (FAILED(hr))
        return hr;
    IDispatch* object = nullptr;
    if (object_path.empty()) {
        object = NewServices(services, name_space);
    } else {
        std::shared_ptr<ObjectData> data;
        hr = GetObjectData(services, name_space, object_path, data);
        if (SUCCEEDED(hr))
            object = NewWbemObject(std::move(data));
    }
    if (FAILED(hr))
        return hr;
    hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

namespace {

// The class "winmgmts": what CoGetObject creates for the prefix "winmgmts:".
class MonikerBinder final : public kvwin::ComObject<IDisplayNameBinder> {
  public:
    STDMETHODIMP BindDisplayName(LPCOLESTR display_name, REFIID riid, void** ppv) override {
        if (!display_name || !ppv)
            return E_POINTER;
        try {
            return BindWinmgmtsName(display_name, riid, ppv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

  private:
    ~MonikerBinder() override = default;
    ModuleRef module_ref_;
};

}  // namespace

HRESULT CreateMonikerBinder(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* binder = new MonikerBinder();
    HRESULT hr = binder->QueryInterface(riid, ppv);
    binder->Release();
    return hr;
}

}  // namespace kvwmiscript
