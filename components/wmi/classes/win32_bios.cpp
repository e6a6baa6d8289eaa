// Win32_BIOS: the system firmware, one instance, from DMI bios_* (and the system serial
// number, which WMI reports here too). SystemBiosMajorVersion/MinorVersion come from
// bios_release ("1.2"); the SMBIOS version itself needs the root-only entry point and is
// not read.
#include "classes/class_values.h"
#include "classes/fill_from.h"
#include "linux/dmi.h"
#include "linux/text_util.h"
#include "provider/cim_datetime.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillBios(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kBiosClass{u"root\\cimv2",
                           u"Win32_BIOS",
                           {
                               {u"BiosCharacteristics", CIM_UINT16 | CIM_FLAG_ARRAY},
                               {u"BIOSVersion", CIM_STRING | CIM_FLAG_ARRAY},
                               {u"BuildNumber", CIM_STRING},
                               {u"Caption", CIM_STRING},
                               {u"CodeSet", CIM_STRING},
                               {u"CurrentLanguage", CIM_STRING},
                               {u"Description", CIM_STRING},
                               {u"EmbeddedControllerMajorVersion", CIM_UINT8},
                               {u"EmbeddedControllerMinorVersion", CIM_UINT8},
                               {u"IdentificationCode", CIM_STRING},
                               {u"InstallableLanguages", CIM_UINT16},
                               {u"InstallDate", CIM_DATETIME},
                               {u"LanguageEdition", CIM_STRING},
                               {u"ListOfLanguages", CIM_STRING | CIM_FLAG_ARRAY},
                               {u"Manufacturer", CIM_STRING},
                               {u"Name", CIM_STRING, true},
                               {u"OtherTargetOS", CIM_STRING},
                               {u"PrimaryBIOS", CIM_BOOLEAN},
                               {u"ReleaseDate", CIM_DATETIME},
                               {u"SerialNumber", CIM_STRING},
                               {u"SMBIOSBIOSVersion", CIM_STRING},
                               {u"SMBIOSMajorVersion", CIM_UINT16},
                               {u"SMBIOSMinorVersion", CIM_UINT16},
                               {u"SMBIOSPresent", CIM_BOOLEAN},
                               {u"SoftwareElementID", CIM_STRING, true},
                               {u"SoftwareElementState", CIM_UINT16, true},
                               {u"Status", CIM_STRING},
                               {u"SystemBiosMajorVersion", CIM_UINT8},
                               {u"SystemBiosMinorVersion", CIM_UINT8},
                               {u"TargetOperatingSystem", CIM_UINT16, true},
                               {u"Version", CIM_STRING, true},
                           },
                           FillBios};

void FillBios(const ClassDecl& decl, std::vector<Instance>& out) {
    FillBiosFrom(decl, kvlinux::ReadDmi(), out);
}

}  // namespace

void FillBiosFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi, std::vector<Instance>& out) {
    if (!dmi.bios_vendor && !dmi.bios_version)
        return;  // no firmware tables (a container on some hosts, many ARM boards)
    InstanceBuilder b(decl);
    b.Set(u"Name", Text(dmi.bios_version));
    b.Set(u"SoftwareElementID", Text(dmi.bios_version));
    b.Set(u"SoftwareElementState", Unsigned(3));   // running
    b.Set(u"TargetOperatingSystem", Unsigned(0));  // unknown: the firmware serves any
    b.Set(u"Version",
          Text(dmi.bios_vendor.value_or("") + (dmi.bios_version ? " - " + *dmi.bios_version : "")));
    b.Set(u"Manufacturer", Text(dmi.bios_vendor));
    b.Set(u"SMBIOSBIOSVersion", Text(dmi.bios_version));
    b.Set(u"SerialNumber", Text(dmi.product_serial));
    if (dmi.bios_date) {
        if (auto date = CimDateFromDmiDate(*dmi.bios_date))
            b.Set(u"ReleaseDate", *date);
    }
    if (dmi.bios_release) {
        const std::string& release = *dmi.bios_release;
        const size_t dot = release.find('.');
        const std::uint64_t major = kvlinux::ParseUnsigned(release.substr(0, dot)).value_or(256);
        const std::uint64_t minor =
            dot == std::string::npos
                ? 256
                : kvlinux::ParseUnsigned(release.substr(dot + 1)).value_or(256);
        if (major <= 255)
            b.Set(u"SystemBiosMajorVersion", Unsigned(major));
        if (minor <= 255)
            b.Set(u"SystemBiosMinorVersion", Unsigned(minor));
    }
    b.Set(u"PrimaryBIOS", true);
    b.Set(u"Caption", Text(dmi.bios_version));
    b.Set(u"Description", Text(dmi.bios_version));
    b.Set(u"Status", Text("OK"));
    out.push_back(b.Take());
}

KAVREL_WMI_CLASS(kBiosClass);

}  // namespace kvwmi
