#include "linux/time_zone_info.h"

#include <sys/stat.h>

#include "kvwin/utf.h"

namespace kvlinux {

namespace {

std::optional<TransitionDate> WindowsForm(const kvwin::PosixDateRule& rule) {
    // Windows can only say "the n-th weekday of a month"; Julian-day rules have no equal.
    if (rule.form != kvwin::PosixDateRule::Form::MonthWeekDay || rule.time < 0 ||
        rule.time >= 24 * 3600)
        return std::nullopt;
    TransitionDate date;
    date.month = static_cast<std::uint32_t>(rule.month);
    date.week = static_cast<std::uint32_t>(rule.week);
    date.weekday = static_cast<std::uint32_t>(rule.weekday);
    date.hour = static_cast<std::uint32_t>(rule.time / 3600);
    date.minute = static_cast<std::uint32_t>(rule.time / 60 % 60);
    date.second = static_cast<std::uint32_t>(rule.time % 60);
    return date;
}

}  // namespace

TimeZoneDescription DescribeZone(const kvwin::ZoneInfo& zone, std::int64_t now_unix_seconds) {
    TimeZoneDescription d;
    d.zone_name = zone.name;
    kvwin::PosixZone rule = zone.PresentRule(now_unix_seconds);
    kvwin::WindowsZoneNames names = kvwin::WindowsNamesFor(zone.name);
    d.windows_key = kvwin::ToUtf8(names.key);
    d.standard_name = names.standard.empty() ? rule.std_name : kvwin::ToUtf8(names.standard);
    d.daylight_name = names.daylight.empty() ? (rule.has_dst ? rule.dst_name : rule.std_name)
                                             : kvwin::ToUtf8(names.daylight);
    d.bias_minutes = rule.std_offset / 60;
    if (rule.has_dst) {
        d.daylight_bias = -(rule.dst_offset - rule.std_offset) / 60;
        d.daylight_start = WindowsForm(rule.start);
        d.standard_start = WindowsForm(rule.end);
    }
    d.current_offset_minutes = zone.At(now_unix_seconds).offset / 60;
    return d;
}

namespace {

std::int64_t Nanoseconds(const timespec& t) {
    return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

}  // namespace

FileStamp StampOf(const std::string& path) {
    FileStamp stamp;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return stamp;
    stamp.link_dev = st.st_dev;
    stamp.link_ino = st.st_ino;
    stamp.link_ctime_ns = Nanoseconds(st.st_ctim);
    if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0)
        return stamp;
    stamp.dev = st.st_dev;
    stamp.ino = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtime_ns = Nanoseconds(st.st_mtim);
    stamp.ctime_ns = Nanoseconds(st.st_ctim);
    return stamp;
}

std::shared_ptr<const kvwin::ZoneInfo> ZoneKeeper::Get() {
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard guard(mutex_);
        if (zone_ && now - checked_ < recheck_)
            return zone_;
    }
    std::vector<FileStamp> stamps;
    stamps.reserve(paths_.size());
    for (const std::string& path : paths_)
        stamps.push_back(StampOf(path));
    {
        std::lock_guard guard(mutex_);
        if (zone_ && stamps == stamps_) {
            checked_ = now;
            return zone_;
        }
    }
    // Loaded outside the lock; the stamps were taken before, so a change during the load is
    // seen at the next look.
    auto zone = std::make_shared<const kvwin::ZoneInfo>(load_());
    std::lock_guard guard(mutex_);
    zone_ = zone;
    stamps_ = std::move(stamps);
    checked_ = now;
    return zone;
}

std::shared_ptr<const kvwin::ZoneInfo> MachineZone() {
    // Destroyed with the module, which can be unloaded and loaded again (a keeper left
    // behind would be lost memory each time); no fill runs by then.
    static ZoneKeeper keeper(
        {"/etc/localtime", "/etc/timezone"}, [] { return kvwin::LoadZone(std::nullopt); },
        std::chrono::seconds(1));
    return keeper.Get();
}

}  // namespace kvlinux
