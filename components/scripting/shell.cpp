// WScript.Shell: the registry by full value names, environment variables and their sets,
// the special folders, the current folder, and starting programs (Run, Exec).
//
// Registry names are "ROOT\key\...\value"; a name that ends with '\' stands for the key
// itself (its default value for RegRead and RegWrite, the key for RegDelete). Roots may be
// written in full or short (HKCU, HKLM, HKCR, HKU, HKCC). RegRead gives REG_SZ and
// REG_EXPAND_SZ as text (as stored), REG_DWORD as a number, REG_QWORD as a number (double),
// REG_BINARY as an array of bytes and REG_MULTI_SZ as an array of texts, both arrays
// VT_ARRAY|VT_VARIANT as scripts receive them. Failures are the Win32 error as an HRESULT
// with the text Windows gives.
//
// Environment("PROCESS") is this process's block; "SYSTEM", "USER" and "VOLATILE" are the
// registry keys Windows keeps them in (HKLM\SYSTEM\CurrentControlSet\Control\Session
// Manager\Environment, HKCU\Environment, HKCU\Volatile Environment).
#include <unistd.h>

#include <climits>
#include <vector>

#include "file_system.h"
#include "kvwin/registry_key.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "kvwin/variant_enumerator.h"
#include "shell.h"
#include "win/environment.h"
#include "win/registry.h"
#include "win/shell.h"

namespace kvscripting {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;
// Largest registry value RegRead takes.
constexpr DWORD kMaxValueBytes = 16u << 20;

using Key = kvwin::RegistryKey;

struct RegistryName {
    HKEY root = nullptr;
    std::u16string key;    // below the root
    std::u16string value;  // "" for the default value
    bool is_key = false;   // the name ended with '\'
};

bool ParseRegistryName(std::u16string_view name, RegistryName& out) {
    size_t slash = name.find(u'\\');
    std::u16string root(name.substr(0, slash));
    static const struct {
        const char16_t* name;
        const char16_t* abbreviation;
        HKEY key;
    } kRoots[] = {
        {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
        {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE},
        {u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},
        {u"HKEY_USERS", u"HKU", HKEY_USERS},
        {u"HKEY_CURRENT_CONFIG", u"HKCC", HKEY_CURRENT_CONFIG},
    };
    for (const auto& r : kRoots) {
        if (kvwin::EqualsAsciiNoCase(root, r.name) ||
            kvwin::EqualsAsciiNoCase(root, r.abbreviation))
            out.root = r.key;
    }
    if (!out.root || slash == std::u16string_view::npos)
        return false;
    std::u16string_view rest = name.substr(slash + 1);
    out.is_key = rest.empty() || rest.back() == u'\\';
    if (out.is_key) {
        out.key = rest.substr(0, rest.empty() ? 0 : rest.size() - 1);
    } else {
        size_t last = rest.rfind(u'\\');
        out.key = last == std::u16string_view::npos ? u"" : rest.substr(0, last);
        out.value = rest.substr(last == std::u16string_view::npos ? 0 : last + 1);
    }
    return true;
}

std::u16string Quoted(std::u16string_view text, std::u16string_view name,
                      std::u16string_view tail) {
    return std::u16string(text) + u" \"" + std::u16string(name) + u"\"" + std::u16string(tail);
}

HRESULT FailRegistry(kvwin::DispatchCall& call, LSTATUS status, std::u16string text) {
    return call.Fail(HRESULT_FROM_WIN32(DWORD(status)), std::move(text));
}

HRESULT ReturnArray(VARIANT* result, std::vector<_variant_t>& items) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(items.size()));
    if (!array)
        return E_OUTOFMEMORY;
    VARIANT* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (size_t i = 0; i < items.size(); ++i)
        data[i] = items[i].Detach();  // the array takes the values over
    SafeArrayUnaccessData(array);
    items.clear();
    if (!result) {
        SafeArrayDestroy(array);
        return S_OK;
    }
    result->vt = VT_ARRAY | VT_VARIANT;
    result->parray = array;
    return S_OK;
}

