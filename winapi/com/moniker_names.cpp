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
        if (!bind)
            return MK_E_SYNTAX;
        return bind(name, riid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
