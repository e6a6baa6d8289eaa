// The registry functions: argument rules, access checks and Windows result layouts over the
// store. Each function resolves its handle, checks the access the handle was opened with,
// then does its work in one transaction of the hive's store.
#include <cstring>
#include <new>
#include <optional>

#include "kvwin/environment_lock.h"
#include "kvwin/registry_handles.h"
#include "kvwin/registry_live.h"
#include "kvwin/utf.h"
#include "win/registry.h"

using kvwin::registry::BaseKey;
using kvwin::registry::DenyLiveWrite;
using kvwin::registry::KeyId;
using kvwin::registry::KeyInfo;
using kvwin::registry::KeyRef;
using kvwin::registry::Session;
using kvwin::registry::Store;
using kvwin::registry::StoreError;
using kvwin::registry::ValueRecord;

namespace {

// Runs an API body, turning any escaping exception into a Win32 code.
template <class F>
LSTATUS Guard(F&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (const StoreError& e) {
        return e.code > 0 ? e.code : ERROR_REGISTRY_IO_FAILED;
    } catch (...) {
        return ERROR_GEN_FAILURE;
    }
}

// Splits a subkey path on '\'. Empty parts (a trailing '\' or "a\\b") are skipped. A name
// longer than the limit is ERROR_INVALID_PARAMETER.
LONG SplitPath(const WCHAR* text, std::vector<std::u16string>& parts) {
    parts.clear();
    std::u16string part;
    for (std::u16string_view view = kvwin::WideView(text); char16_t c : view) {
        if (c == u'\\') {
            if (!part.empty())
                parts.push_back(std::move(part));
            part.clear();
        } else {
            part.push_back(c);
        }
        if (part.size() > KVWIN_REG_MAX_KEY_NAME)
            return ERROR_INVALID_PARAMETER;
    }
    if (!part.empty())
        parts.push_back(std::move(part));
    return ERROR_SUCCESS;
}

LONG ValueName(const WCHAR* text, std::u16string& name) {
    name = std::u16string(kvwin::WideView(text));
    return name.size() > KVWIN_REG_MAX_VALUE_NAME ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// Generic rights folded into key rights; the redirection flags are accepted and ignored
// (there is one view of the registry), but not both at once.
LONG NormaliseAccess(REGSAM sam, REGSAM& access) {
    if ((sam & KEY_WOW64_RES) == KEY_WOW64_RES)
        return ERROR_INVALID_PARAMETER;
    access = sam & ~static_cast<REGSAM>(KEY_WOW64_RES);
    if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED))
        access |= KEY_ALL_ACCESS;
    if (sam & GENERIC_READ)
        access |= KEY_READ;
    if (sam & GENERIC_WRITE)
        access |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE)
        access |= KEY_EXECUTE;
    return ERROR_SUCCESS;
}

struct Target {
    KeyRef ref;
    std::shared_ptr<Store> store;
};

// Resolves a handle, requires `needed` access (all bits) and opens its hive's store.
LONG Prepare(HKEY key, REGSAM needed, Target& target) {
    LONG rc = kvwin::registry::ResolveKey(key, target.ref);
    if (rc != ERROR_SUCCESS)
        return rc;
    if ((target.ref.access & needed) != needed)
        return ERROR_ACCESS_DENIED;
    return kvwin::registry::StoreFor(target.ref.hive, target.store);
}

// Reads the handle's own key in one read transaction of its hive's store, once the handle
// is found to hold `needed` access: `read(session, key)`.
template <class F>
LONG ReadOwnKey(HKEY key, REGSAM needed, F&& read) {
    Target target;
    LONG rc = Prepare(key, needed, target);
    if (rc != ERROR_SUCCESS)
        return rc;
    return target.store->Run(
        false, [&](Session& session) { read(session, BaseKey(session, target.ref, false)); });
}

// Changes one value of the handle's own key in one write transaction, once the name is
// found valid and the handle to hold KEY_SET_VALUE: `change(session, key, name)`. A
// predefined key's path is made first when `create_key` is set; a live key refuses.
template <class F>
LONG ChangeOwnValue(HKEY key, const WCHAR* value_name, bool create_key, F&& change) {
    std::u16string name;
    LONG rc = ValueName(value_name, name);
    if (rc != ERROR_SUCCESS)
        return rc;
    Target target;
    if ((rc = Prepare(key, KEY_SET_VALUE, target)) != ERROR_SUCCESS)
        return rc;
    return target.store->Run(true, [&](Session& session) {
        KeyId own = BaseKey(session, target.ref, create_key);
        DenyLiveWrite(target.ref.hive, session, own);
        change(session, own, name);
    });
}