HRESULT ReadRegistry(kvwin::DispatchCall& call, const std::u16string& full) {
    RegistryName name;
    if (!ParseRegistryName(full, name))
        return FailRegistry(call, ERROR_FILE_NOT_FOUND,
                            Quoted(u"Invalid root in registry key", full, u"."));
    const std::u16string failed = Quoted(u"Unable to open registry key", full, u" for reading.");
    Key key;
    LSTATUS status = RegOpenKeyExW(name.root, name.key.c_str(), 0, KEY_READ, key.out());
    if (status != ERROR_SUCCESS)
        return FailRegistry(call, status, failed);
    DWORD type = 0, size = 0;
    status = RegQueryValueExW(key.get(), name.value.c_str(), nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return FailRegistry(call, status, failed);
    if (size > kMaxValueBytes)
        return FailRegistry(call, ERROR_NOT_ENOUGH_MEMORY, failed);
    std::vector<BYTE> data(size + 4);
    status = RegQueryValueExW(key.get(), name.value.c_str(), nullptr, &type, data.data(), &size);
    if (status != ERROR_SUCCESS)
        return FailRegistry(call, status, failed);
    VARIANT* out = call.Result();
    auto text_of = [&](size_t bytes) {
        std::u16string text(reinterpret_cast<const char16_t*>(data.data()), bytes / 2);
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        return text;
    };
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return kvwin::SetVariantText(out, text_of(size));
        case REG_DWORD:
            if (out) {
                out->vt = VT_I4;
                out->lVal = LONG(data[0] | data[1] << 8 | data[2] << 16 | DWORD(data[3]) << 24);
            }
            return S_OK;
        case REG_QWORD: {
            unsigned long long n = 0;
            for (int i = 7; i >= 0; --i)
                n = (n << 8) | (size_t(i) < size ? data[size_t(i)] : 0);
            if (out) {
                out->vt = VT_R8;
                out->dblVal = double(n);
            }
            return S_OK;
        }
        case REG_MULTI_SZ: {
            std::u16string all = text_of(size);
            std::vector<_variant_t> items;
            size_t start = 0;
            while (start < all.size()) {
                size_t end = all.find(u'\0', start);
                if (end == std::u16string::npos)
                    end = all.size();
                _variant_t v;
                kvwin::SetVariantText(&v, std::u16string_view(all).substr(start, end - start));
                items.push_back(std::move(v));
                start = end + 1;
            }
            return ReturnArray(out, items);
        }
        default: {  // REG_BINARY and the rest: the bytes
            std::vector<_variant_t> items(size);
            for (DWORD i = 0; i < size; ++i) {
                items[i].vt = VT_UI1;
                items[i].bVal = data[i];
            }
            return ReturnArray(out, items);
        }
    }
}

HRESULT WriteRegistry(kvwin::DispatchCall& call) {
    std::u16string full, type = u"REG_SZ";
    if (!ArgText(call, 0, full) || !call.Arg(1) || (call.Arg(2) && !ArgText(call, 2, type)))
        return FailWith(call, kInvalidArgument);
    RegistryName name;
    if (!ParseRegistryName(full, name))
        return FailRegistry(call, ERROR_FILE_NOT_FOUND,
                            Quoted(u"Invalid root in registry key", full, u"."));
    std::vector<BYTE> data;
    DWORD kind = 0;
    if (kvwin::EqualsAsciiNoCase(type, u"REG_SZ") ||
        kvwin::EqualsAsciiNoCase(type, u"REG_EXPAND_SZ")) {
        kind = kvwin::EqualsAsciiNoCase(type, u"REG_SZ") ? REG_SZ : REG_EXPAND_SZ;
        std::u16string text;
        if (!ArgText(call, 1, text))
            return FailWith(call, kInvalidArgument);
        text.push_back(u'\0');
        data.assign(reinterpret_cast<const BYTE*>(text.data()),
                    reinterpret_cast<const BYTE*>(text.data() + text.size()));
    } else if (kvwin::EqualsAsciiNoCase(type, u"REG_DWORD") ||
               kvwin::EqualsAsciiNoCase(type, u"REG_BINARY")) {
        kind = kvwin::EqualsAsciiNoCase(type, u"REG_DWORD") ? REG_DWORD : REG_BINARY;
        // Any 32-bit pattern: -1 and 4294967295 both give 0xFFFFFFFF.
        VARIANT number;
        VariantInit(&number);
        if (FAILED(VariantChangeType(&number, call.Arg(1), 0, VT_R8)) ||
            number.dblVal < -2147483648.0 || number.dblVal > 4294967295.0)
            return FailWith(call, kInvalidArgument);
        const DWORD n = DWORD(static_cast<long long>(number.dblVal));
        for (int i = 0; i < 4; ++i)
            data.push_back(BYTE((n >> (8 * i)) & 0xFF));
    } else {
        return call.Fail(E_INVALIDARG, u"Invalid registry type \"" + type + u"\".");
    }
    Key key;
    LSTATUS status = RegCreateKeyExW(name.root, name.key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                     key.out(), nullptr);
    if (status == ERROR_SUCCESS)
        status =
            RegSetValueExW(key.get(), name.value.c_str(), 0, kind, data.data(), DWORD(data.size()));
    if (status != ERROR_SUCCESS)
        return FailRegistry(call, status, Quoted(u"Unable to save registry key", full, u"."));
    return S_OK;
}

