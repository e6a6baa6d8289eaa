// Win32_BaseBoard: the main board, one instance, from DMI board_*. The board serial number
// is readable by root only.
#include "classes/class_values.h"
#include "classes/fill_from.h"
#include "linux/dmi.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillBaseBoard(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kBaseBoardClass{u"root\\cimv2",
                                u"Win32_BaseBoard",
                                {
                                    {u"Caption", CIM_STRING},
                                    {u"ConfigOptions", CIM_STRING | CIM_FLAG_ARRAY},
                                    {u"CreationClassName", CIM_STRING, true},
                                    {u"Depth", CIM_REAL32},
                                    {u"Description", CIM_STRING},
                                    {u"Height", CIM_REAL32},
                                    {u"HostingBoard", CIM_BOOLEAN},
                                    {u"HotSwappable", CIM_BOOLEAN},
                                    {u"InstallDate", CIM_DATETIME},
                                    {u"Manufacturer", CIM_STRING},
                                    {u"Model", CIM_STRING},
                                    {u"Name", CIM_STRING},
                                    {u"OtherIdentifyingInfo", CIM_STRING},
                                    {u"PartNumber", CIM_STRING},
                                    {u"PoweredOn", CIM_BOOLEAN},
                                    {u"Product", CIM_STRING},
                                    {u"Removable", CIM_BOOLEAN},
                                    {u"Replaceable", CIM_BOOLEAN},
                                    {u"RequirementsDescription", CIM_STRING},
                                    {u"RequiresDaughterBoard", CIM_BOOLEAN},
                                    {u"SerialNumber", CIM_STRING},
                                    {u"SKU", CIM_STRING},
                                    {u"SlotLayout", CIM_STRING},
                                    {u"SpecialRequirements", CIM_BOOLEAN},
                                    {u"Status", CIM_STRING},
                                    {u"Tag", CIM_STRING, true},
                                    {u"Version", CIM_STRING},
                                    {u"Weight", CIM_REAL32},
                                    {u"Width", CIM_REAL32},
                                },
                                FillBaseBoard};

void FillBaseBoard(const ClassDecl& decl, std::vector<Instance>& out) {
    FillBaseBoardFrom(decl, kvlinux::ReadDmi(), out);
}

}  // namespace

void FillBaseBoardFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi,
                       std::vector<Instance>& out) {
    if (!dmi.board_vendor && !dmi.board_name)
        return;
    InstanceBuilder b(decl);
    b.Set(u"Tag", Text("Base Board"));
    b.Set(u"CreationClassName", Text("Win32_BaseBoard"));
    b.Set(u"Manufacturer", Text(dmi.board_vendor));
    b.Set(u"Product", Text(dmi.board_name));
    b.Set(u"Version", Text(dmi.board_version));
    b.Set(u"SerialNumber", Text(dmi.board_serial));
    b.Set(u"Name", Text("Base Board"));
    b.Set(u"Caption", Text("Base Board"));
    b.Set(u"Description", Text("Base Board"));
    b.Set(u"HostingBoard", true);
    b.Set(u"Status", Text("OK"));
    out.push_back(b.Take());
}

KAVREL_WMI_CLASS(kBaseBoardClass);

}  // namespace kvwmi
