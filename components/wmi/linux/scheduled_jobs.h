// The machine's scheduled jobs: cron tables (/etc/crontab, /etc/cron.d, the users' tables
// under /var/spool/cron/crontabs), the run-parts folders (/etc/cron.hourly, .daily,
// .weekly, .monthly) and systemd timer units.
//
// Pure parsing plus file reads under a root folder; safe from any thread. Users' tables
// are readable by root only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "linux/systemd_units.h"

namespace kvlinux {

struct CronJob {
    std::string file;      // the table it is read from ("/etc/cron.d/e2scrub_all")
    std::string name;      // the table's file name, with the line number: "e2scrub_all:2"
    std::string schedule;  // "30 3 * * 0", "@reboot"
    std::string user;
    std::string command;
};

// The jobs of one table. `system_table` tables (/etc/crontab, /etc/cron.d) have a user
// field after the schedule; a user's own table runs as `owner`. Variable settings
// ("MAILTO=root"), comments and malformed lines are skipped.
std::vector<CronJob> ParseCrontab(std::string_view content, bool system_table,
                                  const std::string& file, const std::string& owner);

// Every table's jobs, then one job per script of the run-parts folders (schedule
// "@hourly", "@daily", ...; user root). In file order.
std::vector<CronJob> ReadCronJobs(const std::string& root = "/");

struct TimerUnit {
    std::string unit;  // "apt-daily.timer"
    std::string path;  // the unit file read
    std::string description;
    std::vector<std::string> schedules;  // "OnCalendar=daily", "OnBootSec=15min", ...
    std::string activates;               // Unit=, else the service of the same name
    bool enabled = false;                // linked from a *.wants folder of the configuration
};

// The timer units of the unit folders (the first folder naming a unit wins; masked and
// template units are left out), in name order.
std::vector<TimerUnit> ReadTimerUnits(const UnitLocations& where);

}  // namespace kvlinux