// The existing key `path` names below the target's key; ERROR_FILE_NOT_FOUND when there is
// none.
KeyId ExistingKeyBelow(Session& session, const Target& target,
                       const std::vector<std::u16string>& path) {
    auto key = session.Walk(BaseKey(session, target.ref, false), path);
    if (!key)
        throw StoreError{ERROR_FILE_NOT_FOUND};
    return *key;
}

// A path into the machine hive that names a live key brings that key up to date first. A
// failed refresh leaves the previous copy to read.
void RefreshFor(const Target& target, const std::vector<std::u16string>& path) {
    if (target.ref.hive == kvwin::registry::Hive::Machine && !path.empty())
        (void)kvwin::registry::RefreshLiveKeys(*target.store, path);
}

// What opening and creating a key share once their own argument checks are done: the access
// asked for, the path below the handle, the handle's hive (any access will do: the new
// handle has its own), and live keys on the path brought up to date.
LONG PrepareOpen(HKEY key, LPCWSTR subkey, REGSAM sam, REGSAM& access,
                 std::vector<std::u16string>& path, Target& target) {
    LONG rc = NormaliseAccess(sam, access);
    if (rc != ERROR_SUCCESS)
        return rc;
    if ((rc = SplitPath(subkey, path)) != ERROR_SUCCESS)
        return rc;
    if ((rc = Prepare(key, 0, target)) != ERROR_SUCCESS)
        return rc;
    RefreshFor(target, path);
    return ERROR_SUCCESS;
}

// A new handle to a key of the target's hive, with the access it was opened for.
HKEY InsertOpened(const Target& target, KeyId id, REGSAM access) {
    KeyRef opened;
    opened.hive = target.ref.hive;
    opened.id = id;
    opened.access = access;
    return kvwin::registry::InsertKey(std::move(opened));
}

uint64_t ToFileTimeParts(uint64_t value, PFILETIME out) {
    if (out) {
        out->dwLowDateTime = static_cast<DWORD>(value & 0xffffffffu);
        out->dwHighDateTime = static_cast<DWORD>(value >> 32);
    }
    return value;
}

// Copies a value's data out with the RegQueryValueExW rules.
LONG CopyValueOut(const ValueRecord& value, LPDWORD type, LPBYTE data, LPDWORD size) {
    if (type)
        *type = value.type;
    auto needed = static_cast<DWORD>(value.data.size());
    if (!size)
        return ERROR_SUCCESS;
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed)
        std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Expands %NAME% references from the environment; unknown names stay as written.
