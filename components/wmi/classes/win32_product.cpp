// Win32_Product: the installed software, one instance per package of the dpkg database
// whose files are on the machine.
//
// Name is the package name, Version its version, IdentifyingNumber "<name>:<architecture>"
// (the pair dpkg itself keys packages by, as a product code is on Windows). Vendor is the
// Maintainer field, Caption and Description the package's one-line summary. InstallDate is
// the date ("yyyymmdd", a string as in WMI) of the package's file list in /var/lib/dpkg/info,
// which dpkg rewrites at every install or upgrade. InstallState uses the Windows Installer
// codes: 5 installed (configured), -6 "bad configuration" for a package dpkg left half-way
// (half-installed, unpacked, half-configured). Packages removed with their configuration
// files kept are not installed software and are left out.
//
// Where an rpm database exists (/var/lib/rpm/rpmdb.sqlite), its packages follow: Name the
// package name, Version "[epoch:]version-release", IdentifyingNumber "<name>.<arch>" (rpm's
// own way of naming an installed package), Vendor the vendor, Caption and Description the
// summary, InstallDate the day rpm recorded installing it, InstallState 5.
#include <charconv>
#include <climits>
#include <cstdint>
#include <memory>

#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "kvwin/civil_time.h"
#include "kvwin/os_release.h"
#include "kvwin/rpm_database.h"
#include "kvwin/time_zone.h"
#include "kvwin/utf.h"
#include "linux/dpkg_status.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillProduct(const ClassDecl& decl, const Selection& selection, std::vector<Instance>& out);

const ClassDecl kProductClass{
    u"root\\cimv2",
    u"Win32_Product",
    {
        {u"AssignmentType", CIM_UINT16},  {u"Caption", CIM_STRING},
        {u"Description", CIM_STRING},     {u"IdentifyingNumber", CIM_STRING, true},
        {u"InstallDate", CIM_STRING},     {u"InstallDate2", CIM_DATETIME},
        {u"InstallLocation", CIM_STRING}, {u"InstallState", CIM_SINT16},
        {u"HelpLink", CIM_STRING},        {u"HelpTelephone", CIM_STRING},
        {u"InstallSource", CIM_STRING},   {u"Language", CIM_STRING},
        {u"LocalPackage", CIM_STRING},    {u"Name", CIM_STRING, true},
        {u"PackageCache", CIM_STRING},    {u"PackageCode", CIM_STRING},
        {u"PackageName", CIM_STRING},     {u"ProductID", CIM_STRING},
        {u"RegOwner", CIM_STRING},        {u"RegCompany", CIM_STRING},
        {u"SKUNumber", CIM_STRING},       {u"Transforms", CIM_STRING},
        {u"URLInfoAbout", CIM_STRING},    {u"URLUpdateInfo", CIM_STRING},
        {u"Vendor", CIM_STRING},          {u"WordCount", CIM_UINT32},
        {u"Version", CIM_STRING, true},
    },
    nullptr,
    FillProduct};

void FillProduct(const ClassDecl& decl, const Selection& selection, std::vector<Instance>& out) {
    FillDpkgProductsFrom(decl, selection, "/var/lib/dpkg", *kvwin::CurrentZone(), out);
    FillRpmProductsFrom(decl, kvwin::ReadRpmDatabase(), out);
}

}  // namespace

CimValue LocalDateText(std::optional<std::int64_t> unix_seconds, const kvwin::ZoneInfo& zone) {
    constexpr std::int64_t kDay = 86400, kSlack = std::int64_t{1} << 40;
    if (!unix_seconds || *unix_seconds > INT64_MAX - kSlack || *unix_seconds < INT64_MIN + kSlack)
        return {};
    const std::int64_t local = *unix_seconds + zone.At(*unix_seconds).offset;
    const kvwin::CivilDate date = kvwin::CivilFromDays(local / kDay - (local % kDay < 0 ? 1 : 0));
    if (date.year - 1900 < INT_MIN || date.year - 1900 > INT_MAX)
        return {};  // beyond the years the C library's calendar holds
    // The year in full, month and day in two digits each: "20240305".
    char text[32];
    char* end = std::to_chars(text, text + 20, date.year).ptr;
    for (unsigned part : {date.month, date.day}) {
        *end++ = static_cast<char>('0' + part / 10);
        *end++ = static_cast<char>('0' + part % 10);
    }
    return std::u16string(text, end);
}

