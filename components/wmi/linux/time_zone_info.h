// The machine's time zone described as Windows describes one: the bias from UTC and the two
// yearly transition dates, from the platform layer's zone database reader.
//
// Safe from any thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kvwin/time_zone.h"

namespace kvlinux {

// A yearly transition in the Windows form: month, week of the month (5 = last), weekday
// (0 = Sunday), time of day. nullopt fields when the rule has no such form.
struct TransitionDate {
    std::uint32_t month = 0, week = 0, weekday = 0, hour = 0, minute = 0, second = 0;
};

struct TimeZoneDescription {
    std::string zone_name;           // "Europe/Paris"
    std::string windows_key;         // "Romance Standard Time", or "" when unknown
    std::string standard_name;       // Windows standard name, else the abbreviation ("CET")
    std::string daylight_name;       // Windows daylight name, else the abbreviation ("CEST")
    std::int32_t bias_minutes = 0;   // standard offset east of UTC: Paris +60, New York -300
    std::int32_t daylight_bias = 0;  // as Windows counts it: -60 for a one-hour shift
    std::optional<TransitionDate> daylight_start;  // in local standard time
    std::optional<TransitionDate> standard_start;  // in local daylight time
    std::int32_t current_offset_minutes = 0;       // east of UTC, now
};

TimeZoneDescription DescribeZone(const kvwin::ZoneInfo& zone, std::int64_t now_unix_seconds);

// What can be seen of a path without opening it: the link itself and the file it leads to
// (device, inode, size, modification and change times; zero for what is missing). Replacing
// the file or the link, writing it, creating or removing it changes the stamp; a rewrite of
// the same size within one tick of the file system's clock may not.
struct FileStamp {
    dev_t dev = 0, link_dev = 0;
    ino_t ino = 0, link_ino = 0;
    off_t size = 0;
    std::int64_t mtime_ns = 0, ctime_ns = 0, link_ctime_ns = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

// A zone loaded from files, loaded again only when a stamp of those files moves. The stamps
// are looked at when `recheck` has passed since they were last looked at: a path's stamp
// costs a walk of the path, as much as the load itself when the caches are cold. Safe from
// any thread.
class ZoneKeeper {
  public:
    ZoneKeeper(std::vector<std::string> paths, std::function<kvwin::ZoneInfo()> load,
               std::chrono::steady_clock::duration recheck)
        : paths_(std::move(paths)), load_(std::move(load)), recheck_(recheck) {}

    std::shared_ptr<const kvwin::ZoneInfo> Get();

  private:
    const std::vector<std::string> paths_;
    const std::function<kvwin::ZoneInfo()> load_;
    const std::chrono::steady_clock::duration recheck_;
    std::mutex mutex_;
    std::vector<FileStamp> stamps_;  // of paths_, when zone_ was loaded
    std::chrono::steady_clock::time_point checked_;
    std::shared_ptr<const kvwin::ZoneInfo> zone_;
};

// The machine's zone (/etc/localtime, /etc/timezone), whatever TZ this process has; loaded
// again when either file has changed, looked at no more than once a second.
std::shared_ptr<const kvwin::ZoneInfo> MachineZone();

}  // namespace kvlinux
