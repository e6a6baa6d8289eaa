#include "linux/startup_commands.h"

#include <sys/stat.h>

#include "linux/text_util.h"

namespace kvlinux {

DesktopEntry ParseDesktopEntry(std::string_view content) {
    DesktopEntry entry;
    bool in_group = false;
    for (std::string_view line : SplitLines(content)) {
        line = Trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            in_group = line == "[Desktop Entry]";
            continue;
        }
        size_t equals = line.find('=');
        if (!in_group || equals == std::string_view::npos)
            continue;
        std::string_view key = Trim(line.substr(0, equals));
        std::string value(Trim(line.substr(equals + 1)));
        if (key == "Name")
            entry.name = value;
        else if (key == "Exec")
            entry.exec = value;
        else if (key == "Comment")
            entry.comment = value;
        else if (key == "Hidden")
            entry.hidden = value == "true";
        else if (key == "X-GNOME-Autostart-enabled")
            entry.enabled = value != "false";
    }
    return entry;
}

std::vector<CronRebootLine> ParseCronReboot(std::string_view content, bool has_user_column) {
    std::vector<CronRebootLine> out;
    for (std::string_view line : SplitLines(content)) {
        line = Trim(line);
        if (!StartsWith(line, "@reboot") || line.size() == 7 || (line[7] != ' ' && line[7] != '\t'))
            continue;
        std::string_view rest = Trim(line.substr(7));
        CronRebootLine entry;
        if (has_user_column) {
            size_t space = rest.find_first_of(" \t");
            if (space == std::string_view::npos)
                continue;
            entry.user = std::string(rest.substr(0, space));
            rest = Trim(rest.substr(space));
        }
        if (rest.empty())
            continue;
        entry.command = rest;
        out.push_back(std::move(entry));
    }
    return out;
}

namespace {

constexpr const char* kAllUsers = "All Users";

void AddDesktopFolder(const std::string& dir, const std::string& user,
                      std::optional<std::uint32_t> uid, std::vector<StartupEntry>& out) {
    for (const std::string& name : ListFolder(dir)) {
        if (!EndsWith(name, ".desktop"))
            continue;
        auto text = ReadFileText(dir + "/" + name);
        if (!text)
            continue;
        DesktopEntry entry = ParseDesktopEntry(*text);
        if (entry.hidden || !entry.enabled || entry.exec.empty())
            continue;
        std::string shown = entry.name.empty() ? name.substr(0, name.size() - 8) : entry.name;
        out.push_back({shown, entry.exec, dir + "/" + name, user, uid});
    }
}

}  // namespace

std::vector<StartupEntry> ReadStartupCommands(const std::string& root,
                                              const std::vector<UserEntry>& users) {
    std::vector<StartupEntry> out;
    AddDesktopFolder(UnderRoot(root, "/etc/xdg/autostart"), kAllUsers, std::nullopt, out);
    for (const UserEntry& user : users) {
        if (user.home.empty() || user.home == "/")
            continue;
        AddDesktopFolder(UnderRoot(root, user.home) + "/.config/autostart", user.name, user.uid,
                         out);
    }
    auto uid_of = [&](const std::string& name) -> std::optional<std::uint32_t> {
        for (const UserEntry& user : users) {
            if (user.name == name)
                return user.uid;
        }
        return std::nullopt;
    };
    auto add_cron = [&](const std::string& path, bool system, const std::string& owner) {
        auto text = ReadFileText(path);
        if (!text)
            return;
        for (CronRebootLine& line : ParseCronReboot(*text, system)) {
            std::string user = line.user.value_or(owner);
            std::string name = line.command.substr(0, line.command.find_first_of(" \t"));
            name = name.substr(name.rfind('/') + 1);
            out.push_back({name, line.command, path, user, uid_of(user)});
        }
    };
    add_cron(UnderRoot(root, "/etc/crontab"), true, "");
    const std::string cron_d = UnderRoot(root, "/etc/cron.d");
    for (const std::string& name : ListFolder(cron_d))
        add_cron(cron_d + "/" + name, true, "");
    const std::string spool = UnderRoot(root, "/var/spool/cron/crontabs");
    for (const std::string& name : ListFolder(spool))
        add_cron(spool + "/" + name, false, name);
    const std::string rc_local = UnderRoot(root, "/etc/rc.local");
    struct stat st;
    // systemd's rc-local generator runs the file only when it is executable; so do we count it.
    if (::stat(rc_local.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR))
        out.push_back({"rc.local", "/etc/rc.local", rc_local, "root", 0u});
    return out;
}

}  // namespace kvlinux