std::u16string ExpandEnvironment(std::u16string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == u'%') {
            size_t end = text.find(u'%', i + 1);
            if (end != std::u16string_view::npos && end > i + 1) {
                std::u16string name(text.substr(i + 1, end - i - 1));
                if (auto value = kvwin::GetEnvUtf8(kvwin::ToUtf8(name))) {
                    out += kvwin::FromUtf8(*value);
                    i = end + 1;
                    continue;
                }
                out.append(text.substr(i, end - i));
                i = end;
                continue;
            }
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

std::u16string UnitsOf(const std::vector<BYTE>& data) {
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    return text;
}

std::vector<BYTE> BytesOf(std::u16string_view text) {
    std::vector<BYTE> data;
    for (char16_t c : text) {
        data.push_back(static_cast<BYTE>(c & 0xff));
        data.push_back(static_cast<BYTE>(c >> 8));
    }
    return data;
}

DWORD TypeFlag(DWORD type) {
    switch (type) {
        case REG_NONE:
            return RRF_RT_REG_NONE;
        case REG_SZ:
            return RRF_RT_REG_SZ;
        case REG_EXPAND_SZ:
            return RRF_RT_REG_EXPAND_SZ;
        case REG_BINARY:
            return RRF_RT_REG_BINARY;
        case REG_DWORD:
            return RRF_RT_REG_DWORD;
        case REG_MULTI_SZ:
            return RRF_RT_REG_MULTI_SZ;
        case REG_QWORD:
            return RRF_RT_REG_QWORD;
        default:
            return 0;
    }
}

// Copies a name into a caller's buffer of *count characters (terminator included). On
// success *count is the length without the terminator.
LONG CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD count) {
    if (*count <= name.size())
        return ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
    buffer[name.size()] = 0;
    *count = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult) {
    (void)ulOptions;
    return Guard([&]() -> LSTATUS {
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        if (lpSubKey && lpSubKey[0] == u'\\')
            return ERROR_BAD_PATHNAME;
        REGSAM access = 0;
        std::vector<std::u16string> path;
        Target target;
        LONG rc = PrepareOpen(hKey, lpSubKey, samDesired, access, path, target);
        if (rc != ERROR_SUCCESS)
            return rc;
        // A missing key is an ordinary answer (the log asks for its configuration key in
        // every new process): it is returned, not thrown, since a process's first throw
        // costs more than the look-up.
        std::optional<KeyId> found;
        rc = target.store->Run(false, [&](Session& session) {
            KeyId base = BaseKey(session, target.ref, false);
            found = session.Walk(base, path);
        });
        if (rc != ERROR_SUCCESS)
            return rc;
        if (!found)
            return ERROR_FILE_NOT_FOUND;
        *phkResult = InsertOpened(target, *found, access);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition) {
    (void)Reserved;
    (void)lpClass;
    (void)lpSecurityAttributes;
    return Guard([&]() -> LSTATUS {
        if (!phkResult)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        if (!lpSubKey)
            return ERROR_BADKEY;
        if (lpSubKey[0] == u'\\')
            return ERROR_BAD_PATHNAME;
        if (dwOptions & REG_OPTION_CREATE_LINK)
            return ERROR_NOT_SUPPORTED;
        REGSAM access = 0;
        std::vector<std::u16string> path;
        Target target;
        LONG rc = PrepareOpen(hKey, lpSubKey, samDesired, access, path, target);
        if (rc != ERROR_SUCCESS)
            return rc;
        bool may_create = (target.ref.access & KEY_CREATE_SUB_KEY) != 0;
        KeyId found = 0;
        bool created = false;
        rc = target.store->Run(true, [&](Session& session) {
            KeyId base = BaseKey(session, target.ref, true);
            if (auto key = session.Walk(base, path)) {
                found = *key;
                created = false;
                return;
            }
            if (!may_create)
                throw StoreError{ERROR_ACCESS_DENIED};
            // The deepest existing key on the path is where the new keys would go.
            KeyId parent = base;
            for (const auto& part : path) {
                auto child = session.FindChild(parent, part);
                if (!child)
                    break;
                parent = *child;
            }
            DenyLiveWrite(target.ref.hive, session, parent);
            found = session.WalkCreate(base, path, &created);
        });
        if (rc != ERROR_SUCCESS)
            return rc;
        *phkResult = InsertOpened(target, found, access);
        if (lpdwDisposition) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
        return ERROR_SUCCESS;
    });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                         LPBYTE lpData, LPDWORD lpcbData) {
    return Guard([&]() -> LSTATUS {
        if (lpReserved)
            return ERROR_INVALID_PARAMETER;
        if (lpData && !lpcbData)
            return ERROR_INVALID_PARAMETER;
        std::u16string name;
        LONG rc = ValueName(lpValueName, name);
        if (rc != ERROR_SUCCESS)
            return rc;
        std::optional<ValueRecord> value;
        rc = ReadOwnKey(hKey, KEY_QUERY_VALUE,
                        [&](Session& session, KeyId key) { value = session.GetValue(key, name); });
        if (rc != ERROR_SUCCESS)
            return rc;
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        return CopyValueOut(*value, lpType, lpData, lpcbData);
    });
}

LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                     PVOID pvData, LPDWORD pcbData) {
    DWORD given = (pvData && pcbData) ? *pcbData : 0;
    LSTATUS status = Guard([&]() -> LSTATUS {
        if (pvData && !pcbData)
            return ERROR_INVALID_PARAMETER;
        if ((dwFlags & RRF_RT_ANY) == 0)
            return ERROR_INVALID_PARAMETER;
        if ((dwFlags & RRF_RT_ANY) != RRF_RT_ANY && (dwFlags & RRF_RT_REG_EXPAND_SZ) &&
            !(dwFlags & RRF_NOEXPAND)) {
            return ERROR_INVALID_PARAMETER;
        }
        if ((dwFlags & RRF_WOW64_MASK) == RRF_WOW64_MASK)
            return ERROR_INVALID_PARAMETER;
        std::vector<std::u16string> path;
        LONG rc = SplitPath(lpSubKey, path);
        if (rc != ERROR_SUCCESS)
            return rc;
        std::u16string name;
        if ((rc = ValueName(lpValue, name)) != ERROR_SUCCESS)
            return rc;
        // The subkey is opened for reading on its own; the handle's access applies only when
        // the value is read from the handle's key itself.
        Target target;
        if ((rc = Prepare(hkey, path.empty() ? KEY_QUERY_VALUE : 0, target)) != ERROR_SUCCESS)
            return rc;
        RefreshFor(target, path);
        std::optional<ValueRecord> value;
        rc = target.store->Run(false, [&](Session& session) {
            value = session.GetValue(ExistingKeyBelow(session, target, path), name);
        });
        if (rc != ERROR_SUCCESS)
            return rc;
        if (!value)
            return ERROR_FILE_NOT_FOUND;

        if (value->type == REG_EXPAND_SZ && !(dwFlags & RRF_NOEXPAND)) {
            std::u16string text = UnitsOf(value->data);
            if (auto nul = text.find(u'\0'); nul != std::u16string::npos)
                text.resize(nul);
            value->data = BytesOf(ExpandEnvironment(text));
            value->data.push_back(0);
            value->data.push_back(0);
            value->type = REG_SZ;
        }
        DWORD flag = TypeFlag(value->type);
        if (!(dwFlags & flag)) {
            if (pdwType)
                *pdwType = value->type;
            return ERROR_UNSUPPORTED_TYPE;
        }
        DWORD restrict = dwFlags & RRF_RT_ANY;
        if ((value->type == REG_DWORD && value->data.size() != 4) ||
            (value->type == REG_QWORD && value->data.size() != 8) ||
            (value->type == REG_BINARY&& restrict == RRF_RT_DWORD && value->data.size() != 4) ||
            (value->type == REG_BINARY&& restrict == RRF_RT_QWORD && value->data.size() != 8)) {
            return ERROR_DATATYPE_MISMATCH;
        }
        // Strings come back terminated: an odd trailing byte is dropped, and the missing
        // terminator (two for a multi-string) is added and counted in the size.
        if (IsStringType(value->type)) {
            auto& data = value->data;
            if (data.size() % 2)
                data.pop_back();
            auto ends_with_nul = [&data](size_t at_end) {
                return data.size() >= 2 * at_end && data[data.size() - 2 * at_end] == 0 &&
                       data[data.size() - 2 * at_end + 1] == 0;
            };
            if (!ends_with_nul(1)) {
                data.push_back(0);
                data.push_back(0);
            }
            if (value->type == REG_MULTI_SZ && (data.size() < 4 || !ends_with_nul(2))) {
                data.push_back(0);
                data.push_back(0);
            }
        }
        return CopyValueOut(*value, pdwType, static_cast<LPBYTE>(pvData), pcbData);
    });
    if (status != ERROR_SUCCESS && (dwFlags & RRF_ZEROONFAILURE) && pvData && given) {
        std::memset(pvData, 0, given);
    }
    return status;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
    (void)Reserved;
    return Guard([&]() -> LSTATUS {
        if (!lpData && cbData)
            return ERROR_NOACCESS;
        return ChangeOwnValue(hKey, lpValueName, true,
                              [&](Session& session, KeyId key, const std::u16string& name) {
                                  session.SetValue(key, name, dwType, lpData, cbData);
                              });
    });
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return Guard([&]() -> LSTATUS {
        return ChangeOwnValue(hKey, lpValueName, false,
                              [](Session& session, KeyId key, const std::u16string& name) {
                                  if (!session.DeleteValue(key, name))
                                      throw StoreError{ERROR_FILE_NOT_FOUND};
                              });
    });
}

LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved) {
    (void)Reserved;
    return Guard([&]() -> LSTATUS {
        if (!lpSubKey)
            return ERROR_INVALID_PARAMETER;
        if ((samDesired & KEY_WOW64_RES) == KEY_WOW64_RES)
            return ERROR_INVALID_PARAMETER;
        std::vector<std::u16string> path;
        LONG rc = SplitPath(lpSubKey, path);
        if (rc != ERROR_SUCCESS)
            return rc;
        Target target;
        // Deleting the handle's own key needs DELETE on the handle; a subkey is opened for
        // deletion on its own, so the handle's access does not matter.
        if ((rc = Prepare(hKey, path.empty() ? DELETE : 0, target)) != ERROR_SUCCESS)
            return rc;
        return target.store->Run(true, [&](Session& session) {
            KeyId key = ExistingKeyBelow(session, target, path);
            if (key == kvwin::registry::kRootKey || (path.empty() && target.ref.predefined)) {
                throw StoreError{ERROR_ACCESS_DENIED};
            }
            DenyLiveWrite(target.ref.hive, session, key, true);
            if (session.HasChildren(key))
                throw StoreError{ERROR_ACCESS_DENIED};
            session.DeleteKey(key);
        });
    });
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    return RegDeleteKeyExW(hKey, lpSubKey, 0, 0);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return Guard([&]() -> LSTATUS {
        std::vector<std::u16string> path;
        LONG rc = SplitPath(lpSubKey, path);
        if (rc != ERROR_SUCCESS)
            return rc;
        bool keep_self = !lpSubKey || path.empty();
        Target target;
        REGSAM needed = keep_self ? (DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE) : 0;
        if ((rc = Prepare(hKey, needed, target)) != ERROR_SUCCESS)
            return rc;
        return target.store->Run(true, [&](Session& session) {
            KeyId key = ExistingKeyBelow(session, target, path);
            if (!keep_self && key == kvwin::registry::kRootKey)
                throw StoreError{ERROR_ACCESS_DENIED};
            DenyLiveWrite(target.ref.hive, session, key, true);
            session.DeleteTree(key, keep_self);
        });
    });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                      PFILETIME lpftLastWriteTime) {
    return Guard([&]() -> LSTATUS {
        if (lpReserved)
            return ERROR_INVALID_PARAMETER;
        if (!lpName || !lpcchName)
            return ERROR_INVALID_PARAMETER;
        if (lpClass && !lpcchClass)
            return ERROR_INVALID_PARAMETER;
        std::optional<std::u16string> name;
        uint64_t written = 0;
        LONG rc = ReadOwnKey(hKey, KEY_ENUMERATE_SUB_KEYS, [&](Session& session, KeyId key) {
            name = session.ChildNameAt(key, dwIndex, &written);
        });
        if (rc != ERROR_SUCCESS)
            return rc;
        if (!name)
            return ERROR_NO_MORE_ITEMS;
        if ((rc = CopyName(*name, lpName, lpcchName)) != ERROR_SUCCESS)
            return rc;
        if (lpClass) {
            if (*lpcchClass == 0)
                return ERROR_MORE_DATA;
            lpClass[0] = 0;
            *lpcchClass = 0;
        }
        ToFileTimeParts(written, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return Guard([&]() -> LSTATUS {
        if (lpReserved)
            return ERROR_INVALID_PARAMETER;
        if (!lpValueName || !lpcchValueName)
            return ERROR_INVALID_PARAMETER;
        if (lpData && !lpcbData)
            return ERROR_INVALID_PARAMETER;
        std::optional<ValueRecord> value;
        LONG rc = ReadOwnKey(hKey, KEY_QUERY_VALUE, [&](Session& session, KeyId key) {
            value = session.ValueAt(key, dwIndex);
        });
        if (rc != ERROR_SUCCESS)
            return rc;
        if (!value)
            return ERROR_NO_MORE_ITEMS;
        if ((rc = CopyName(value->name, lpValueName, lpcchValueName)) != ERROR_SUCCESS) {
            return rc;
        }
        return CopyValueOut(*value, lpType, lpData, lpcbData);
    });
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                         LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    return Guard([&]() -> LSTATUS {
        if (lpReserved)
            return ERROR_INVALID_PARAMETER;
        if (lpClass && !lpcchClass)
            return ERROR_INVALID_PARAMETER;
        KeyInfo info;
        LONG rc = ReadOwnKey(hKey, KEY_QUERY_VALUE,
                             [&](Session& session, KeyId key) { info = session.Info(key); });
        if (rc != ERROR_SUCCESS)
            return rc;
        // Keys have no class here: the class is always the empty string.
        if (lpClass) {
            if (*lpcchClass == 0)
                return ERROR_MORE_DATA;
            lpClass[0] = 0;
        }
        if (lpcchClass)
            *lpcchClass = 0;
        if (lpcSubKeys)
            *lpcSubKeys = info.subkeys;
        if (lpcbMaxSubKeyLen)
            *lpcbMaxSubKeyLen = info.max_subkey_len;
        if (lpcbMaxClassLen)
            *lpcbMaxClassLen = 0;
        if (lpcValues)
            *lpcValues = info.values;
        if (lpcbMaxValueNameLen)
            *lpcbMaxValueNameLen = info.max_value_name_len;
        if (lpcbMaxValueLen)
            *lpcbMaxValueLen = info.max_value_len;
        if (lpcbSecurityDescriptor)
            *lpcbSecurityDescriptor = 0;
        ToFileTimeParts(info.written, lpftLastWriteTime);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegCloseKey(HKEY hKey) {
    return Guard([&]() -> LSTATUS { return kvwin::registry::CloseKey(hKey); });
}

LSTATUS RegFlushKey(HKEY hKey) {
    return Guard([&]() -> LSTATUS {
        Target target;
        LONG rc = Prepare(hKey, 0, target);
        if (rc != ERROR_SUCCESS)
            return rc;
        return target.store->Flush();
    });
}

}  // extern "C"
