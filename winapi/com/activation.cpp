// Activation: class objects and instances, class names, and the built-in registrations.
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "builtin_components.h"
#include "class_registry.h"
#include "kvwin/ascii_case.h"
#include "kvwin/com_guid_text.h"
#include "kvwin/com_runtime.h"
#include "kvwin/utf.h"
#include "server_modules.h"
#include "win/com.h"

namespace kvwin {

namespace {

// The built-in registrations, guarded by one mutex. Entries are copied out before use.
std::mutex& BuiltinMutex() {
    static std::mutex m;
    return m;
}
std::vector<BuiltinClass>& Builtins() {
    static auto* table = new std::vector<BuiltinClass>(com_detail::ComponentClasses());
    return *table;
}

std::optional<BuiltinClass> FindBuiltin(const CLSID& clsid) {
    std::lock_guard lock(BuiltinMutex());
    for (const auto& entry : Builtins())
        if (entry.clsid == clsid)
            return entry;
    return std::nullopt;
}

std::optional<BuiltinClass> FindBuiltinByProgId(std::u16string_view prog_id) {
    std::lock_guard lock(BuiltinMutex());
    for (const auto& entry : Builtins()) {
        if ((!entry.prog_id.empty() && kvwin::EqualsAsciiNoCase(entry.prog_id, prog_id)) ||
            (!entry.version_independent_prog_id.empty() &&
             kvwin::EqualsAsciiNoCase(entry.version_independent_prog_id, prog_id)))
            return entry;
    }
    return std::nullopt;
}

HRESULT ClassObjectFromModule(const std::u16string& server, REFCLSID clsid, REFIID riid,
                              void** ppv) {
    std::shared_ptr<com_detail::ServerModule> module;
    HRESULT hr = com_detail::LoadServerModule(server, module);
    if (FAILED(hr))
        return hr;
    try {
        hr = module->get_class_object(clsid, riid, ppv);
    } catch (...) {
        hr = CO_E_ERRORINDLL;
    }
    if (FAILED(hr) && *ppv)
        *ppv = nullptr;
    return hr;
}

HRESULT TaskText(const std::u16string& text, LPOLESTR* out) {
    auto* mem = static_cast<OLECHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!mem)
        return E_OUTOFMEMORY;
    std::memcpy(mem, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *out = mem;
    return S_OK;
}

HRESULT ProgIdToClsid(std::u16string_view prog_id, CLSID& clsid) {
    std::u16string name(prog_id);
    // Follow CurVer a few times at most: a loop in the registry must not hang us.
    for (int hop = 0; hop < 4; ++hop) {
        if (auto text = com_detail::ReadClassesRootDefault(name + u"\\CLSID")) {
            if (GuidFromText(*text, clsid))
                return S_OK;
            return CO_E_CLASSSTRING;
        }
        auto current = com_detail::ReadClassesRootDefault(name + u"\\CurVer");
        if (!current || current->empty())
            break;
        name = *current;
    }
    if (auto builtin = FindBuiltinByProgId(prog_id)) {
        clsid = builtin->clsid;
        return S_OK;
    }
    return CO_E_CLASSSTRING;
}

}  // namespace

void RegisterBuiltinClass(const BuiltinClass& entry) {
    std::lock_guard lock(BuiltinMutex());
    for (auto& existing : Builtins()) {
        if (existing.clsid == entry.clsid) {
            existing = entry;
            return;
        }
    }
    Builtins().push_back(entry);
}

std::vector<BuiltinClass> BuiltinClasses() {
    std::lock_guard lock(BuiltinMutex());
    return Builtins();
}

bool UnregisterBuiltinClass(const CLSID& clsid) {
    std::lock_guard lock(BuiltinMutex());
    auto& table = Builtins();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (it->clsid == clsid) {
            table.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace kvwin

extern "C" {

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!kvwin::ThreadHasApartment())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) {
        // Only in-process servers exist here; nothing is ever registered as a local or
        // remote server.
        return REGDB_E_CLASSNOTREG;
    }
    if (pvReserved)
        return E_INVALIDARG;
    try {
        std::u16string key = u"CLSID\\" + kvwin::GuidToText(rclsid);
        if (auto server = kvwin::com_detail::ReadClassesRootDefault(key + u"\\InprocServer32")) {
            if (server->empty())
                return REGDB_E_CLASSNOTREG;
            return kvwin::ClassObjectFromModule(*server, rclsid, riid, ppv);
        }
        if (auto builtin = kvwin::FindBuiltin(rclsid)) {
            if (builtin->create) {
                auto* factory = new (std::nothrow) kvwin::SimpleClassFactory(builtin->create);
                if (!factory)
                    return E_OUTOFMEMORY;
                HRESULT hr = factory->QueryInterface(riid, ppv);
                factory->Release();
                return hr;
            }
            return kvwin::ClassObjectFromModule(builtin->module, rclsid, riid, ppv);
        }
        return REGDB_E_CLASSNOTREG;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    // An aggregated object can only be asked for its inner IUnknown.
    if (pUnkOuter && riid != __uuidof(IUnknown))
        return CLASS_E_NOAGGREGATION;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, __uuidof(IClassFactory),
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

void CoFreeUnusedLibraries(void) {
    kvwin::com_detail::FreeUnusedServerModules();
}

void CoFreeUnusedLibrariesEx(DWORD, DWORD) {
    kvwin::com_detail::FreeUnusedServerModules();
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    try {
        return kvwin::ProgIdToClsid(kvwin::WideView(lpszProgID), *lpclsid);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid)
        return E_INVALIDARG;
    if (!lpsz) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    std::u16string_view text = kvwin::WideView(lpsz);
    if (!text.empty() && text[0] == u'{') {
        return kvwin::GuidFromText(text, *pclsid) ? S_OK : CO_E_CLASSSTRING;
    }
    HRESULT hr = CLSIDFromProgID(lpsz, pclsid);
    return hr == CO_E_CLASSSTRING ? REGDB_E_WRITEREGDB : hr;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    try {
        std::u16string key = u"CLSID\\" + kvwin::GuidToText(clsid) + u"\\ProgID";
        if (auto text = kvwin::com_detail::ReadClassesRootDefault(key)) {
            if (!text->empty())
                return kvwin::TaskText(*text, lplpszProgID);
        }
        if (auto builtin = kvwin::FindBuiltin(clsid)) {
            const std::u16string& name =
                !builtin->prog_id.empty() ? builtin->prog_id : builtin->version_independent_prog_id;
            if (!name.empty())
                return kvwin::TaskText(name, lplpszProgID);
        }
        return REGDB_E_CLASSNOTREG;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD,
                          RPC_AUTH_IDENTITY_HANDLE, DWORD) {
    // No object here is a proxy: calls go straight to the object, under the caller's own
    // identity, which is what the blanket asks for anyway.
    return pProxy ? S_OK : E_INVALIDARG;
}

HRESULT OleRun(LPUNKNOWN pUnknown) {
    if (!pUnknown)
        return E_INVALIDARG;
    IRunnableObject* runnable = nullptr;
    if (FAILED(pUnknown->QueryInterface(__uuidof(IRunnableObject),
                                        reinterpret_cast<void**>(&runnable))) ||
        !runnable)
        return S_OK;
    HRESULT hr = runnable->Run(nullptr);
    runnable->Release();
    return hr;
}

}  // extern "C"