HRESULT DeleteRegistry(kvwin::DispatchCall& call) {
    std::u16string full;
    if (!ArgText(call, 0, full))
        return FailWith(call, kInvalidArgument);
    RegistryName name;
    if (!ParseRegistryName(full, name))
        return FailRegistry(call, ERROR_FILE_NOT_FOUND,
                            Quoted(u"Invalid root in registry key", full, u"."));
    const std::u16string failed = Quoted(u"Unable to remove registry key", full, u".");
    LSTATUS status;
    if (name.is_key) {
        status =
            name.key.empty() ? ERROR_ACCESS_DENIED : RegDeleteKeyW(name.root, name.key.c_str());
    } else {
        Key key;
        status = RegOpenKeyExW(name.root, name.key.c_str(), 0, KEY_SET_VALUE, key.out());
        if (status == ERROR_SUCCESS)
            status = RegDeleteValueW(key.get(), name.value.c_str());
    }
    if (status != ERROR_SUCCESS)
        return FailRegistry(call, status, failed);
    return S_OK;
}

std::u16string Expand(const std::u16string& text) {
    DWORD n = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 4 && n > 0; ++attempt) {
        std::vector<WCHAR> buffer(n);
        DWORD got = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), n);
        if (got > 0 && got <= n)
            return std::u16string(buffer.data());
        n = got;
    }
    return text;
}

// ---- Environment ----------------------------------------------------------------------------

