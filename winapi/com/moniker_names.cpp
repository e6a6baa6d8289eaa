// The prefix table behind CoGetObject.
#include "kvwin/moniker_names.h"

#include <mutex>
#include <string_view>
#include <vector>

#include "kvwin/ascii_case.h"

namespace kvwin {
namespace {

struct Binder {
    std::u16string prefix;
    BindDisplayNameFunction bind;
};

// Guarded by TableLock(); binders are copied out before they are called, so a binder may
// register or unregister prefixes itself.
std::vector<Binder>& Table() {
    static std::vector<Binder> table;
    return table;
}

std::mutex& TableLock() {
    static std::mutex lock;
    return lock;
}

BindDisplayNameFunction FindBinder(std::u16string_view name) {
    size_t colon = name.find(u':');
    if (colon == std::u16string_view::npos)
        return nullptr;
    std::u16string_view prefix = name.substr(0, colon + 1);
    std::lock_guard<std::mutex> hold(TableLock());
    for (const auto& b : Table()) {
        if (EqualsAsciiNoCase(prefix, b.prefix))
            return b.bind;
    }
    return nullptr;
}

// The class a prefix names as a ProgID ("winmgmts:" -> "winmgmts"), when it answers
// IDisplayNameBinder; null otherwise.
IDisplayNameBinder* ClassBinder(std::u16string_view name) {
    size_t colon = name.find(u':');
    if (colon == std::u16string_view::npos || colon == 0)
        return nullptr;
    std::u16string progid(name.substr(0, colon));
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(progid.c_str(), &clsid)))
        return nullptr;
    IDisplayNameBinder* binder = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IDisplayNameBinder),
                                reinterpret_cast<void**>(&binder))))
        return nullptr;
    return binder;
}

}  // namespace

void RegisterMonikerPrefix(const std::u16string& prefix, BindDisplayNameFunction bind) {
    std::lock_guard<std::mutex> hold(TableLock());
    for (auto& b : Table()) {
        if (EqualsAsciiNoCase(b.prefix, prefix)) {
            b.bind = bind;
            return;
        }
    }
    Table().push_back({prefix, bind});
}

bool UnregisterMonikerPrefix(const std::u16string& prefix) {
    std::lock_guard<std::mutex> hold(TableLock());
    auto& table = Table();
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (EqualsAsciiNoCase(it->prefix, prefix)) {
            table.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace kvwin

extern "C" HRESULT CoGetObject(LPCWSTR name, BIND_OPTS*, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!name)
        return E_POINTER;
    try {
        kvwin::BindDisplayNameFunction bind = kvwin::FindBinder(name);
        if (bind)
            return bind(name, riid, ppv);
        IDisplayNameBinder* binder = kvwin::ClassBinder(name);
        if (!binder)
            return MK_E_SYNTAX;
        HRESULT hr = binder->BindDisplayName(name, riid, ppv);
        binder->Release();
        return hr;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
