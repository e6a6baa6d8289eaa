// Win32_SystemSlot: one instance per system slot the firmware's SMBIOS table describes
// (type 9; the table is readable by root only, so others see no instances). Tag is
// "System Slot <n>" in table order; SlotDesignation the board's label; CurrentUsage 3
// (available) or 4 (in use); MaxDataWidth in CIM's codes (0 8-bit ... 4 128-bit); the PCI
// address of the slot where the firmware gives it.
#include "classes/class_values.h"
#include "classes/peripheral_classes.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillSystemSlot(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSystemSlotClass{u"root\\cimv2",
                                 u"Win32_SystemSlot",
                                 {
                                     {u"BusNumber", CIM_UINT32},
                                     {u"Caption", CIM_STRING},
                                     {u"ConnectorPinout", CIM_STRING},
                                     {u"ConnectorType", CIM_UINT16 | CIM_FLAG_ARRAY},
                                     {u"CreationClassName", CIM_STRING},
                                     {u"CurrentUsage", CIM_UINT16},
                                     {u"Description", CIM_STRING},
                                     {u"DeviceNumber", CIM_UINT32},
                                     {u"FunctionNumber", CIM_UINT32},
                                     {u"HeightAllowed", CIM_REAL32},
                                     {u"InstallDate", CIM_DATETIME},
                                     {u"LengthAllowed", CIM_REAL32},
                                     {u"Manufacturer", CIM_STRING},
                                     {u"MaxDataWidth", CIM_UINT16},
                                     {u"Model", CIM_STRING},
                                     {u"Name", CIM_STRING},
                                     {u"Number", CIM_UINT16},
                                     {u"OtherIdentifyingInfo", CIM_STRING},
                                     {u"PartNumber", CIM_STRING},
                                     {u"PMESignal", CIM_BOOLEAN},
                                     {u"PoweredOn", CIM_BOOLEAN},
                                     {u"PurposeDescription", CIM_STRING},
                                     {u"SegmentGroupNumber", CIM_UINT32},
                                     {u"SerialNumber", CIM_STRING},
                                     {u"Shared", CIM_BOOLEAN},
                                     {u"SKU", CIM_STRING},
                                     {u"SlotDesignation", CIM_STRING},
                                     {u"SpecialPurpose", CIM_BOOLEAN},
                                     {u"Status", CIM_STRING},
                                     {u"SupportsHotPlug", CIM_BOOLEAN},
                                     {u"Tag", CIM_STRING, true},
                                     {u"ThermalRating", CIM_UINT32},
                                     {u"VccMixedVoltageSupport", CIM_UINT16 | CIM_FLAG_ARRAY},
                                     {u"Version", CIM_STRING},
                                     {u"VppMixedVoltageSupport", CIM_UINT16 | CIM_FLAG_ARRAY},
                                 },
                                 FillSystemSlot};

void FillSystemSlot(const ClassDecl& decl, std::vector<Instance>& out) {
    FillSystemSlotsFrom(decl, kvlinux::ParseSmbiosSlots(kvlinux::ReadSmbiosTable()), out);
}

}  // namespace

void FillSystemSlotsFrom(const ClassDecl& decl, const std::vector<kvlinux::SystemSlot>& slots,
                         std::vector<Instance>& out) {
    std::uint64_t number = 0;
    for (const kvlinux::SystemSlot& slot : slots) {
        InstanceBuilder b(decl);
        b.Set(u"Tag", Text("System Slot " + std::to_string(number++)));
        b.Set(u"Name", Text("System Slot"));
        b.Set(u"Caption", Text("System Slot"));
        b.Set(u"Description", Text("System Slot"));
        b.Set(u"CreationClassName", std::u16string(decl.name));
        b.Set(u"SlotDesignation", Text(slot.designation));
        b.Set(u"Number", Unsigned(slot.id));
        switch (slot.current_usage) {
            case 1:
                b.Set(u"CurrentUsage", Unsigned(1));  // other
                break;
            case 3:
            case 4:
                b.Set(u"CurrentUsage", Unsigned(slot.current_usage));
                break;
            default:
                b.Set(u"CurrentUsage", Unsigned(0));  // unknown
        }
        if (slot.data_width >= 3 && slot.data_width <= 7)
            b.Set(u"MaxDataWidth", Unsigned(slot.data_width - 3));
        b.Set(u"PMESignal", (slot.characteristics2 & 0x01) != 0);
        b.Set(u"SupportsHotPlug", (slot.characteristics2 & 0x02) != 0);
        b.Set(u"Shared", (slot.characteristics1 & 0x08) != 0);  // opening shared with another slot
        if (slot.bus) {
            b.Set(u"SegmentGroupNumber", Unsigned(slot.segment));
            b.Set(u"BusNumber", Unsigned(slot.bus));
            b.Set(u"DeviceNumber", Unsigned(slot.device));
            b.Set(u"FunctionNumber", Unsigned(slot.function));
        }
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kSystemSlotClass);

}  // namespace kvwmi
