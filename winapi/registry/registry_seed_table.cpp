// What a new machine hive holds: the version level the layer reports (kvwin/windows_level.h), the
// distribution's own name for the descriptive values, the product type and the well-known folders.
// Component registrations join this table (or arrive through AddRegistrySeed from the part that
// owns them).
#include <atomic>
#include <iterator>
#include <mutex>

#include "kvwin/os_release.h"
#include "kvwin/registry_seed.h"
#include "kvwin/utf.h"
#include "kvwin/windows_level.h"

namespace kvwin {

namespace {

const char16_t kCurrentVersionNt[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const char16_t kCurrentVersion[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char16_t kShellFolders[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char16_t kProductOptions[] = u"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// The version values of the level GetVersionExW reports: releases before Windows 10 have no
// Current*VersionNumber values, and Windows 10 and later keep CurrentVersion at "6.3".
std::vector<RegistrySeed> VersionEntries(const WindowsLevel& level) {
    std::vector<RegistrySeed> entries;
    const bool numbered = level.major >= 10;
    if (numbered) {
        entries.push_back(SeedDword(kCurrentVersionNt, u"CurrentMajorVersionNumber", level.major));
        entries.push_back(SeedDword(kCurrentVersionNt, u"CurrentMinorVersionNumber", level.minor));
    }
    const std::string version =
        numbered ? "6.3" : std::to_string(level.major) + "." + std::to_string(level.minor);
    const std::u16string build = FromUtf8(std::to_string(level.build));
    entries.push_back(SeedString(kCurrentVersionNt, u"CurrentVersion", FromUtf8(version)));
    entries.push_back(SeedString(kCurrentVersionNt, u"CurrentBuildNumber", build));
    entries.push_back(SeedString(kCurrentVersionNt, u"CurrentBuild", build));
    if (!level.service_pack.empty())
        entries.push_back(SeedString(kCurrentVersionNt, u"CSDVersion", level.service_pack));
    entries.push_back(
        SeedString(kProductOptions, u"ProductType", ProductTypeText(level.product_type)));
    return entries;
}

std::vector<RegistrySeed> BuiltInEntries() {
    // The version level first: by default a current Windows 10 workstation, what version
    // checks expect.
    std::vector<RegistrySeed> entries = VersionEntries(CurrentWindowsLevel());
    std::vector<RegistrySeed> rest = {
        SeedString(kCurrentVersionNt, u"ReleaseId", u"2009"),
        SeedString(kCurrentVersionNt, u"InstallationType", u"Client"),
        SeedString(kCurrentVersionNt, u"SystemRoot", u"C:\\Windows"),

        // Folders.
        SeedString(kCurrentVersion, u"ProgramFilesDir", u"C:\\Program Files"),
        SeedString(kCurrentVersion, u"ProgramW6432Dir", u"C:\\Program Files"),
        SeedString(kCurrentVersion, u"ProgramFilesDir (x86)", u"C:\\Program Files (x86)"),
        SeedString(kCurrentVersion, u"CommonFilesDir", u"C:\\Program Files\\Common Files"),
        SeedString(kCurrentVersion, u"CommonW6432Dir", u"C:\\Program Files\\Common Files"),
        SeedString(kShellFolders, u"Common AppData", u"C:\\ProgramData"),
        SeedString(kShellFolders, u"Common Documents", u"C:\\Users\\Public\\Documents"),

        // The package view is there for walkers that enumerate; its content arrives when a
        // path names it (see kvwin/registry_live.h).
        SeedKey(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
        // Where 64-bit Windows lists 32-bit programs, which scripts walk as well: present
        // and empty (packages of every architecture are in the key above).
        SeedKey(u"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),

        // The classes root exists from the start; registrations go below it.
        SeedKey(u"SOFTWARE\\Classes"),
        SeedKey(u"SOFTWARE\\Classes\\CLSID"),
    };
    entries.insert(entries.end(), std::make_move_iterator(rest.begin()),
                   std::make_move_iterator(rest.end()));
    // The names: the distribution's own, read once per process.
    static const auto* names = new std::vector<RegistrySeed>(DistributionNames(ReadOsRelease()));
    entries.insert(entries.end(), names->begin(), names->end());
    return entries;
}

struct SeedRegistry {
    std::mutex mutex;
    std::vector<RegistrySeed> added;
    std::atomic<uint64_t> generation{1};  // written under the mutex, read without it
};

SeedRegistry& Registry() {
    static auto* registry = new SeedRegistry();  // used until exit, by any thread
    return *registry;
}

}  // namespace

std::vector<RegistrySeed> DistributionNames(const OsRelease& release) {
    auto field = [&release](const char* name) -> std::string {
        auto value = release.Get(name);
        return value ? *value : std::string();
    };
    std::string name = field("NAME").empty() ? "Linux" : field("NAME");
    std::string product = field("PRETTY_NAME");
    if (product.empty())
        product = field("VERSION").empty() ? name : name + " " + field("VERSION");
    std::string edition = field("VARIANT_ID").empty() ? field("ID") : field("VARIANT_ID");
    if (edition.empty())
        edition = "linux";
    std::string display_version =
        field("VERSION_ID").empty() ? field("BUILD_ID") : field("VERSION_ID");
    // Stores made before the names told the truth hold a Windows edition's; those give way.
    auto named = [](const char16_t* value, const std::string& text, std::u16string_view former) {
        RegistrySeed seed = SeedString(kCurrentVersionNt, value, FromUtf8(text));
        seed.replaces = SeedString(kCurrentVersionNt, value, former).data;
        return seed;
    };
    return {
        named(u"ProductName", product, u"Windows 10 Pro"),
        named(u"EditionID", edition, u"Professional"),
        named(u"DisplayVersion", display_version, u"22H2"),
    };
}

RegistrySeed SeedString(std::u16string key, std::u16string name, std::u16string_view text,
                        DWORD type) {
    RegistrySeed seed{std::move(key), std::move(name), type, {}, {}};
    for (char16_t c : text) {
        seed.data.push_back(static_cast<BYTE>(c & 0xff));
        seed.data.push_back(static_cast<BYTE>(c >> 8));
    }
    seed.data.push_back(0);  // the terminator, as Windows writers store it
    seed.data.push_back(0);
    return seed;
}

RegistrySeed SeedDword(std::u16string key, std::u16string name, DWORD value) {
    RegistrySeed seed{std::move(key), std::move(name), REG_DWORD, {}, {}};
    for (int i = 0; i < 4; ++i)
        seed.data.push_back(static_cast<BYTE>(value >> (8 * i)));
    return seed;
}

RegistrySeed SeedKey(std::u16string key) {
    return RegistrySeed{std::move(key), u"", REG_NONE, {}, {}};
}

void AddRegistrySeed(std::vector<RegistrySeed> entries) {
    SeedRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto& entry : entries)
        registry.added.push_back(std::move(entry));
    registry.generation.fetch_add(1, std::memory_order_release);
}

std::vector<RegistrySeed> SeedEntries(uint64_t* generation) {
    std::vector<RegistrySeed> entries = BuiltInEntries();
    SeedRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    entries.insert(entries.end(), registry.added.begin(), registry.added.end());
    if (generation)
        *generation = registry.generation.load(std::memory_order_relaxed);
    return entries;
}

std::vector<RegistrySeed> UserSeedEntries() {
    // Packages are installed for the machine, never for one user: the key stays empty.
    return {SeedKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall")};
}

uint64_t SeedGeneration() {
    return Registry().generation.load(std::memory_order_acquire);
}

}  // namespace kvwin
