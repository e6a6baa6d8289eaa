#include "linux/package_updates.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

#include "kvwin/os_release.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

// A log larger than this is not read: rotation keeps them far smaller.
constexpr size_t kMaxLogBytes = size_t{64} << 20;

// "2024-03-05  10:12:33" (apt writes two blanks) into date and time.
bool SplitDateTime(std::string_view text, std::string& date, std::string& time) {
    const std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() < 2 || fields[0].size() != 10 || fields[0][4] != '-')
        return false;
    date = std::string(fields[0]);
    time = std::string(fields[1]);
    return true;
}

// One "Upgrade:" line's entries: "name:arch (old, new), name2:arch (old, new)".
void AddUpgrades(std::string_view list, const PackageUpgrade& block, size_t limit,
                 std::vector<PackageUpgrade>& out) {
    while (!list.empty() && out.size() < limit) {
        const size_t open = list.find(" (");
        if (open == std::string_view::npos)
            return;
        const size_t close = list.find(')', open);
        if (close == std::string_view::npos)
            return;
        const std::string_view name = Trim(list.substr(0, open));
        const std::string_view versions = list.substr(open + 2, close - open - 2);
        list.remove_prefix(close + 1);
        if (!list.empty() && list.front() == ',')
            list.remove_prefix(1);
        const size_t comma = versions.find(',');
        if (name.empty() || comma == std::string_view::npos)
            continue;
        PackageUpgrade upgrade = block;
        upgrade.package = std::string(name);
        upgrade.old_version = std::string(Trim(versions.substr(0, comma)));
        // A third part (", automatic") does not occur for upgrades; cut it if it does.
        std::string_view version = versions.substr(comma + 1);
        version = Trim(version.substr(0, version.find(',')));
        upgrade.version = std::string(version);
        if (!upgrade.version.empty() && upgrade.version != upgrade.old_version)
            out.push_back(std::move(upgrade));
    }
}

// The files of one log, oldest first: "name.N" by falling N, then "name". Compressed
// copies are skipped (no decompressor is linked for them).
std::vector<std::string> LogFiles(const std::string& folder, const std::string& name) {
    std::vector<std::pair<std::uint64_t, std::string>> rotated;
    for (const std::string& file : ListFolder(folder)) {
        if (file == name) {
            rotated.emplace_back(0, file);
        } else if (StartsWith(file, name + ".")) {
            if (auto n = ParseUnsigned(std::string_view(file).substr(name.size() + 1)))
                rotated.emplace_back(*n, file);
        }
    }
    std::sort(rotated.begin(), rotated.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> paths;
    for (const auto& [n, file] : rotated)
        paths.push_back(folder + "/" + file);
    return paths;
}

}  // namespace

std::vector<PackageUpgrade> ParseAptHistory(std::string_view text, size_t limit) {
    std::vector<PackageUpgrade> out;
    PackageUpgrade block;
    for (std::string_view line : SplitLines(text)) {
        if (out.size() >= limit)
            break;
        line = Trim(line);
        if (line.empty()) {
            block = PackageUpgrade{};  // a blank line ends the entry
        } else if (StartsWith(line, "Start-Date:")) {
            block = PackageUpgrade{};
            SplitDateTime(line.substr(11), block.date, block.time);
        } else if (StartsWith(line, "Commandline:")) {
            block.unattended = line.find("unattended-upgrade") != std::string_view::npos;
        } else if (StartsWith(line, "Requested-By:")) {
            const std::string_view who = Trim(line.substr(13));
            block.requested_by = std::string(Trim(who.substr(0, who.find(" ("))));
        } else if (StartsWith(line, "Upgrade:") && !block.date.empty()) {
            AddUpgrades(line.substr(8), block, limit, out);
        }
    }
    return out;
}

std::vector<PackageUpgrade> ParseDpkgLog(std::string_view text, size_t limit) {
    std::vector<PackageUpgrade> out;
    for (std::string_view line : SplitLines(text)) {
        if (out.size() >= limit)
            break;
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() != 6 || fields[2] != "upgrade")
            continue;
        PackageUpgrade upgrade;
        if (!SplitDateTime(line, upgrade.date, upgrade.time))
            continue;
        upgrade.package = std::string(fields[3]);
        upgrade.old_version = std::string(fields[4]);
        upgrade.version = std::string(fields[5]);
        if (upgrade.version != upgrade.old_version && upgrade.old_version != "<none>")
            out.push_back(std::move(upgrade));
    }
    return out;
}

std::vector<PackageUpgrade> ReadPackageUpgrades(const std::string& root) {
    std::vector<PackageUpgrade> all;
    std::set<std::pair<std::string, std::string>> seen;
    auto add = [&](std::vector<PackageUpgrade> found) {
        for (PackageUpgrade& upgrade : found) {
            if (seen.emplace(upgrade.package, upgrade.version).second)
                all.push_back(std::move(upgrade));
        }
    };
    const std::string apt = UnderRoot(root, "/var/log/apt");
    for (const std::string& path : LogFiles(apt, "history.log")) {
        if (auto text = kvwin::ReadSmallFile(path, kMaxLogBytes))
            add(ParseAptHistory(*text));
    }
    const std::string log = UnderRoot(root, "/var/log");
    for (const std::string& path : LogFiles(log, "dpkg.log")) {
        if (auto text = kvwin::ReadSmallFile(path, kMaxLogBytes))
            add(ParseDpkgLog(*text));
    }
    std::stable_sort(all.begin(), all.end(), [](const PackageUpgrade& a, const PackageUpgrade& b) {
        return std::tie(a.date, a.time) < std::tie(b.date, b.time);
    });
    return all;
}

}  // namespace kvlinux