class Environment final : public kvwin::DispatchObject<Environment, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"IWshEnvironment"; }
    Environment(HKEY root, std::u16string key) : root_(root), key_(std::move(key)) {}
    static std::span<const kvwin::DispatchMember<Environment>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WshShell.Environment"; }
    bool IsProcess() const { return root_ == nullptr; }

    // "NAME=value" for each variable of the set.
    std::vector<std::u16string> Entries() const {
        std::vector<std::u16string> out;
        if (IsProcess()) {
            LPWSTR block = GetEnvironmentStringsW();
            for (LPWSTR p = block; p && *p; p += std::u16string_view(p).size() + 1) {
                if (*p != u'=')
                    out.emplace_back(p);
            }
            FreeEnvironmentStringsW(block);
            return out;
        }
        Key key;
        if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
            return out;
        for (DWORD i = 0;; ++i) {
            WCHAR name[16384];
            DWORD name_size = 16384, type = 0, size = 0;
            if (RegEnumValueW(key.get(), i, name, &name_size, nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS)
                break;
            out.push_back(std::u16string(name, name_size) + u"=" + Read(name));
        }
        return out;
    }

    std::u16string Read(const std::u16string& name) const {
        if (IsProcess()) {
            DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
            if (n == 0)
                return u"";
            std::vector<WCHAR> buffer(n);
            DWORD got = GetEnvironmentVariableW(name.c_str(), buffer.data(), n);
            return got < n ? std::u16string(buffer.data(), got) : u"";
        }
        Key key;
        if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
            return u"";
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxValueBytes)
            return u"";
        std::u16string text(size / 2 + 1, u'\0');
        RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size);
        text.resize(size / 2);
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        return text;
    }

    static HRESULT Item(Environment& self, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!ArgText(call, 0, name))
            return FailWith(call, kInvalidArgument);
        if (!call.IsPut())
            return kvwin::SetVariantText(call.Result(), self.Read(name));
        std::u16string value;
        VARIANT text;
        VariantInit(&text);
        if (!call.PutValue() || FAILED(VariantChangeType(&text, call.PutValue(), 0, VT_BSTR)))
            return FailWith(call, kInvalidArgument);
        value.assign(text.bstrVal, SysStringLen(text.bstrVal));
        VariantClear(&text);
        if (self.IsProcess()) {
            if (!SetEnvironmentVariableW(name.c_str(), value.c_str()))
                return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? E_OUTOFMEMORY
                                                                 : FailWith(call, kInvalidArgument);
            return S_OK;
        }
        Key key;
        LSTATUS status = RegCreateKeyExW(self.root_, self.key_.c_str(), 0, nullptr, 0, KEY_WRITE,
                                         nullptr, key.out(), nullptr);
        if (status == ERROR_SUCCESS)
            status = RegSetValueExW(
                key.get(), name.c_str(), 0,
                value.find(u'%') != std::u16string::npos ? REG_EXPAND_SZ : REG_SZ,
                reinterpret_cast<const BYTE*>(value.c_str()), DWORD((value.size() + 1) * 2));
        if (status != ERROR_SUCCESS)
            return call.Fail(HRESULT_FROM_WIN32(DWORD(status)), u"Unable to set the variable.");
        return S_OK;
    }
    static HRESULT Count(Environment& self, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), LONG(self.Entries().size()));
    }
    static HRESULT Remove(Environment& self, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!ArgText(call, 0, name))
            return FailWith(call, kInvalidArgument);
        if (self.IsProcess()) {
            SetEnvironmentVariableW(name.c_str(), nullptr);
            return S_OK;
        }
        Key key;
        LSTATUS status = RegOpenKeyExW(self.root_, self.key_.c_str(), 0, KEY_SET_VALUE, key.out());
        if (status == ERROR_SUCCESS)
            status = RegDeleteValueW(key.get(), name.c_str());
        if (status != ERROR_SUCCESS)
            return call.Fail(HRESULT_FROM_WIN32(DWORD(status)), u"Unable to remove the variable.");
        return S_OK;
    }
    static HRESULT NewEnum(Environment& self, kvwin::DispatchCall& call) {
        std::vector<_variant_t> items;
        for (const auto& e : self.Entries()) {
            _variant_t v;
            kvwin::SetVariantText(&v, e);
            items.push_back(std::move(v));
        }
        return kvwin::ReturnEnumerator(call.Result(), std::move(items));
    }

  private:
    ~Environment() override = default;
    HKEY root_;  // null: the process block
    std::u16string key_;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Environment> kEnvironmentMembers[] = {
    {u"Item", 0, kGet | kPut | kMethod, 1, 1, &Environment::Item},
    {u"length", 1, kGet, 0, 0, &Environment::Count},
    {u"Count", 2, kGet | kMethod, 0, 0, &Environment::Count},
    {u"Remove", 3, kMethod, 1, 1, &Environment::Remove},
    {u"_NewEnum", DISPID_NEWENUM, kGet | kMethod, 0, 0, &Environment::NewEnum},
};

std::span<const kvwin::DispatchMember<Environment>> Environment::DispatchMembers() {
    return kEnvironmentMembers;
}

// ---- SpecialFolders -------------------------------------------------------------------------

struct SpecialFolder {
    const char16_t* name;
    int base;  // 0 the profile, 1 roaming application data, 2 the machine's program data,
               // 3 the Windows folder, 4 the public profile
    const char16_t* below;
};

const SpecialFolder kSpecialFolders[] = {
    {u"AllUsersDesktop", 4, u"Desktop"},
    {u"AllUsersStartMenu", 2, u"Microsoft\\Windows\\Start Menu"},
    {u"AllUsersPrograms", 2, u"Microsoft\\Windows\\Start Menu\\Programs"},
    {u"AllUsersStartup", 2, u"Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {u"Desktop", 0, u"Desktop"},
    {u"Favorites", 0, u"Favorites"},
    {u"Fonts", 3, u"Fonts"},
    {u"MyDocuments", 0, u"Documents"},
    {u"NetHood", 1, u"Microsoft\\Windows\\Network Shortcuts"},
    {u"PrintHood", 1, u"Microsoft\\Windows\\Printer Shortcuts"},
    {u"Programs", 1, u"Microsoft\\Windows\\Start Menu\\Programs"},
    {u"Recent", 1, u"Microsoft\\Windows\\Recent"},
    {u"SendTo", 1, u"Microsoft\\Windows\\SendTo"},
    {u"StartMenu", 1, u"Microsoft\\Windows\\Start Menu"},
    {u"Startup", 1, u"Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {u"Templates", 1, u"Microsoft\\Windows\\Templates"},
};

std::u16string FolderPath(int csidl) {
    WCHAR buffer[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, buffer)))
        return u"";
    return buffer;
}

