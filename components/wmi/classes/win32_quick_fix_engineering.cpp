// Win32_QuickFixEngineering: the updates installed on top of the operating system. Debian
// has no hot fixes apart from packages: an update is a newer version of a package. What the
// package manager's logs record as upgrades is listed, one instance per package and new
// version: apt's history, and dpkg's log for upgrades made without apt (their plain
// files; compressed rotations are not read, so the list reaches back as far as those files
// do). HotFixID is "<package>=<version>" (apt's own way of naming a version); Description
// "Security Update" when Debian's automatic security updates (unattended-upgrade)
// installed it, else "Update"; InstalledOn the day, as Windows writes it ("3/5/2024");
// InstalledBy the user apt names as having asked; FixComments the version replaced.
// ServicePackInEffect is empty, as Windows gives it for current updates.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "linux/host_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillQuickFixEngineering(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kQuickFixEngineeringClass{u"root\\cimv2",
                                          u"Win32_QuickFixEngineering",
                                          {
                                              {u"Caption", CIM_STRING},
                                              {u"Description", CIM_STRING},
                                              {u"InstallDate", CIM_DATETIME},
                                              {u"Name", CIM_STRING},
                                              {u"Status", CIM_STRING},
                                              {u"CSName", CIM_STRING},
                                              {u"FixComments", CIM_STRING},
                                              {u"HotFixID", CIM_STRING, true},
                                              {u"InstalledBy", CIM_STRING},
                                              {u"InstalledOn", CIM_STRING},
                                              {u"ServicePackInEffect", CIM_STRING, true},
                                          },
                                          FillQuickFixEngineering};

void FillQuickFixEngineering(const ClassDecl& decl, std::vector<Instance>& out) {
    FillQuickFixesFrom(decl, kvlinux::ReadPackageUpgrades(), kvlinux::ReadHostInfo().host_name,
                       out);
}

// "2024-03-05" as Windows writes InstalledOn: month/day/year without leading zeros.
std::string WindowsDate(const std::string& iso) {
    auto year = kvlinux::ParseUnsigned(std::string_view(iso).substr(0, 4));
    auto month =
        iso.size() >= 7 ? kvlinux::ParseUnsigned(std::string_view(iso).substr(5, 2)) : std::nullopt;
    auto day = iso.size() >= 10 ? kvlinux::ParseUnsigned(std::string_view(iso).substr(8, 2))
                                : std::nullopt;
    if (!year || !month || !day)
        return {};
    return std::to_string(*month) + "/" + std::to_string(*day) + "/" + std::to_string(*year);
}

}  // namespace

void FillQuickFixesFrom(const ClassDecl& decl, const std::vector<kvlinux::PackageUpgrade>& upgrades,
                        const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::PackageUpgrade& upgrade : upgrades) {
        InstanceBuilder b(decl);
        b.Set(u"HotFixID", Text(upgrade.package + "=" + upgrade.version));
        b.Set(u"ServicePackInEffect", std::u16string());
        b.Set(u"Description", Text(upgrade.unattended ? "Security Update" : "Update"));
        b.Set(u"InstalledOn", Text(WindowsDate(upgrade.date)));
        b.Set(u"InstalledBy", Text(upgrade.requested_by));
        b.Set(u"FixComments", Text(upgrade.old_version));
        b.Set(u"CSName", Text(host));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kQuickFixEngineeringClass);

}  // namespace kvwmi
