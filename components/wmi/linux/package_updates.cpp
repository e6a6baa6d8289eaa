#include "linux/package_updates.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <tuple>
#include <utility>

#include "kvwin/ascii_space.h"
#include "kvwin/os_release.h"
#include "kvwin/safe_open.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

// A log larger than this is not read: rotation keeps them far smaller.
constexpr size_t kMaxLogBytes = size_t{64} << 20;

// "2024-03-05  10:12:33" (apt writes two blanks) into date and time.
bool SplitDateTime(std::string_view text, std::string& date, std::string& time) {
    std::string_view fields[2];
    if (kvwin::SplitAsciiWords(text, fields) < 2 || fields[0].size() != 10 || fields[0][4] != '-')
        return false;
    date.assign(fields[0]);
    time.assign(fields[1]);
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

// Calls visit(line) for each line of text, without a list of them (logs run to megabytes).
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        if (!visit(text.substr(at, end - at)))
            return;
        at = end + 1;
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
    ForEachLine(text, [&](std::string_view line) {
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
        return out.size() < limit;
    });
    return out;
}

namespace {

// Package and version pairs, sorted.
using VersionKeys = std::vector<std::pair<std::string_view, std::string_view>>;

// "2024-03-05 10:12:35 upgrade ...": the action stands at a fixed place, and most lines are
// status and configure lines, so only upgrade lines are split. Its first two letters set
// "upgrade" apart from every other action (unpack among them) without a call.
inline bool IsUpgradeLine(std::string_view line) {
    return line.size() >= 28 && line[20] == 'u' && line[21] == 'p' &&
           line.substr(20, 8) == "upgrade ";
}

// One upgrade line of dpkg's log, added to `out` unless malformed or `known` holds it.
void AddDpkgUpgrade(std::string_view line, std::vector<PackageUpgrade>& out,
                    const VersionKeys& known = {}) {
    std::string_view fields[6];
    if (kvwin::SplitAsciiWords(line, fields) != 6 || fields[0].size() != 10 ||
        fields[0][4] != '-' || fields[5] == fields[4] || fields[4] == "<none>")
        return;
    if (!known.empty() &&
        std::binary_search(known.begin(), known.end(), std::make_pair(fields[3], fields[5])))
        return;
    PackageUpgrade upgrade;
    upgrade.date.assign(fields[0]);
    upgrade.time.assign(fields[1]);
    upgrade.package.assign(fields[3]);
    upgrade.old_version.assign(fields[4]);
    upgrade.version.assign(fields[5]);
    out.push_back(std::move(upgrade));
}

// The lines of a file read in chunks (dpkg's log runs to megabytes): a line longer than a
// chunk is skipped. At most kMaxLogBytes are read.
template <typename Visit>
void ForEachFileLine(const std::string& path, Visit visit) {
    const kvwin::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    constexpr size_t kChunk = size_t{1} << 16;
    const std::unique_ptr<char[]> buffer(new char[kChunk]);  // filled by read, not cleared first
    size_t kept = 0, total = 0;
    while (total < kMaxLogBytes) {
        const ssize_t n = ::read(fd.get(), buffer.get() + kept, kChunk - kept);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += size_t(n);
        const std::string_view chunk(buffer.get(), kept + size_t(n));
        const size_t last = chunk.rfind('\n');
        if (last == std::string_view::npos) {
            kept = chunk.size() == kChunk ? 0 : chunk.size();  // too long a line: dropped
            continue;
        }
        ForEachLine(chunk.substr(0, last), [&](std::string_view line) {
            visit(line);
            return true;
        });
        kept = chunk.size() - last - 1;
        std::memmove(buffer.get(), buffer.get() + last + 1, kept);
    }
    if (kept > 0)
        visit(std::string_view(buffer.get(), kept));
}

}  // namespace

std::vector<PackageUpgrade> ParseDpkgLog(std::string_view text, size_t limit) {
    std::vector<PackageUpgrade> out;
    ForEachLine(text, [&](std::string_view line) {
        if (IsUpgradeLine(line))
            AddDpkgUpgrade(line, out);
        return out.size() < limit;
    });
    return out;
}

std::vector<PackageUpgrade> ReadPackageUpgrades(const std::string& root) {
    std::vector<PackageUpgrade> all;
    auto add = [&](std::vector<PackageUpgrade> found) {
        if (all.empty())
            all = std::move(found);
        else
            all.insert(all.end(), std::make_move_iterator(found.begin()),
                       std::make_move_iterator(found.end()));
    };
    const std::string apt = UnderRoot(root, "/var/log/apt");
    for (const std::string& path : LogFiles(apt, "history.log")) {
        if (auto text = kvwin::ReadSmallFile(path, kMaxLogBytes))
            add(ParseAptHistory(*text));
    }
    // dpkg's log records apt's upgrades again: their lines are passed over without making
    // an entry.
    VersionKeys known;
    known.reserve(all.size());
    for (const PackageUpgrade& upgrade : all)
        known.emplace_back(upgrade.package, upgrade.version);
    std::sort(known.begin(), known.end());
    std::vector<PackageUpgrade> logged;
    const std::string log = UnderRoot(root, "/var/log");
    for (const std::string& path : LogFiles(log, "dpkg.log")) {
        const size_t before = logged.size();
        ForEachFileLine(path, [&](std::string_view line) {
            if (IsUpgradeLine(line) && logged.size() - before < 100000)
                AddDpkgUpgrade(line, logged, known);
        });
    }
    known.clear();  // its views are into `all`, which changes next
    add(std::move(logged));
    // One entry per package and new version, the first met kept (apt's history before dpkg's
    // log): the entries' places sorted by package, version and place, so the first of each
    // run is the one kept. No key is copied.
    std::vector<size_t> order(all.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&all](size_t a, size_t b) {
        return std::tie(all[a].package, all[a].version, a) <
               std::tie(all[b].package, all[b].version, b);
    });
    std::vector<bool> kept(all.size(), false);
    for (size_t i = 0; i < order.size(); ++i) {
        const PackageUpgrade& entry = all[order[i]];
        const PackageUpgrade* before = i > 0 ? &all[order[i - 1]] : nullptr;
        kept[order[i]] =
            !before || before->package != entry.package || before->version != entry.version;
    }
    // Oldest first; the logs are mostly in order already, and only places move while sorting.
    order.clear();
    for (size_t i = 0; i < all.size(); ++i) {
        if (kept[i])
            order.push_back(i);
    }
    const auto earlier = [&all](size_t a, size_t b) {
        return std::tie(all[a].date, all[a].time) < std::tie(all[b].date, all[b].time);
    };
    if (!std::is_sorted(order.begin(), order.end(), earlier))
        std::stable_sort(order.begin(), order.end(), earlier);
    std::vector<PackageUpgrade> upgrades;
    upgrades.reserve(order.size());
    for (size_t i : order)
        upgrades.push_back(std::move(all[i]));
    return upgrades;
}

}  // namespace kvlinux