std::u16string SpecialFolderPath(const SpecialFolder& f) {
    std::u16string base;
    switch (f.base) {
        case 0:  // the profile holds AppData\Roaming
            base = ParentPart(ParentPart(FolderPath(CSIDL_APPDATA)));
            break;
        case 1:
            base = FolderPath(CSIDL_APPDATA);
            break;
        case 2:
            base = FolderPath(CSIDL_COMMON_APPDATA);
            break;
        case 3:
            base = FolderPath(CSIDL_WINDOWS);
            break;
        default:
            base = ParentPart(FolderPath(CSIDL_COMMON_DOCUMENTS));
            break;
    }
    return base.empty() ? base : JoinPath(base, f.below);
}

class SpecialFolders final : public kvwin::DispatchObject<SpecialFolders, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"IWshCollection"; }
    static std::span<const kvwin::DispatchMember<SpecialFolders>> DispatchMembers();

    static HRESULT Item(SpecialFolders&, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!ArgText(call, 0, name))
            return FailWith(call, kInvalidArgument);
        for (const auto& f : kSpecialFolders) {
            if (kvwin::EqualsAsciiNoCase(name, f.name))
                return kvwin::SetVariantText(call.Result(), SpecialFolderPath(f));
        }
        return kvwin::SetVariantText(call.Result(), u"");  // an unknown name: empty, as on Windows
    }
    static HRESULT Count(SpecialFolders&, kvwin::DispatchCall& call) {
        return kvwin::SetVariantLong(call.Result(), LONG(std::size(kSpecialFolders)));
    }
    static HRESULT NewEnum(SpecialFolders&, kvwin::DispatchCall& call) {
        std::vector<_variant_t> items;
        for (const auto& f : kSpecialFolders) {
            _variant_t v;
            kvwin::SetVariantText(&v, SpecialFolderPath(f));
            items.push_back(std::move(v));
        }
        return kvwin::ReturnEnumerator(call.Result(), std::move(items));
    }

  private:
    ~SpecialFolders() override = default;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<SpecialFolders> kSpecialFolderMembers[] = {
    {u"Item", 0, kGet | kMethod, 1, 1, &SpecialFolders::Item},
    {u"length", 1, kGet, 0, 0, &SpecialFolders::Count},
    {u"Count", 2, kGet | kMethod, 0, 0, &SpecialFolders::Count},
    {u"_NewEnum", DISPID_NEWENUM, kGet | kMethod, 0, 0, &SpecialFolders::NewEnum},
};

std::span<const kvwin::DispatchMember<SpecialFolders>> SpecialFolders::DispatchMembers() {
    return kSpecialFolderMembers;
}

// ---- the shell ------------------------------------------------------------------------------

using kvwin::ReturnObject;

