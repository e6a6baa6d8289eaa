// Win32_ComputerSystemProduct: the product as the firmware names it, one instance (DMI
// product_* and sys_vendor). The serial number and UUID are readable by root only; for
// other users they are null.
#include <algorithm>
#include <cctype>

#include "classes/class_values.h"
#include "classes/fill_from.h"
#include "linux/dmi.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillComputerSystemProduct(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kComputerSystemProductClass{u"root\\cimv2",
                                            u"Win32_ComputerSystemProduct",
                                            {
                                                {u"Caption", CIM_STRING},
                                                {u"Description", CIM_STRING},
                                                {u"IdentifyingNumber", CIM_STRING, true},
                                                {u"Name", CIM_STRING, true},
                                                {u"SKUNumber", CIM_STRING},
                                                {u"Vendor", CIM_STRING},
                                                {u"Version", CIM_STRING, true},
                                                {u"UUID", CIM_STRING},
                                            },
                                            FillComputerSystemProduct};

void FillComputerSystemProduct(const ClassDecl& decl, std::vector<Instance>& out) {
    FillComputerSystemProductFrom(decl, kvlinux::ReadDmi(), out);
}

}  // namespace

void FillComputerSystemProductFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi,
                                   std::vector<Instance>& out) {
    if (!dmi.sys_vendor && !dmi.product_name && !dmi.product_uuid)
        return;  // no firmware tables: nothing names the product
    std::optional<std::string> uuid = dmi.product_uuid;
    if (uuid) {
        // Windows shows the UUID in capitals.
        std::transform(uuid->begin(), uuid->end(), uuid->begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    }
    InstanceBuilder b(decl);
    b.Set(u"IdentifyingNumber", Text(dmi.product_serial));
    b.Set(u"Name", Text(dmi.product_name));
    b.Set(u"Version", Text(dmi.product_version));
    b.Set(u"Vendor", Text(dmi.sys_vendor));
    b.Set(u"UUID", Text(uuid));
    b.Set(u"SKUNumber", Text(dmi.product_sku));
    b.Set(u"Caption", Text(dmi.product_name));
    b.Set(u"Description", Text("Computer System Product"));
    out.push_back(b.Take());
}

KAVREL_WMI_CLASS(kComputerSystemProductClass);

}  // namespace kvwmi
