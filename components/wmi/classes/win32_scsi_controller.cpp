// Win32_SCSIController: one instance per PCI storage controller of Windows' "storage
// adapter" class: SCSI, SAS, RAID, NVMe and virtual storage controllers (PCI class 01
// other than IDE, ATA and SATA). DriverName is the bound kernel driver; Index the
// controller's place in bus order.
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillScsiController(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kScsiControllerClass{
    u"root\\cimv2",
    u"Win32_SCSIController",
    {
        {u"Availability", CIM_UINT16},
        {u"Caption", CIM_STRING},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"ControllerTimeouts", CIM_UINT32},
        {u"CreationClassName", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"DeviceMap", CIM_STRING},
        {u"DriverName", CIM_STRING},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"HardwareVersion", CIM_STRING},
        {u"Index", CIM_UINT32},
        {u"InstallDate", CIM_DATETIME},
        {u"LastErrorCode", CIM_UINT32},
        {u"Manufacturer", CIM_STRING},
        {u"MaxDataWidth", CIM_UINT32},
        {u"MaxNumberControlled", CIM_UINT32},
        {u"MaxTransferRate", CIM_UINT64},
        {u"Name", CIM_STRING},
        {u"PNPDeviceID", CIM_STRING},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"ProtectionManagement", CIM_UINT16},
        {u"ProtocolSupported", CIM_UINT16},
        {u"Status", CIM_STRING},
        {u"StatusInfo", CIM_UINT16},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
        {u"TimeOfLastReset", CIM_DATETIME},
    },
    FillScsiController};

void FillScsiController(const ClassDecl& decl, std::vector<Instance>& out) {
    FillStorageControllersFrom(decl, "SCSIAdapter", kvlinux::ReadPciDevices(), IdDatabases::Read(),
                               kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

KAVREL_WMI_CLASS(kScsiControllerClass);

}  // namespace kvwmi
