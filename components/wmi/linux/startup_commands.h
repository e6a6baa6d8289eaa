// Commands the machine runs by itself at boot or at log-on:
//   /etc/xdg/autostart/*.desktop         every user's graphical log-on
//   <home>/.config/autostart/*.desktop    one user's graphical log-on
//   @reboot lines of /etc/crontab, /etc/cron.d/* and /var/spool/cron/crontabs/<user>
//   /etc/rc.local                         at boot, when present and executable
//
// Pure parsing plus file reads under a root; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/accounts.h"

namespace kvlinux {

struct DesktopEntry {
    std::string name;
    std::string exec;
    std::string comment;
    bool hidden = false;  // Hidden=true: the entry is deleted for this user
    bool enabled = true;  // X-GNOME-Autostart-enabled=false turns it off
};
// Reads the [Desktop Entry] group of a .desktop file (unlocalised keys only).
DesktopEntry ParseDesktopEntry(std::string_view content);

struct CronRebootLine {
    std::optional<std::string> user;  // the user column of system crontabs
    std::string command;
};
// The @reboot lines of a crontab. System crontabs (/etc/crontab, /etc/cron.d) carry a user
// column after the schedule; user crontabs do not.
std::vector<CronRebootLine> ParseCronReboot(std::string_view content, bool has_user_column);

struct StartupEntry {
    std::string name;  // the entry's name ("Print Queue Applet", the script's file name)
    std::string command;
    std::string location;  // the file or folder it comes from
    std::string user;      // "All Users" for machine-wide entries, else the user name
    std::optional<std::uint32_t> uid;
};

// Every startup command under `root`, for the given users (their home folders are read for
// per-user autostart entries; user crontabs are matched by file name).
std::vector<StartupEntry> ReadStartupCommands(const std::string& root,
                                              const std::vector<UserEntry>& users);

}  // namespace kvlinux