class Shell final : public kvwin::DispatchObject<Shell, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"IWshShell3"; }
    static std::span<const kvwin::DispatchMember<Shell>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"WshShell"; }

    static HRESULT RegRead(Shell&, kvwin::DispatchCall& call) {
        std::u16string name;
        if (!ArgText(call, 0, name))
            return FailWith(call, kInvalidArgument);
        return ReadRegistry(call, name);
    }
    static HRESULT RegWrite(Shell&, kvwin::DispatchCall& call) { return WriteRegistry(call); }
    static HRESULT RegDelete(Shell&, kvwin::DispatchCall& call) { return DeleteRegistry(call); }
    static HRESULT ExpandEnvironmentStrings(Shell&, kvwin::DispatchCall& call) {
        std::u16string text;
        if (!ArgText(call, 0, text))
            return FailWith(call, kInvalidArgument);
        return kvwin::SetVariantText(call.Result(), Expand(text));
    }
    static HRESULT GetEnvironment(Shell&, kvwin::DispatchCall& call) {
        std::u16string kind = u"SYSTEM";
        if (call.Arg(0) && !ArgText(call, 0, kind))
            return FailWith(call, kInvalidArgument);
        Environment* env = nullptr;
        if (kvwin::EqualsAsciiNoCase(kind, u"PROCESS"))
            env = new Environment(nullptr, u"");
        else if (kvwin::EqualsAsciiNoCase(kind, u"SYSTEM"))
            env = new Environment(
                HKEY_LOCAL_MACHINE,
                u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
        else if (kvwin::EqualsAsciiNoCase(kind, u"USER"))
            env = new Environment(HKEY_CURRENT_USER, u"Environment");
        else if (kvwin::EqualsAsciiNoCase(kind, u"VOLATILE"))
            env = new Environment(HKEY_CURRENT_USER, u"Volatile Environment");
        else
            return FailWith(call, kInvalidArgument);
        return ReturnObject(call.Result(), env);
    }
    static HRESULT GetSpecialFolders(Shell&, kvwin::DispatchCall& call) {
        if (call.Arg(0)) {  // SpecialFolders("Desktop") reads one item at once
            SpecialFolders* folders = new SpecialFolders();
            HRESULT hr = SpecialFolders::Item(*folders, call);
            folders->Release();
            return hr;
        }
        return ReturnObject(call.Result(), new SpecialFolders());
    }
    static HRESULT CurrentDirectory(Shell&, kvwin::DispatchCall& call) {
        if (!call.IsPut()) {
            std::vector<char> buffer(PATH_MAX + 1);
            if (!getcwd(buffer.data(), buffer.size()))
                return call.Fail(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), u"Path not found");
            return kvwin::SetVariantText(call.Result(), kvwin::FromNativePath(buffer.data()));
        }
        VARIANT text;
        VariantInit(&text);
        if (!call.PutValue() || FAILED(VariantChangeType(&text, call.PutValue(), 0, VT_BSTR)))
            return FailWith(call, kInvalidArgument);
        std::u16string path(text.bstrVal, SysStringLen(text.bstrVal));
        VariantClear(&text);
        std::string native;
        if (!kvwin::ToNativePath(AbsolutePath(path), native) || chdir(native.c_str()) != 0)
            return call.Fail(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
                             u"The system cannot find the path specified.");
        return S_OK;
    }
    static HRESULT Run(Shell&, kvwin::DispatchCall& call) {
        std::u16string command;
        long style = 1;
        bool wait = false;
        if (!ArgText(call, 0, command) || !ArgLong(call, 1, 1, style) ||
            !ArgBool(call, 2, false, wait))
            return FailWith(call, kInvalidArgument);
        DWORD exit_code = 0;
        HRESULT hr = RunProgram(Expand(command), wait, exit_code);
        if (FAILED(hr))
            return call.Fail(hr, u"The system cannot find the file specified.");
        return kvwin::SetVariantLong(call.Result(), LONG(exit_code));
    }
    static HRESULT Exec(Shell&, kvwin::DispatchCall& call) {
        std::u16string command;
        if (!ArgText(call, 0, command))
            return FailWith(call, kInvalidArgument);
        return StartExec(call, Expand(command));
    }

  private:
    ~Shell() override = default;
    ModuleRef module_ref_;
};

const kvwin::DispatchMember<Shell> kShellMembers[] = {
    {u"SpecialFolders", 100, kGet | kMethod, 0, 1, &Shell::GetSpecialFolders},
    {u"Environment", 200, kGet | kMethod, 0, 1, &Shell::GetEnvironment},
    {u"Run", 1000, kMethod, 1, 3, &Shell::Run},
    {u"ExpandEnvironmentStrings", 1006, kMethod, 1, 1, &Shell::ExpandEnvironmentStrings},
    {u"RegDelete", 2000, kMethod, 1, 1, &Shell::RegDelete},
    {u"RegRead", 2001, kMethod, 1, 1, &Shell::RegRead},
    {u"RegWrite", 2002, kMethod, 2, 3, &Shell::RegWrite},
    {u"CurrentDirectory", 3002, kGet | kPut, 0, 0, &Shell::CurrentDirectory},
    {u"Exec", 3003, kMethod, 1, 1, &Shell::Exec},
};

}  // namespace

std::span<const kvwin::DispatchMember<Shell>> Shell::DispatchMembers() {
    return kShellMembers;
}

HRESULT CreateShell(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Shell>(outer, riid, ppv);
}

}  // namespace kvscripting
