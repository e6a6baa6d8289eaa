// Win32_SerialPort: one instance per serial port with hardware behind it: on-board UARTs
// the 8250 driver found (ttyS*), USB serial adapters (ttyUSB*), USB modems (ttyACM*) and
// the UARTs of ARM boards (ttyAMA*). DeviceID and Name are the device node; MaxBaudRate is
// the UART clock over 16 where the kernel gives the clock; ProviderType "Modem Device" for
// USB modems, "RS232 Serial Port" otherwise.
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "linux/host_info.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillSerialPort(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSerialPortClass{u"root\\cimv2",
                                 u"Win32_SerialPort",
                                 {
                                     {u"Availability", CIM_UINT16},
                                     {u"Binary", CIM_BOOLEAN},
                                     {u"Capabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                     {u"CapabilityDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
                                     {u"Caption", CIM_STRING},
                                     {u"ConfigManagerErrorCode", CIM_UINT32},
                                     {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                     {u"CreationClassName", CIM_STRING},
                                     {u"Description", CIM_STRING},
                                     {u"DeviceID", CIM_STRING, true},
                                     {u"ErrorCleared", CIM_BOOLEAN},
                                     {u"ErrorDescription", CIM_STRING},
                                     {u"InstallDate", CIM_DATETIME},
                                     {u"LastErrorCode", CIM_UINT32},
                                     {u"MaxBaudRate", CIM_UINT32},
                                     {u"MaximumInputBufferSize", CIM_UINT32},
                                     {u"MaximumOutputBufferSize", CIM_UINT32},
                                     {u"MaxNumberControlled", CIM_UINT32},
                                     {u"Name", CIM_STRING},
                                     {u"OSAutoDiscovered", CIM_BOOLEAN},
                                     {u"PNPDeviceID", CIM_STRING},
                                     {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                     {u"PowerManagementSupported", CIM_BOOLEAN},
                                     {u"ProtocolSupported", CIM_UINT16},
                                     {u"ProviderType", CIM_STRING},
                                     {u"SettableBaudRate", CIM_BOOLEAN},
                                     {u"SettableDataBits", CIM_BOOLEAN},
                                     {u"SettableFlowControl", CIM_BOOLEAN},
                                     {u"SettableParity", CIM_BOOLEAN},
                                     {u"SettableParityCheck", CIM_BOOLEAN},
                                     {u"SettableRLSD", CIM_BOOLEAN},
                                     {u"SettableStopBits", CIM_BOOLEAN},
                                     {u"Status", CIM_STRING},
                                     {u"StatusInfo", CIM_UINT16},
                                     {u"Supports16BitMode", CIM_BOOLEAN},
                                     {u"SupportsDTRDSR", CIM_BOOLEAN},
                                     {u"SupportsElapsedTimeouts", CIM_BOOLEAN},
                                     {u"SupportsIntTimeouts", CIM_BOOLEAN},
                                     {u"SupportsParityCheck", CIM_BOOLEAN},
                                     {u"SupportsRLSD", CIM_BOOLEAN},
                                     {u"SupportsRTSCTS", CIM_BOOLEAN},
                                     {u"SupportsSpecialCharacters", CIM_BOOLEAN},
                                     {u"SupportsXOnXOff", CIM_BOOLEAN},
                                     {u"SupportsXOnXOffSet", CIM_BOOLEAN},
                                     {u"SystemCreationClassName", CIM_STRING},
                                     {u"SystemName", CIM_STRING},
                                     {u"TimeOfLastReset", CIM_DATETIME},
                                 },
                                 FillSerialPort};

void FillSerialPort(const ClassDecl& decl, std::vector<Instance>& out) {
    FillSerialPortsFrom(decl, kvlinux::ReadSerialPorts(), kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillSerialPortsFrom(const ClassDecl& decl, const std::vector<kvlinux::SerialPort>& ports,
                         const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::SerialPort& port : ports) {
        const std::string node = "/dev/" + port.name;
        const bool modem = kvlinux::StartsWith(port.name, "ttyACM");
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(node));
        b.Set(u"Name", Text(node));
        b.Set(u"Caption", Text(node));
        b.Set(u"Description", Text(modem ? "USB Modem" : "Communications Port"));
        b.Set(u"ProviderType", Text(modem ? "Modem Device" : "RS232 Serial Port"));
        if (port.uart_clock && *port.uart_clock >= 16)
            b.Set(u"MaxBaudRate",
                  Unsigned(std::min<std::uint64_t>(*port.uart_clock / 16, 0xFFFFFFFF)));
        if (port.hardware)
            b.Set(u"PNPDeviceID", Text(kvlinux::PnpDeviceId(*port.hardware)));
        b.Set(u"OSAutoDiscovered", true);
        b.Set(u"Binary", true);
        SetDeviceWorking(b, true);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kSerialPortClass);

}  // namespace kvwmi
