// Win32_Battery: one instance per battery powering the machine (/sys/class/power_supply,
// type Battery, scope not Device); a machine without one has no instances. DeviceID is the
// supply's name ("BAT0"). Capacities are in mWh and DesignVoltage in mV, as Windows counts
// them (a battery that reports charge is converted with its design voltage).
// BatteryStatus: 1 discharging, 2 on mains and not charging, 3 fully charged, 6 charging.
// EstimatedRunTime (minutes) is the energy left over the present drain while discharging.
#include "classes/class_values.h"
#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillBattery(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kBatteryClass{u"root\\cimv2",
                              u"Win32_Battery",
                              {
                                  {u"Availability", CIM_UINT16},
                                  {u"BatteryRechargeTime", CIM_UINT32},
                                  {u"BatteryStatus", CIM_UINT16},
                                  {u"Caption", CIM_STRING},
                                  {u"Chemistry", CIM_UINT16},
                                  {u"ConfigManagerErrorCode", CIM_UINT32},
                                  {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                  {u"CreationClassName", CIM_STRING},
                                  {u"Description", CIM_STRING},
                                  {u"DesignCapacity", CIM_UINT32},
                                  {u"DesignVoltage", CIM_UINT64},
                                  {u"DeviceID", CIM_STRING, true},
                                  {u"ErrorCleared", CIM_BOOLEAN},
                                  {u"ErrorDescription", CIM_STRING},
                                  {u"EstimatedChargeRemaining", CIM_UINT16},
                                  {u"EstimatedRunTime", CIM_UINT32},
                                  {u"ExpectedBatteryLife", CIM_UINT32},
                                  {u"ExpectedLife", CIM_UINT32},
                                  {u"FullChargeCapacity", CIM_UINT32},
                                  {u"InstallDate", CIM_DATETIME},
                                  {u"LastErrorCode", CIM_UINT32},
                                  {u"MaxRechargeTime", CIM_UINT32},
                                  {u"Name", CIM_STRING},
                                  {u"PNPDeviceID", CIM_STRING},
                                  {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"PowerManagementSupported", CIM_BOOLEAN},
                                  {u"SmartBatteryVersion", CIM_STRING},
                                  {u"Status", CIM_STRING},
                                  {u"StatusInfo", CIM_UINT16},
                                  {u"SystemCreationClassName", CIM_STRING},
                                  {u"SystemName", CIM_STRING},
                                  {u"TimeOnBattery", CIM_UINT32},
                                  {u"TimeToFullCharge", CIM_UINT32},
                              },
                              FillBattery};

void FillBattery(const ClassDecl& decl, std::vector<Instance>& out) {
    FillBatteriesFrom(decl, kvlinux::ReadBatteries(), kvlinux::ReadHostInfo().host_name, out);
}

std::uint64_t StatusCode(const std::string& status) {
    if (status == "Discharging")
        return 1;
    if (status == "Full")
        return 3;
    if (status == "Charging")
        return 6;
    return 2;  // on mains, not charging, or unknown
}

// Windows' chemistry codes for the kernel's technology names.
std::optional<std::uint64_t> ChemistryCode(const std::optional<std::string>& technology) {
    if (!technology)
        return std::nullopt;
    if (*technology == "Li-ion" || *technology == "LiFe" || *technology == "LiMn")
        return 6;
    if (*technology == "Li-poly")
        return 8;
    if (*technology == "NiMH")
        return 5;
    if (*technology == "NiCd")
        return 4;
    return 2;  // unknown
}

CimValue MilliUnits(const std::optional<std::uint64_t>& micro) {
    if (!micro)
        return {};
    return Unsigned(std::min<std::uint64_t>(*micro / 1000, 0xFFFFFFFF));
}

}  // namespace

void FillBatteriesFrom(const ClassDecl& decl, const std::vector<kvlinux::Battery>& batteries,
                       const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::Battery& battery : batteries) {
        const std::string name = battery.model_name.value_or(battery.name);
        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(battery.name));
        b.Set(u"Name", Text(name));
        b.Set(u"Caption", Text("Internal Battery"));
        b.Set(u"Description", Text("Internal Battery"));
        b.Set(u"BatteryStatus", Unsigned(StatusCode(battery.status)));
        b.Set(u"Chemistry", Unsigned(ChemistryCode(battery.technology)));
        b.Set(u"EstimatedChargeRemaining", Unsigned(battery.capacity_percent));
        b.Set(u"DesignCapacity", MilliUnits(battery.energy_full_design_uwh));
        b.Set(u"FullChargeCapacity", MilliUnits(battery.energy_full_uwh));
        if (battery.voltage_min_design_uv)
            b.Set(u"DesignVoltage", Unsigned(*battery.voltage_min_design_uv / 1000));
        if (battery.status == "Discharging" && battery.energy_now_uwh && battery.power_now_uw &&
            *battery.power_now_uw > 0)
            b.Set(u"EstimatedRunTime",
                  Unsigned(*battery.energy_now_uwh * 60 / *battery.power_now_uw));
        SetDeviceWorking(b, true);
        SetLogicalDeviceNames(b, decl, host);
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kBatteryClass);

}  // namespace kvwmi
