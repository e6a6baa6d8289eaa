// Class registrations in the registry.
#include "class_registry.h"

#include <map>
#include <mutex>
#include <vector>

#include "kvwin/registry_store.h"
#include "win/registry.h"

namespace kvwin::com_detail {

namespace {

// `settled` tells whether the answer is the registry's content (a missing key or value
// included) rather than a failure to read it (a busy store, no memory), which is not kept.
std::optional<std::u16string> ReadFromRegistry(const std::u16string& subkey, bool& settled) {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, &key);
    settled = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    std::optional<std::u16string> result;
    DWORD type = 0, size = 0;
    rc = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
    settled = rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
    if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::vector<BYTE> data(size + sizeof(WCHAR) * 2, 0);
        DWORD got = size;
        rc = RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &got);
        settled = rc == ERROR_SUCCESS;
        if (rc == ERROR_SUCCESS) {
            std::u16string text(reinterpret_cast<const WCHAR*>(data.data()), got / sizeof(WCHAR));
            while (!text.empty() && text.back() == 0)
                text.pop_back();
            result = std::move(text);
        }
    }
    RegCloseKey(key);
    return result;
}

// The answers given while the hive's stamp was `stamp`. Names come from callers (a script
// can ask for any program id), so the number kept is bounded: a full cache starts over.
struct AnswerCache {
    std::mutex mutex;
    uint64_t stamp = 0;
    bool valid = false;
    std::map<std::u16string, std::optional<std::u16string>> answers;
};
constexpr size_t kMaxAnswers = 512;

AnswerCache& Cache() {
    static auto* cache = new AnswerCache();  // used until exit, by any thread
    return *cache;
}

}  // namespace

std::optional<std::u16string> ReadClassesRootDefault(const std::u16string& subkey) {
    uint64_t stamp = 0;
    bool settled = false;
    if (registry::HiveChangeStamp(registry::Hive::Machine, stamp) != ERROR_SUCCESS)
        return ReadFromRegistry(subkey, settled);  // fails alike, or answers without a cache
    AnswerCache& cache = Cache();
    {
        std::lock_guard lock(cache.mutex);
        if (!cache.valid || cache.stamp != stamp) {
            cache.answers.clear();
            cache.stamp = stamp;
            cache.valid = true;
        } else if (auto found = cache.answers.find(subkey); found != cache.answers.end()) {
            return found->second;
        }
    }
    // Read after the stamp: a change committed in between gives a newer stamp to the next
    // call, which then reads again.
    std::optional<std::u16string> answer = ReadFromRegistry(subkey, settled);
    std::lock_guard lock(cache.mutex);
    if (settled && cache.valid && cache.stamp == stamp) {
        if (cache.answers.size() >= kMaxAnswers)
            cache.answers.clear();
        cache.answers.emplace(subkey, answer);
    }
    return answer;
}

}  // namespace kvwin::com_detail
