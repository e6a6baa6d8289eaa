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
#include <ctime>

#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "kvwin/rpm_database.h"
#include "linux/dpkg_status.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillProduct(const ClassDecl& decl, std::vector<Instance>& out);

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
    FillProduct};

std::optional<std::string> DateText(std::optional<std::int64_t> unix_seconds) {
    if (!unix_seconds)
        return std::nullopt;
    std::time_t t = static_cast<std::time_t>(*unix_seconds);
    std::tm parts{};
    if (!::localtime_r(&t, &parts))
        return std::nullopt;
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &parts);
    return std::string(text);
}

void FillProduct(const ClassDecl& decl, std::vector<Instance>& out) {
    // The properties' places, found once rather than by name for each of the packages.
    const auto at = [&decl](std::u16string_view name) {
        return static_cast<size_t>(decl.IndexOf(name));
    };
    const size_t identifying = at(u"IdentifyingNumber"), name = at(u"Name"),
                 version = at(u"Version"), vendor = at(u"Vendor"), caption = at(u"Caption"),
                 description = at(u"Description"), install_date = at(u"InstallDate"),
                 install_state = at(u"InstallState"), url = at(u"URLInfoAbout");
    const std::string admin_dir = "/var/lib/dpkg";
    const kvwin::DpkgInfoFolder lists(admin_dir);
    std::vector<kvlinux::DpkgPackage> packages = kvlinux::ReadDpkgStatus(admin_dir);
    out.reserve(out.size() + packages.size());
    for (const kvlinux::DpkgPackage& pkg : packages) {
        if (!pkg.FilesPresent())
            continue;
        Instance values(decl.properties.size());
        values[identifying] = Text(pkg.name + ":" + pkg.architecture);
        values[name] = Text(pkg.name);
        values[version] = Text(pkg.version);
        values[vendor] = Text(pkg.maintainer);
        values[caption] = Text(pkg.summary);
        values[description] = values[caption];
        values[install_date] = Text(DateText(lists.InstallTime(pkg)));
        values[install_state] = Signed(pkg.Configured() ? 5 : -6);
        values[url] = Text(pkg.homepage);
        out.push_back(std::move(values));
    }
    FillRpmProductsFrom(decl, kvwin::ReadRpmDatabase(), out);
}

}  // namespace

void FillRpmProductsFrom(const ClassDecl& decl, const std::vector<kvwin::RpmPackage>& packages,
                         std::vector<Instance>& out) {
    for (const kvwin::RpmPackage& pkg : packages) {
        InstanceBuilder b(decl);
        b.Set(u"IdentifyingNumber", Text(pkg.arch.empty() ? pkg.name : pkg.name + "." + pkg.arch));
        b.Set(u"Name", Text(pkg.name));
        b.Set(u"Version", Text(pkg.FullVersion()));
        b.Set(u"Vendor", Text(pkg.vendor));
        b.Set(u"Caption", Text(pkg.summary));
        b.Set(u"Description", Text(pkg.summary));
        b.Set(u"InstallDate", Text(DateText(pkg.install_time)));
        b.Set(u"InstallState", Signed(5));
        b.Set(u"URLInfoAbout", Text(pkg.url));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kProductClass);

}  // namespace kvwmi
