#include "linux/scheduled_jobs.h"

#include <algorithm>
#include <map>
#include <set>

#include "linux/text_util.h"

namespace kvlinux {

namespace {

// A user's crontab or a file of /etc/cron.d whose name cron itself would ignore (editor
// back-ups, package manager leftovers, names with dots).
bool CronIgnoresFile(const std::string& name) {
    if (name.empty() || name[0] == '.' || EndsWith(name, "~"))
        return true;
    return name.find('.') != std::string::npos;
}

// "MAILTO=root", "PATH = /usr/bin": a name without blanks before the first '='.
bool IsVariableSetting(std::string_view line) {
    const size_t equals = line.find('=');
    return equals != std::string_view::npos &&
           Trim(line.substr(0, equals)).find_first_of(" \t") == std::string_view::npos;
}

// Skips `count` fields of `line` and returns where the next begins.
size_t SkipFields(std::string_view line, size_t count) {
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string_view::npos)
            return std::string_view::npos;
        pos = line.find_first_of(" \t", pos);
        if (pos == std::string_view::npos)
            return std::string_view::npos;
    }
    return line.find_first_not_of(" \t", pos);
}

}  // namespace

std::vector<CronJob> ParseCrontab(std::string_view content, bool system_table,
                                  const std::string& file, const std::string& owner) {
    std::vector<CronJob> jobs;
    const std::string base = file.substr(file.rfind('/') + 1);
    size_t number = 0;
    for (std::string_view raw : SplitLines(content)) {
        ++number;
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const bool special = line[0] == '@';
        if (!special && IsVariableSetting(line))
            continue;
        const size_t schedule_fields = special ? 1 : 5;
        const size_t after_schedule = SkipFields(line, schedule_fields);
        if (after_schedule == std::string_view::npos)
            continue;
        CronJob job;
        job.file = file;
        job.name = base + ":" + std::to_string(number);
        job.schedule = std::string(Trim(line.substr(0, after_schedule)));
        std::string_view rest = line.substr(after_schedule);
        if (system_table) {
            const size_t command = SkipFields(rest, 1);
            if (command == std::string_view::npos)
                continue;
            job.user = std::string(Trim(rest.substr(0, command)));
            rest = rest.substr(command);
        } else {
            job.user = owner;
        }
        job.command = std::string(Trim(rest));
        if (job.command.empty())
            continue;
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::vector<CronJob> ReadCronJobs(const std::string& root) {
    std::vector<CronJob> jobs;
    auto add = [&](const std::string& path, bool system_table, const std::string& owner) {
        auto text = ReadFileText(UnderRoot(root, path));
        if (!text)
            return;
        auto parsed = ParseCrontab(*text, system_table, path, owner);
        jobs.insert(jobs.end(), parsed.begin(), parsed.end());
    };
    add("/etc/crontab", true, "");
    for (const std::string& name : ListFolder(UnderRoot(root, "/etc/cron.d"))) {
        if (!CronIgnoresFile(name))
            add("/etc/cron.d/" + name, true, "");
    }
    for (const std::string& user : ListFolder(UnderRoot(root, "/var/spool/cron/crontabs"))) {
        if (!CronIgnoresFile(user))
            add("/var/spool/cron/crontabs/" + user, false, user);
    }
    for (const char* period : {"hourly", "daily", "weekly", "monthly"}) {
        const std::string dir = std::string("/etc/cron.") + period;
        for (const std::string& name : ListFolder(UnderRoot(root, dir))) {
            // run-parts runs names of letters, digits, '_' and '-' only.
            if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789_-") != std::string::npos)
                continue;
            CronJob job;
            job.file = dir + "/" + name;
            job.name = std::string("cron.") + period + ":" + name;
            job.schedule = std::string("@") + period;
            job.user = "root";
            job.command = job.file;
            jobs.push_back(std::move(job));
        }
    }
    return jobs;
}

std::vector<TimerUnit> ReadTimerUnits(const UnitLocations& where) {
    std::map<std::string, std::string> files;  // unit -> file, the first folder wins
    for (const std::string& dir : where.unit_dirs) {
        for (const std::string& name : ListFolder(dir)) {
            if (!EndsWith(name, ".timer") || name.find('@') != std::string::npos ||
                files.count(name))
                continue;
            files.emplace(name, dir + "/" + name);
        }
    }
    std::set<std::string> enabled;
    for (const std::string& dir : ListFolder(where.config_dir)) {
        if (EndsWith(dir, ".wants") || EndsWith(dir, ".requires")) {
            for (std::string& name : ListFolder(where.config_dir + "/" + dir))
                enabled.insert(std::move(name));
        }
    }
    std::vector<TimerUnit> timers;
    for (const auto& [name, path] : files) {
        if (auto target = ReadLink(path); target && *target == "/dev/null")
            continue;  // masked
        auto text = ReadFileText(path);
        if (!text)
            continue;
        const UnitFile unit = ParseUnitFile(*text);
        TimerUnit timer;
        timer.unit = name;
        timer.path = path;
        if (auto s = unit.find("Unit"); s != unit.end()) {
            if (auto d = s->second.find("Description"); d != s->second.end() && !d->second.empty())
                timer.description = d->second.back();
        }
        timer.activates = name.substr(0, name.size() - 6) + ".service";
        if (auto s = unit.find("Timer"); s != unit.end()) {
            for (const auto& [key, values] : s->second) {
                if (key == "Unit") {
                    if (!values.empty())
                        timer.activates = values.back();
                } else if (StartsWith(key, "On")) {
                    for (const std::string& value : values) {
                        if (!value.empty())
                            timer.schedules.push_back(key + "=" + value);
                    }
                }
            }
        }
        timer.enabled = enabled.count(name) > 0;
        timers.push_back(std::move(timer));
    }
    return timers;
}

}  // namespace kvlinux
