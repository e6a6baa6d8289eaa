// Win32_PhysicalMemoryArray: one instance per physical memory array the firmware's SMBIOS
// table describes (type 16; root only). Tag is "Physical Memory Array <n>"; Location, Use
// and MemoryErrorCorrection carry SMBIOS's codes, which WMI uses as they are;
// MaxCapacity and MaxCapacityEx are in KiB (the extended field when the array holds 2 TiB
// or more); MemoryDevices the number of module slots.
#include "classes/class_values.h"
#include "classes/peripheral_classes.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillPhysicalMemoryArray(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPhysicalMemoryArrayClass{u"root\\cimv2",
                                          u"Win32_PhysicalMemoryArray",
                                          {
                                              {u"Caption", CIM_STRING},
                                              {u"CreationClassName", CIM_STRING},
                                              {u"Depth", CIM_REAL32},
                                              {u"Description", CIM_STRING},
                                              {u"Height", CIM_REAL32},
                                              {u"HotSwappable", CIM_BOOLEAN},
                                              {u"InstallDate", CIM_DATETIME},
                                              {u"Location", CIM_UINT16},
                                              {u"Manufacturer", CIM_STRING},
                                              {u"MaxCapacity", CIM_UINT32},
                                              {u"MaxCapacityEx", CIM_UINT64},
                                              {u"MemoryDevices", CIM_UINT16},
                                              {u"MemoryErrorCorrection", CIM_UINT16},
                                              {u"Model", CIM_STRING},
                                              {u"Name", CIM_STRING},
                                              {u"OtherIdentifyingInfo", CIM_STRING},
                                              {u"PartNumber", CIM_STRING},
                                              {u"PoweredOn", CIM_BOOLEAN},
                                              {u"Removable", CIM_BOOLEAN},
                                              {u"Replaceable", CIM_BOOLEAN},
                                              {u"SerialNumber", CIM_STRING},
                                              {u"SKU", CIM_STRING},
                                              {u"Status", CIM_STRING},
                                              {u"Tag", CIM_STRING, true},
                                              {u"Use", CIM_UINT16},
                                              {u"Version", CIM_STRING},
                                              {u"Weight", CIM_REAL32},
                                              {u"Width", CIM_REAL32},
                                          },
                                          FillPhysicalMemoryArray};

void FillPhysicalMemoryArray(const ClassDecl& decl, std::vector<Instance>& out) {
    FillMemoryArraysFrom(decl, kvlinux::ParseSmbiosMemoryArrays(kvlinux::ReadSmbiosTable()), out);
}

}  // namespace

void FillMemoryArraysFrom(const ClassDecl& decl, const std::vector<kvlinux::MemoryArray>& arrays,
                          std::vector<Instance>& out) {
    std::uint64_t number = 0;
    for (const kvlinux::MemoryArray& array : arrays) {
        InstanceBuilder b(decl);
        b.Set(u"Tag", Text("Physical Memory Array " + std::to_string(number++)));
        b.Set(u"Name", Text("Physical Memory Array"));
        b.Set(u"Caption", Text("Physical Memory Array"));
        b.Set(u"Description", Text("Physical Memory Array"));
        b.Set(u"CreationClassName", std::u16string(decl.name));
        b.Set(u"Location", Unsigned(array.location));
        b.Set(u"Use", Unsigned(array.use));
        b.Set(u"MemoryErrorCorrection", Unsigned(array.error_correction));
        if (array.max_capacity_kib <= 0xFFFFFFFF)
            b.Set(u"MaxCapacity", Unsigned(array.max_capacity_kib));
        b.Set(u"MaxCapacityEx", Unsigned(array.max_capacity_kib));
        b.Set(u"MemoryDevices", Unsigned(array.devices));
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPhysicalMemoryArrayClass);

}  // namespace kvwmi
