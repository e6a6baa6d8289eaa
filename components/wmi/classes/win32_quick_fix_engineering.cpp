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
#include <charconv>
#include <cstdint>
#include <string_view>

#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "kvwin/utf.h"
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

// "2024-03-05" as Windows writes InstalledOn: month/day/year without leading zeros; null
// for a date that is not one.
CimValue WindowsDate(std::string_view iso) {
    auto year = kvlinux::ParseUnsigned(iso.substr(0, 4));
    auto month = iso.size() >= 7 ? kvlinux::ParseUnsigned(iso.substr(5, 2)) : std::nullopt;
    auto day = iso.size() >= 10 ? kvlinux::ParseUnsigned(iso.substr(8, 2)) : std::nullopt;
    if (!year || !month || !day)
        return {};
    char text[64];
    char* end = text;
    for (std::uint64_t part : {*month, *day, *year}) {
        if (end != text)
            *end++ = '/';
        end = std::to_chars(end, text + sizeof text, part).ptr;
    }
    return std::u16string(text, end);
}

}  // namespace

void FillQuickFixesFrom(const ClassDecl& decl, const std::vector<kvlinux::PackageUpgrade>& upgrades,
                        const std::string& host, std::vector<Instance>& out) {
    // The properties' places, found once; the values every instance shares, made once.
    const auto at = [&decl](std::u16string_view name) {
        return static_cast<size_t>(decl.IndexOf(name));
    };
    const size_t hot_fix_id = at(u"HotFixID"), service_pack = at(u"ServicePackInEffect"),
                 description = at(u"Description"), installed_on = at(u"InstalledOn"),
                 installed_by = at(u"InstalledBy"), fix_comments = at(u"FixComments"),
                 cs_name = at(u"CSName");
    const CimValue security_update = Text("Security Update"), update = Text("Update"),
                   host_name = Text(host);
    std::string_view last_date;  // upgrades come in runs of one day: its text is made once
    CimValue last_installed_on;
    out.reserve(out.size() + upgrades.size());
    for (const kvlinux::PackageUpgrade& upgrade : upgrades) {
        Instance& values = out.emplace_back(decl.properties.size());
        std::u16string& id = values[hot_fix_id].emplace<std::u16string>();
        id.reserve(upgrade.package.size() + 1 + upgrade.version.size());
        kvwin::AppendFromUtf8(id, upgrade.package);
        id += u'=';
        kvwin::AppendFromUtf8(id, upgrade.version);
        values[service_pack].emplace<std::u16string>();
        values[description] = upgrade.unattended ? security_update : update;
        if (last_date.data() == nullptr || upgrade.date != last_date) {
            last_date = upgrade.date;
            last_installed_on = WindowsDate(upgrade.date);
        }
        values[installed_on] = last_installed_on;
        SetText(values[installed_by], upgrade.requested_by);
        SetText(values[fix_comments], upgrade.old_version);
        values[cs_name] = host_name;
    }
}

KAVREL_WMI_CLASS(kQuickFixEngineeringClass);

}  // namespace kvwmi
