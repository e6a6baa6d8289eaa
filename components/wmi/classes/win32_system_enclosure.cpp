// Win32_SystemEnclosure: the chassis, one instance, from DMI chassis_*. ChassisTypes holds
// the SMBIOS chassis code (3 desktop, 9 laptop, 17 main server chassis, 1 other, ...), the
// same numbers WMI uses.
#include "classes/class_values.h"
#include "classes/fill_from.h"
#include "linux/dmi.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillSystemEnclosure(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSystemEnclosureClass{u"root\\cimv2",
                                      u"Win32_SystemEnclosure",
                                      {
                                          {u"AudibleAlarm", CIM_BOOLEAN},
                                          {u"BreachDescription", CIM_STRING},
                                          {u"CableManagementStrategy", CIM_STRING},
                                          {u"Caption", CIM_STRING},
                                          {u"ChassisTypes", CIM_UINT16 | CIM_FLAG_ARRAY},
                                          {u"CreationClassName", CIM_STRING, true},
                                          {u"CurrentRequiredOrProduced", CIM_SINT16},
                                          {u"Depth", CIM_REAL32},
                                          {u"Description", CIM_STRING},
                                          {u"HeatGeneration", CIM_UINT16},
                                          {u"Height", CIM_REAL32},
                                          {u"HotSwappable", CIM_BOOLEAN},
                                          {u"InstallDate", CIM_DATETIME},
                                          {u"LockPresent", CIM_BOOLEAN},
                                          {u"Manufacturer", CIM_STRING},
                                          {u"Model", CIM_STRING},
                                          {u"Name", CIM_STRING},
                                          {u"NumberOfPowerCords", CIM_UINT16},
                                          {u"OtherIdentifyingInfo", CIM_STRING},
                                          {u"PartNumber", CIM_STRING},
                                          {u"PoweredOn", CIM_BOOLEAN},
                                          {u"Removable", CIM_BOOLEAN},
                                          {u"Replaceable", CIM_BOOLEAN},
                                          {u"SecurityBreach", CIM_UINT16},
                                          {u"SecurityStatus", CIM_UINT16},
                                          {u"SerialNumber", CIM_STRING},
                                          {u"ServiceDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
                                          {u"ServicePhilosophy", CIM_UINT16 | CIM_FLAG_ARRAY},
                                          {u"SKU", CIM_STRING},
                                          {u"SMBIOSAssetTag", CIM_STRING},
                                          {u"Status", CIM_STRING},
                                          {u"Tag", CIM_STRING, true},
                                          {u"TypeDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
                                          {u"Version", CIM_STRING},
                                          {u"VisibleAlarm", CIM_BOOLEAN},
                                          {u"Weight", CIM_REAL32},
                                          {u"Width", CIM_REAL32},
                                      },
                                      FillSystemEnclosure};

void FillSystemEnclosure(const ClassDecl& decl, std::vector<Instance>& out) {
    FillSystemEnclosureFrom(decl, kvlinux::ReadDmi(), out);
}

}  // namespace

void FillSystemEnclosureFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi,
                             std::vector<Instance>& out) {
    if (!dmi.chassis_type && !dmi.chassis_vendor)
        return;
    InstanceBuilder b(decl);
    b.Set(u"Tag", Text("System Enclosure 0"));
    b.Set(u"CreationClassName", Text("Win32_SystemEnclosure"));
    if (dmi.chassis_type) {
        // The low seven bits are the type; the top bit flags a chassis lock.
        if (auto type = kvlinux::ParseUnsigned(*dmi.chassis_type))
            b.Set(u"ChassisTypes", std::vector<std::int64_t>{std::int64_t(*type & 0x7F)});
    }
    b.Set(u"Manufacturer", Text(dmi.chassis_vendor));
    b.Set(u"Version", Text(dmi.chassis_version));
    b.Set(u"SerialNumber", Text(dmi.chassis_serial));
    b.Set(u"SMBIOSAssetTag", Text(dmi.chassis_asset_tag));
    b.Set(u"Name", Text("System Enclosure"));
    b.Set(u"Caption", Text("System Enclosure"));
    b.Set(u"Description", Text("System Enclosure"));
    b.Set(u"Status", Text("OK"));
    out.push_back(b.Take());
}

KAVREL_WMI_CLASS(kSystemEnclosureClass);

}  // namespace kvwmi
