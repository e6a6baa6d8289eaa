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
                                    {u"Tag", CIM_STRING, true},
                                    {u"CreationClassName", CIM_STRING, true},
                                    {u"Manufacturer", CIM_STRING},
                                    {u"Product", CIM_STRING},
                                    {u"Version", CIM_STRING},
                                    {u"SerialNumber", CIM_STRING},
                                    {u"Name", CIM_STRING},
                                    {u"Caption", CIM_STRING},
                                    {u"Description", CIM_STRING},
                                    {u"HostingBoard", CIM_BOOLEAN},
                                    {u"Status", CIM_STRING},
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
