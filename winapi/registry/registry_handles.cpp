// The table of open key handles and the predefined keys.
#include "kvwin/registry_handles.h"

#include <mutex>
#include <unordered_map>

namespace kvwin::registry {

namespace {

struct KeyTable {
    std::mutex mutex;
    std::unordered_map<uintptr_t, KeyRef> keys;
    uintptr_t next = 0x10000;
};

KeyTable& Table() {
    static auto* table = new KeyTable();  // used until exit, by any thread
    return *table;
}

bool Predefined(HKEY key, KeyRef& out) {
    auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    if (reinterpret_cast<uintptr_t>(key) >> 32 != 0 &&
        reinterpret_cast<uintptr_t>(key) >> 32 != 0xffffffffu) {
        return false;
    }
    out = KeyRef{};
    out.predefined = true;
    out.access = KEY_ALL_ACCESS;
    switch (value) {
        case 0x80000000u:  // HKEY_CLASSES_ROOT
            out.hive = Hive::Machine;
            out.base = {u"SOFTWARE", u"Classes"};
            return true;
        case 0x80000001u:  // HKEY_CURRENT_USER
            out.hive = Hive::User;
            out.id = kRootKey;
            return true;
        case 0x80000002u:  // HKEY_LOCAL_MACHINE
            out.hive = Hive::Machine;
            out.id = kRootKey;
            return true;
        case 0x80000003u:  // HKEY_USERS
            out.hive = Hive::Users;
            out.id = kRootKey;
            return true;
        case 0x80000005u:  // HKEY_CURRENT_CONFIG
            out.hive = Hive::Machine;
            out.base = {u"SYSTEM", u"CurrentControlSet", u"Hardware Profiles", u"Current"};
            return true;
        default:
            return false;
    }
}

}  // namespace

LONG ResolveKey(HKEY key, KeyRef& out) {
    if (Predefined(key, out))
        return ERROR_SUCCESS;
    KeyTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.keys.find(reinterpret_cast<uintptr_t>(key));
    if (found == table.keys.end())
        return ERROR_INVALID_HANDLE;
    out = found->second;
    return ERROR_SUCCESS;
}

HKEY InsertKey(KeyRef ref) {
    KeyTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    uintptr_t value = table.next;
    table.next += 4;
    ref.predefined = false;
    table.keys.emplace(value, std::move(ref));
    return reinterpret_cast<HKEY>(value);
}

LONG CloseKey(HKEY key) {
    KeyRef ignored;
    if (Predefined(key, ignored))
        return ERROR_SUCCESS;
    KeyTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.keys.erase(reinterpret_cast<uintptr_t>(key)) ? ERROR_SUCCESS
                                                              : ERROR_INVALID_HANDLE;
}

size_t OpenKeyCount() {
    KeyTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    return table.keys.size();
}

KeyId BaseKey(Session& session, const KeyRef& ref, bool create) {
    if (ref.id != 0) {
        if (!session.KeyExists(ref.id))
            throw StoreError{ERROR_KEY_DELETED};
        return ref.id;
    }
    if (create)
        return session.WalkCreate(kRootKey, ref.base, nullptr);
    auto key = session.Walk(kRootKey, ref.base);
    if (!key)
        throw StoreError{ERROR_FILE_NOT_FOUND};
    return *key;
}

}  // namespace kvwin::registry
