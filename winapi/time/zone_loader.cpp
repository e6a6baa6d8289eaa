// Which zone the process is in: TZ, /etc/localtime, or UTC; and the cache of loaded zones.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <mutex>
#include <string_view>

#include "kvwin/environment_lock.h"
#include "kvwin/time_zone.h"

namespace kvwin {

namespace {

constexpr size_t kMaxZoneFileSize = 1 << 20;
constexpr size_t kMaxCachedZones = 32;

bool ReadSmallFile(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bytes.clear();
    char chunk[8192];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<size_t>(n));
        if (bytes.size() > kMaxZoneFileSize) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

std::optional<ZoneInfo> LoadZoneFile(const std::string& path, std::string name) {
    std::string bytes;
    if (!ReadSmallFile(path, bytes))
        return std::nullopt;
    return ParseTzif(bytes, std::move(name));
}

std::string ZoneDirectory() {
    std::optional<std::string> dir = GetEnvUtf8("TZDIR");
    return dir && !dir->empty() ? *dir : std::string("/usr/share/zoneinfo");
}

// A zone name may not climb out of the zone directory.
bool IsSafeZoneName(const std::string& name) {
    if (name.empty() || name[0] == '/')
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t slash = name.find('/', start);
        const std::string part =
            name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part == ".." || part.empty())
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return true;
}

// The zone name /etc/localtime stands for: its link target below "zoneinfo/", else the
// name in /etc/timezone, else "localtime".
std::string LocalTimeName() {
    char target[PATH_MAX];
    const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) {
        const std::string link(target, static_cast<size_t>(n));
        const size_t at = link.find("zoneinfo/");
        if (at != std::string::npos)
            return link.substr(at + 9);
    }
    std::string text;
    if (ReadSmallFile("/etc/timezone", text)) {
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        if (!text.empty() && text.find('\n') == std::string::npos)
            return text;
    }
    return "localtime";
}

}  // namespace

ZoneInfo LoadZone(const std::optional<std::string>& tz) {
    if (!tz) {
        if (auto zone = LoadZoneFile("/etc/localtime", LocalTimeName()))
            return *zone;
        return UtcZone();
    }
    std::string value = *tz;
    if (!value.empty() && value[0] == ':')
        value.erase(0, 1);
    if (value.empty())
        return UtcZone();
    if (value[0] == '/') {
        if (auto zone = LoadZoneFile(value, value))
            return *zone;
        return UtcZone();
    }
    if (IsSafeZoneName(value)) {
        if (auto zone = LoadZoneFile(ZoneDirectory() + "/" + value, value))
            return *zone;
    }
    if (auto rule = ParsePosixZone(value)) {
        ZoneInfo zone;
        zone.name = value;
        zone.types.push_back(LocalTimeType{rule->std_offset, false, rule->std_name});
        zone.rule = std::move(rule);
        return zone;
    }
    return UtcZone();
}

namespace {

// Thread safety: everything here is guarded by ZoneCacheLock(); zones are immutable once
// cached. Made once and never destroyed, so a call during exit finds them.
std::mutex& ZoneCacheLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

struct ZoneCache {
    std::map<std::string, std::shared_ptr<const ZoneInfo>> byValue;
    // The zone asked for last, with the TZ value it stands for.
    std::string lastKey;
    std::shared_ptr<const ZoneInfo> last;
    // An offset of the zone a TZ value names, and the span of instants it holds for.
    std::optional<std::string> offsetTz;
    int64_t offsetFrom = 1;
    int64_t offsetUntil = 0;
    int32_t offset = 0;
};

ZoneCache& Cache() {
    static ZoneCache* cache = new ZoneCache;
    return *cache;
}

}  // namespace

std::shared_ptr<const ZoneInfo> CurrentZone() {
    const std::optional<std::string> tz = GetEnvUtf8("TZ");
    const std::string_view unset = "<unset>";
    {
        std::lock_guard guard(ZoneCacheLock());
        ZoneCache& cache = Cache();
        // Most calls ask for the zone asked for last: no key to build.
        if (cache.last && (tz ? cache.lastKey.size() == tz->size() + 1 && cache.lastKey[0] == '=' &&
                                    std::string_view(cache.lastKey).substr(1) == *tz
                              : cache.lastKey == unset))
            return cache.last;
    }
    const std::string key = tz ? "=" + *tz : std::string(unset);
    std::shared_ptr<const ZoneInfo> zone;
    {
        std::lock_guard guard(ZoneCacheLock());
        const auto found = Cache().byValue.find(key);
        if (found != Cache().byValue.end())
            zone = found->second;
    }
    if (!zone)
        zone = std::make_shared<const ZoneInfo>(LoadZone(tz));
    std::lock_guard guard(ZoneCacheLock());
    ZoneCache& cache = Cache();
    if (!cache.byValue.count(key)) {
        if (cache.byValue.size() >= kMaxCachedZones)
            cache.byValue.clear();
        cache.byValue.emplace(key, zone);
    }
    cache.lastKey = key;
    cache.last = zone;
    return zone;
}

int32_t CurrentZoneOffsetAt(int64_t unix_seconds) {
    // Keyed by the TZ value, which names one zone: one environment read and one lock while
    // the kept offset holds.
    std::optional<std::string> tz = GetEnvUtf8("TZ");
    {
        std::lock_guard guard(ZoneCacheLock());
        const ZoneCache& cache = Cache();
        if (cache.offsetTz == tz && unix_seconds >= cache.offsetFrom &&
            unix_seconds < cache.offsetUntil)
            return cache.offset;
    }
    const std::shared_ptr<const ZoneInfo> zone = CurrentZone();
    const int32_t offset = zone->At(unix_seconds).offset;
    const int64_t until = zone->NextChangeAfter(unix_seconds);
    std::lock_guard guard(ZoneCacheLock());
    ZoneCache& cache = Cache();
    cache.offsetTz = std::move(tz);
    cache.offsetFrom = unix_seconds;
    cache.offsetUntil = until;
    cache.offset = offset;
    return offset;
}

}  // namespace kvwin
