// Registration of a module's declared classes: the machine hive's class keys that
// DllRegisterServer, DllUnregisterServer and `kavrel-reg register|unregister` write and
// remove, and the registration file the build writes beside the layer for the built-ins.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>

#include "kvwin/com_guid_text.h"
#include "kvwin/component_module.h"
#include "kvwin/registry_key.h"
#include "kvwin/utf.h"
#include "win/registry.h"

namespace kvwin {

namespace {

const std::u16string kClasses = u"SOFTWARE\\Classes\\";

bool SetText(const std::u16string& key, const char16_t* name, const std::u16string& text) {
    RegistryKey handle;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, handle.out(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(handle.get(), name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

// The default value of a key below SOFTWARE\Classes, or "" when there is none.
std::u16string DefaultText(const std::u16string& key) {
    RegistryKey handle;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str(), 0, KEY_READ, handle.out()) !=
        ERROR_SUCCESS)
        return {};
    char16_t buffer[128] = {};
    DWORD type = 0, size = sizeof buffer - sizeof(char16_t);
    if (RegQueryValueExW(handle.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return std::u16string(buffer, size / sizeof(char16_t)).c_str();
}

bool DeleteTree(const std::u16string& key) {
    LSTATUS status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND)
        status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kClasses + key).c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool Register(const ComponentClass& entry, const std::u16string& server) {
    const std::u16string clsid = GuidToText(entry.clsid);
    const std::u16string key = u"CLSID\\" + clsid;
    const std::u16string prog_id = entry.prog_id;
    const std::u16string independent = entry.version_independent_prog_id;
    bool ok = SetText(key, nullptr, !independent.empty() ? independent : prog_id) &&
              SetText(key + u"\\InprocServer32", nullptr, server) &&
              SetText(key + u"\\InprocServer32", u"ThreadingModel", entry.threading_model);
    if (!prog_id.empty())
        ok = ok && SetText(key + u"\\ProgID", nullptr, prog_id) &&
             SetText(prog_id + u"\\CLSID", nullptr, clsid);
    if (!independent.empty()) {
        ok = ok && SetText(key + u"\\VersionIndependentProgID", nullptr, independent) &&
             SetText(independent + u"\\CLSID", nullptr, clsid);
        if (!prog_id.empty() && prog_id != independent)
            ok = ok && SetText(independent + u"\\CurVer", nullptr, prog_id);
    }
    return ok;
}

bool Unregister(const ComponentClass& entry) {
    const std::u16string clsid = GuidToText(entry.clsid);
    bool ok = true;
    // A ProgID another class has taken over since stays.
    for (const char16_t* name : {entry.prog_id, entry.version_independent_prog_id}) {
        if (*name && DefaultText(std::u16string(name) + u"\\CLSID") == clsid)
            ok = DeleteTree(name) && ok;
    }
    return DeleteTree(u"CLSID\\" + clsid) && ok;
}

}  // namespace

HRESULT RegisterComponentClasses(const ComponentClass* table, std::size_t count,
                                 const std::string& server, bool add) noexcept {
    if ((!table && count) || server.empty())
        return E_INVALIDARG;
    return GuardComCall([&] {
        const std::u16string server_text = FromUtf8(server);
        bool ok = true;
        for (std::size_t i = 0; i < count; ++i)
            ok = (add ? Register(table[i], server_text) : Unregister(table[i])) && ok;
        return ok ? S_OK : SELFREG_E_CLASS;
    });
}

HRESULT RegisterDeclaringModule(const ComponentClass* table, std::size_t count, bool add) noexcept {
    return GuardComCall(
        [&] { return RegisterComponentClasses(table, count, ModulePathOf(table), add); });
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return {};
    char resolved[PATH_MAX];
    if (!::realpath(info.dli_fname, resolved))
        return info.dli_fname;
    return resolved;
}

std::string FormatClassFile(const ComponentClass* table, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        const ComponentClass& entry = table[i];
        text += ToUtf8(GuidToText(entry.clsid)) + '\t' + ToUtf8(entry.prog_id) + '\t' +
                ToUtf8(entry.version_independent_prog_id) + '\t' + ToUtf8(entry.threading_model) +
                '\n';
    }
    return text;
}

}  // namespace kvwin