void FillDpkgProductsFrom(const ClassDecl& decl, const Selection& selection,
                          const std::string& admin_dir, const kvwin::ZoneInfo& zone,
                          std::vector<Instance>& out) {
    // The properties' places, found once rather than by name for each of the packages.
    const auto at = [&decl](std::u16string_view name) {
        return static_cast<size_t>(decl.IndexOf(name));
    };
    const size_t identifying = at(u"IdentifyingNumber"), name = at(u"Name"),
                 version = at(u"Version"), vendor = at(u"Vendor"), caption = at(u"Caption"),
                 description = at(u"Description"), install_date = at(u"InstallDate"),
                 install_state = at(u"InstallState"), url = at(u"URLInfoAbout");
    // A query that does not ask for the date spares a look-up per package; the other values
    // not asked for are left out as well (the keys are always made).
    const bool want_vendor = selection.Wants(decl, u"Vendor"),
               want_caption = selection.Wants(decl, u"Caption"),
               want_description = selection.Wants(decl, u"Description"),
               want_date = selection.Wants(decl, u"InstallDate"),
               want_state = selection.Wants(decl, u"InstallState"),
               want_url = selection.Wants(decl, u"URLInfoAbout");
    const std::optional<std::string> status =
        kvwin::ReadSmallFile(admin_dir + "/status", size_t{256} << 20);
    if (!status)
        return;
    const kvwin::DpkgInfoFolder lists(admin_dir);
    // Each package's values are built straight into its instance from the parser's reused
    // strings: no package list, no intermediate UTF-8 text, no long description (the class
    // shows the summary).
    kvwin::ForEachDpkgPackage(
        *status,
        [&](const kvlinux::DpkgPackage& pkg) {
            if (!pkg.FilesPresent())
                return;
            Instance& values = out.emplace_back(decl.properties.size());
            // The name is widened once, for itself and for the key; each value is written
            // in place.
            std::u16string& key = values[identifying].emplace<std::u16string>();
            key.reserve(pkg.name.size() + 1 + pkg.architecture.size());
            kvwin::AppendFromUtf8(key, pkg.name);
            values[name].emplace<std::u16string>(key);
            key += u':';
            kvwin::AppendFromUtf8(key, pkg.architecture);
            SetText(values[version], pkg.version);
            if (want_vendor)
                SetText(values[vendor], pkg.maintainer);
            if (want_caption || want_description)
                SetText(values[caption], pkg.summary);
            if (want_description)
                values[description] = values[caption];
            if (want_date)
                values[install_date] = LocalDateText(lists.InstallTime(pkg), zone);
            if (want_state)
                values[install_state] = Signed(pkg.Configured() ? 5 : -6);
            if (want_url)
                SetText(values[url], pkg.homepage);
        },
        kvwin::DpkgDescription::kSummaryOnly);
}

void FillRpmProductsFrom(const ClassDecl& decl, const std::vector<kvwin::RpmPackage>& packages,
                         std::vector<Instance>& out) {
    const std::shared_ptr<const kvwin::ZoneInfo> zone = kvwin::CurrentZone();
    for (const kvwin::RpmPackage& pkg : packages) {
        InstanceBuilder b(decl);
        b.Set(u"IdentifyingNumber", Text(pkg.arch.empty() ? pkg.name : pkg.name + "." + pkg.arch));
        b.Set(u"Name", Text(pkg.name));
        b.Set(u"Version", Text(pkg.FullVersion()));
        b.Set(u"Vendor", Text(pkg.vendor));
        b.Set(u"Caption", Text(pkg.summary));
        b.Set(u"Description", Text(pkg.summary));
        b.Set(u"InstallDate", LocalDateText(pkg.install_time, *zone));
        b.Set(u"InstallState", Signed(5));
        b.Set(u"URLInfoAbout", Text(pkg.url));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kProductClass);

}  // namespace kvwmi
