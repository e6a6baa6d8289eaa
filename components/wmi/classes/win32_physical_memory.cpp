// Win32_PhysicalMemory: one instance per populated memory slot, from the SMBIOS memory
// device structures (type 17) of /sys/firmware/dmi/tables/DMI. The table is readable by
// root only; for other users, and on machines without SMBIOS, the class has no instances
// (the total is in Win32_ComputerSystem.TotalPhysicalMemory).
#include "classes/class_values.h"
#include "classes/fill_from.h"
#include "linux/dmi.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillPhysicalMemory(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPhysicalMemoryClass{u"root\\cimv2",
                                     u"Win32_PhysicalMemory",
                                     {
                                         {u"Attributes", CIM_UINT32},
                                         {u"BankLabel", CIM_STRING},
                                         {u"Capacity", CIM_UINT64},
                                         {u"Caption", CIM_STRING},
                                         {u"ConfiguredClockSpeed", CIM_UINT32},
                                         {u"ConfiguredVoltage", CIM_UINT32},
                                         {u"CreationClassName", CIM_STRING, true},
                                         {u"DataWidth", CIM_UINT16},
                                         {u"Description", CIM_STRING},
                                         {u"DeviceLocator", CIM_STRING},
                                         {u"FormFactor", CIM_UINT16},
                                         {u"HotSwappable", CIM_BOOLEAN},
                                         {u"InstallDate", CIM_DATETIME},
                                         {u"InterleaveDataDepth", CIM_UINT16},
                                         {u"InterleavePosition", CIM_UINT32},
                                         {u"Manufacturer", CIM_STRING},
                                         {u"MaxVoltage", CIM_UINT32},
                                         {u"MemoryType", CIM_UINT16},
                                         {u"MinVoltage", CIM_UINT32},
                                         {u"Model", CIM_STRING},
                                         {u"Name", CIM_STRING},
                                         {u"OtherIdentifyingInfo", CIM_STRING},
                                         {u"PartNumber", CIM_STRING},
                                         {u"PositionInRow", CIM_UINT32},
                                         {u"PoweredOn", CIM_BOOLEAN},
                                         {u"Removable", CIM_BOOLEAN},
                                         {u"Replaceable", CIM_BOOLEAN},
                                         {u"SerialNumber", CIM_STRING},
                                         {u"SKU", CIM_STRING},
                                         {u"SMBIOSMemoryType", CIM_UINT32},
                                         {u"Speed", CIM_UINT32},
                                         {u"Status", CIM_STRING},
                                         {u"Tag", CIM_STRING, true},
                                         {u"TotalWidth", CIM_UINT16},
                                         {u"TypeDetail", CIM_UINT16},
                                         {u"Version", CIM_STRING},
                                     },
                                     FillPhysicalMemory};

// WMI numbers form factors its own way (8 DIMM, 12 SODIMM); SMBIOS codes differ (0x09
// DIMM, 0x0D SODIMM). Codes with no WMI equal are 0, unknown.
std::uint64_t WmiFormFactor(std::uint8_t smbios) {
    switch (smbios) {
        case 0x01:
            return 1;  // other
        case 0x03:
            return 7;  // SIMM
        case 0x04:
            return 2;  // SIP
        case 0x06:
            return 3;  // DIP
        case 0x07:
            return 4;  // ZIP
        case 0x08:
            return 6;  // proprietary card
        case 0x09:
            return 8;  // DIMM
        case 0x0A:
            return 9;  // TSOP
        case 0x0C:
            return 11;  // RIMM
        case 0x0D:
            return 12;  // SODIMM
        case 0x0E:
            return 13;  // SRIMM
        case 0x0F:
            return 8;  // FB-DIMM, a DIMM to WMI
        default:
            return 0;
    }
}

void FillPhysicalMemory(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPhysicalMemoryFrom(decl, kvlinux::ReadMemoryDevices(), out);
}

}  // namespace

void FillPhysicalMemoryFrom(const ClassDecl& decl,
                            const std::vector<kvlinux::MemoryDevice>& devices,
                            std::vector<Instance>& out) {
    int index = 0;
    for (const kvlinux::MemoryDevice& device : devices) {
        InstanceBuilder b(decl);
        b.Set(u"Tag", Text("Physical Memory " + std::to_string(index++)));
        b.Set(u"CreationClassName", Text("Win32_PhysicalMemory"));
        b.Set(u"Capacity", Unsigned(device.size_bytes));
        b.Set(u"DeviceLocator", Text(device.device_locator));
        b.Set(u"BankLabel", Text(device.bank_locator));
        b.Set(u"Manufacturer", Text(device.manufacturer));
        b.Set(u"SerialNumber", Text(device.serial_number));
        b.Set(u"PartNumber", Text(device.part_number));
        b.Set(u"Speed", Unsigned(device.speed_mts));
        b.Set(u"ConfiguredClockSpeed", Unsigned(device.configured_speed_mts));
        b.Set(u"SMBIOSMemoryType", Unsigned(device.memory_type));
        b.Set(u"FormFactor", Unsigned(WmiFormFactor(device.form_factor)));
        if (device.data_width != 0xFFFF && device.data_width != 0)
            b.Set(u"DataWidth", Unsigned(device.data_width));
        if (device.total_width != 0xFFFF && device.total_width != 0)
            b.Set(u"TotalWidth", Unsigned(device.total_width));
        b.Set(u"Name", Text("Physical Memory"));
        b.Set(u"Caption", Text("Physical Memory"));
        b.Set(u"Description", Text("Physical Memory"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPhysicalMemoryClass);

}  // namespace kvwmi
