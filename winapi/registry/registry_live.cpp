// Live keys: the provider table, the stamp check and the copy into the store.
#include "kvwin/registry_live.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <iterator>
#include <map>

#include "kvwin/environment_lock.h"
#include "kvwin/utf.h"

namespace kvwin::registry {

namespace {

struct LiveKey {
    std::vector<std::u16string> path;  // below the machine root
    // Changes whenever the content would; must be cheap (a stat, not a parse).
    std::function<std::string()> stamp;
    std::function<std::vector<LiveSubkey>()> content;
};

std::string DpkgAdminDir() {
    if (auto dir = GetEnvUtf8("KAVREL_DPKG_ADMIN_DIR"); dir && !dir->empty())
        return *dir;
    return "/var/lib/dpkg";
}

std::string DpkgStamp() {
    const std::string dir = DpkgAdminDir();
    struct stat st;
    if (::stat((dir + "/status").c_str(), &st) != 0)
        return dir + "|none";
    // dpkg replaces the file on every change, so the inode changes along with the time.
    return dir + "|" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
           std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec);
}

std::string RpmDatabasePath() {
    if (auto path = GetEnvUtf8("KAVREL_RPM_DATABASE"); path && !path->empty())
        return *path;
    return "/var/lib/rpm/rpmdb.sqlite";
}

// The database file and its write-ahead log: rpm changes one or both on every transaction.
std::string RpmStamp() {
    const std::string path = RpmDatabasePath();
    std::string stamp = path;
    for (const std::string& file : {path, path + "-wal"}) {
        struct stat st;
        if (::stat(file.c_str(), &st) != 0) {
            stamp += "|none";
            continue;
        }
        stamp += "|" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" +
                 std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                 std::to_string(st.st_mtim.tv_nsec);
    }
    return stamp;
}

std::vector<LiveSubkey> PackageContent() {
    const std::string dir = DpkgAdminDir();
    std::vector<LiveSubkey> entries = UninstallEntries(ReadDpkgStatus(dir), dir);
    std::vector<LiveSubkey> rpm = RpmUninstallEntries(ReadRpmDatabase(RpmDatabasePath()));
    entries.insert(entries.end(), std::make_move_iterator(rpm.begin()),
                   std::make_move_iterator(rpm.end()));
    return entries;
}

const std::vector<LiveKey>& LiveKeys() {
    static const auto* keys = new std::vector<LiveKey>{
        {{u"SOFTWARE", u"Microsoft", u"Windows", u"CurrentVersion", u"Uninstall"},
         [] { return DpkgStamp() + "|" + RpmStamp(); },
         PackageContent},
    };
    return *keys;
}

ValueRecord Text(std::u16string name, const std::string& utf8) {
    ValueRecord value{std::move(name), REG_SZ, {}};
    for (char16_t c : FromUtf8(utf8)) {
        value.data.push_back(static_cast<BYTE>(c & 0xff));
        value.data.push_back(static_cast<BYTE>(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
}

ValueRecord Dword(std::u16string name, DWORD number) {
    ValueRecord value{std::move(name), REG_DWORD, {}};
    for (int i = 0; i < 4; ++i)
        value.data.push_back(static_cast<BYTE>(number >> (8 * i)));
    return value;
}

std::optional<std::string> DateText(std::optional<std::int64_t> unix_seconds) {
    if (!unix_seconds)
        return std::nullopt;
    std::time_t t = static_cast<std::time_t>(*unix_seconds);
    std::tm parts{};
    if (!::localtime_r(&t, &parts))
        return std::nullopt;
    char text[16];
    if (std::strftime(text, sizeof text, "%Y%m%d", &parts) == 0)
        return std::nullopt;
    return std::string(text);
}

int64_t StampHash(const std::vector<std::u16string>& path, const std::string& stamp) {
    std::string text = stamp;
    for (const auto& part : path)
        text += "\\" + ToUtf8(part);
    return static_cast<int64_t>(std::hash<std::string>{}(text));
}

std::string MetaName(const std::vector<std::u16string>& path) {
    std::string name = "live";
    for (const auto& part : path)
        name += "\\" + ToUtf8(Fold(part));
    return name;
}

bool Names(const std::vector<std::u16string>& path, const LiveKey& live) {
    const std::u16string own = Fold(live.path.back());
    for (const auto& part : path) {
        if (Fold(part) == own)
            return true;
    }
    return false;
}

// Whether `inner` is `outer` or below it; the walk up is bounded by the store's depth.
bool AtOrBelow(Session& session, KeyId inner, KeyId outer) {
    KeyId key = inner;
    for (int depth = 0; depth < 4096 && key != 0; ++depth) {
        if (key == outer)
            return true;
        auto parent = session.ParentOf(key);
        if (!parent)
            return false;
        key = *parent;
    }
    return false;
}

}  // namespace

std::vector<LiveSubkey> UninstallEntries(const std::vector<DpkgPackage>& packages,
                                         const std::string& admin_dir) {
    std::map<std::string, int> seen;
    for (const auto& pkg : packages) {
        if (pkg.FilesPresent())
            ++seen[pkg.name];
    }
    std::vector<LiveSubkey> out;
    for (const auto& pkg : packages) {
        if (!pkg.FilesPresent())
            continue;
        std::string name = pkg.name;
        if (seen[pkg.name] > 1 && !pkg.architecture.empty())
            name += ":" + pkg.architecture;
        LiveSubkey entry{FromUtf8(name), {}};
        if (entry.name.empty() || entry.name.size() > KVWIN_REG_MAX_KEY_NAME ||
            entry.name.find(u'\\') != std::u16string::npos) {
            continue;
        }
        entry.values.push_back(Text(u"DisplayName", pkg.name));
        entry.values.push_back(Text(u"DisplayVersion", pkg.version));
        entry.values.push_back(Text(u"Publisher", pkg.maintainer));
        if (auto date = DateText(PackageInstallTime(admin_dir, pkg)))
            entry.values.push_back(Text(u"InstallDate", *date));
        if (pkg.installed_size_kib) {
            entry.values.push_back(Dword(
                u"EstimatedSize",
                static_cast<DWORD>(std::min<std::uint64_t>(*pkg.installed_size_kib, 0xffffffffu))));
        }
        if (!pkg.summary.empty())
            entry.values.push_back(Text(u"Comments", pkg.summary));
        if (!pkg.homepage.empty())
            entry.values.push_back(Text(u"URLInfoAbout", pkg.homepage));
        out.push_back(std::move(entry));
    }
    return out;
}

std::vector<LiveSubkey> RpmUninstallEntries(const std::vector<RpmPackage>& packages) {
    std::map<std::string, int> seen;
    for (const auto& pkg : packages)
        ++seen[pkg.name];
    std::vector<LiveSubkey> out;
    for (const auto& pkg : packages) {
        std::string name = pkg.name;
        if (seen[pkg.name] > 1 && !pkg.arch.empty())
            name += "." + pkg.arch;
        LiveSubkey entry{FromUtf8(name), {}};
        if (entry.name.empty() || entry.name.size() > KVWIN_REG_MAX_KEY_NAME ||
            entry.name.find(u'\\') != std::u16string::npos) {
            continue;
        }
        entry.values.push_back(Text(u"DisplayName", pkg.name));
        entry.values.push_back(Text(u"DisplayVersion", pkg.FullVersion()));
        if (!pkg.vendor.empty())
            entry.values.push_back(Text(u"Publisher", pkg.vendor));
        if (auto date = DateText(pkg.install_time))
            entry.values.push_back(Text(u"InstallDate", *date));
        if (pkg.size) {
            entry.values.push_back(
                Dword(u"EstimatedSize",
                      static_cast<DWORD>(std::min<std::uint64_t>(*pkg.size / 1024, 0xffffffffu))));
        }
        if (!pkg.summary.empty())
            entry.values.push_back(Text(u"Comments", pkg.summary));
        if (!pkg.url.empty())
            entry.values.push_back(Text(u"URLInfoAbout", pkg.url));
        out.push_back(std::move(entry));
    }
    return out;
}

LONG RefreshLiveKeys(Store& store, const std::vector<std::u16string>& path) {
    // What this process last saw per store and key: a stamp equal to it needs no look into
    // the store at all.
    static std::mutex mutex;
    static auto* known = new std::map<std::string, int64_t>();
    LONG result = ERROR_SUCCESS;
    for (const LiveKey& live : LiveKeys()) {
        if (!Names(path, live))
            continue;
        const int64_t stamp = StampHash(live.path, live.stamp());
        const std::string meta = MetaName(live.path);
        const std::string memo = store.path() + "|" + meta;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = known->find(memo);
            if (it != known->end() && it->second == stamp)
                continue;
        }
        bool current = false;
        LONG rc = store.Run(false, [&](Session& session) {
            current = session.Meta(meta) == stamp && session.Walk(kRootKey, live.path).has_value();
        });
        if (rc == ERROR_SUCCESS && !current) {
            std::vector<LiveSubkey> content = live.content();
            rc = store.Run(true, [&](Session& session) {
                if (session.Meta(meta) == stamp && session.Walk(kRootKey, live.path))
                    return;  // another process copied the same content meanwhile
                KeyId root = session.WalkCreate(kRootKey, live.path, nullptr);
                session.DeleteTree(root, true);
                for (const LiveSubkey& entry : content) {
                    if (session.FindChild(root, entry.name))
                        continue;  // names that fold alike: the first one wins
                    KeyId key = session.CreateChild(root, entry.name);
                    for (const ValueRecord& value : entry.values) {
                        session.SetValue(key, value.name, value.type, value.data.data(),
                                         value.data.size());
                    }
                }
                session.SetMeta(meta, stamp);
            });
        }
        if (rc == ERROR_SUCCESS) {
            std::lock_guard<std::mutex> lock(mutex);
            (*known)[memo] = stamp;
        } else {
            result = rc;
        }
    }
    return result;
}

void DenyLiveWrite(Hive hive, Session& session, KeyId key, bool holding) {
    if (hive != Hive::Machine)
        return;
    for (const LiveKey& live : LiveKeys()) {
        auto root = session.Walk(kRootKey, live.path);
        if (!root)
            continue;
        if (AtOrBelow(session, key, *root) || (holding && AtOrBelow(session, *root, key)))
            throw StoreError{ERROR_ACCESS_DENIED};
    }
}

}  // namespace kvwin::registry
