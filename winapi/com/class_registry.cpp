// Class registrations in the registry.
#include "class_registry.h"

#include <vector>

#include "win/registry.h"

namespace kvwin::com_detail {

std::optional<std::u16string> ReadClassesRootDefault(const std::u16string& subkey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::u16string> result;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<BYTE> data(size + sizeof(WCHAR) * 2, 0);
        DWORD got = size;
        if (RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &got) == ERROR_SUCCESS) {
            std::u16string text(reinterpret_cast<const WCHAR*>(data.data()), got / sizeof(WCHAR));
            while (!text.empty() && text.back() == 0)
                text.pop_back();
            result = std::move(text);
        }
    }
    RegCloseKey(key);
    return result;
}

}  // namespace kvwin::com_detail
