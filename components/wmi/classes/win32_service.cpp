// Win32_Service: one instance per systemd service unit, read from the unit files (see
// linux/systemd_units.h for the folders and precedence), so services are listed even where
// no service manager runs.
//
// Name is the unit name without ".service" ("ssh"); DisplayName and Description the unit's
// Description=; PathName the first ExecStart= command; StartName the User= it runs as, else
// "root". StartMode: "Auto" when the unit is enabled (linked from a *.wants or *.requires
// folder), "Disabled" when masked, else "Manual" (static units, started by others, too).
//
// State and Started need the running manager. When systemd runs the machine, State is
// "Running" for a unit with a live invocation and "Stopped" otherwise, Started says the
// same, and ProcessId is the lowest pid of the unit's control group (0 when stopped). Without a
// running systemd (a container started without one), nothing can tell whether a service runs: State
// is "Unknown" and Started and ProcessId are null.
#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/systemd_units.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillService(const ClassDecl& decl, std::vector<Instance>& out);
bool LookupService(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                   const Selection& selection, std::vector<Instance>& out);

const ClassDecl kServiceClass{u"root\\cimv2",
                              u"Win32_Service",
                              {
                                  {u"AcceptPause", CIM_BOOLEAN},
                                  {u"AcceptStop", CIM_BOOLEAN},
                                  {u"Caption", CIM_STRING},
                                  {u"CheckPoint", CIM_UINT32},
                                  {u"CreationClassName", CIM_STRING},
                                  {u"DelayedAutoStart", CIM_BOOLEAN},
                                  {u"Description", CIM_STRING},
                                  {u"DesktopInteract", CIM_BOOLEAN},
                                  {u"DisplayName", CIM_STRING},
                                  {u"ErrorControl", CIM_STRING},
                                  {u"ExitCode", CIM_UINT32},
                                  {u"InstallDate", CIM_DATETIME},
                                  {u"Name", CIM_STRING, true},
                                  {u"PathName", CIM_STRING},
                                  {u"ProcessId", CIM_UINT32},
                                  {u"ServiceSpecificExitCode", CIM_UINT32},
                                  {u"ServiceType", CIM_STRING},
                                  {u"Started", CIM_BOOLEAN},
                                  {u"StartMode", CIM_STRING},
                                  {u"StartName", CIM_STRING},
                                  {u"State", CIM_STRING},
                                  {u"Status", CIM_STRING},
                                  {u"SystemCreationClassName", CIM_STRING},
                                  {u"SystemName", CIM_STRING},
                                  {u"TagId", CIM_UINT32},
                                  {u"WaitHint", CIM_UINT32},
                              },
                              FillService,
                              nullptr,
                              LookupService};

void FillServicesFrom(const ClassDecl& decl, const std::vector<kvlinux::ServiceUnit>& units,
                      std::vector<Instance>& out) {
    const std::string host = ComputerName();
    for (const kvlinux::ServiceUnit& unit : units) {
        const std::string name = unit.unit.substr(0, unit.unit.size() - 8);  // ".service"
        const std::string display = unit.description.empty() ? name : unit.description;
        InstanceBuilder b(decl);
        b.Set(u"Name", Text(name));
        b.Set(u"DisplayName", Text(display));
        b.Set(u"Caption", Text(display));
        b.Set(u"Description", Text(unit.description));
        b.Set(u"PathName", Text(unit.exec_start));
        b.Set(u"StartMode", Text(unit.start_mode == kvlinux::UnitStartMode::Auto       ? "Auto"
                                 : unit.start_mode == kvlinux::UnitStartMode::Disabled ? "Disabled"
                                                                                       : "Manual"));
        switch (unit.run_state) {
            case kvlinux::UnitRunState::Running:
                b.Set(u"State", Text("Running"));
                b.Set(u"Started", true);
                break;
            case kvlinux::UnitRunState::Stopped:
                b.Set(u"State", Text("Stopped"));
                b.Set(u"Started", false);
                b.Set(u"ProcessId", Unsigned(0));  // as Windows reports a stopped service
                break;
            case kvlinux::UnitRunState::Unknown:
                b.Set(u"State", Text("Unknown"));
                break;
        }
        if (unit.main_pid)
            b.Set(u"ProcessId", Unsigned(static_cast<std::uint64_t>(*unit.main_pid)));
        b.Set(u"StartName", Text(unit.user.value_or("root")));
        b.Set(u"ServiceType", Text("Own Process"));
        b.Set(u"SystemName", Text(host));
        out.push_back(b.Take());
    }
}

void FillService(const ClassDecl& decl, std::vector<Instance>& out) {
    FillServicesFrom(decl, kvlinux::ReadServiceUnits(), out);
}

// A query for one service by name (Name = 'ssh') reads that unit's files alone.
bool LookupService(const ClassDecl& decl, const std::vector<PropertyEquals>& equals,
                   const Selection&, std::vector<Instance>& out) {
    const int name = decl.IndexOf(u"Name");
    for (const PropertyEquals& condition : equals) {
        if (condition.property != name)
            continue;
        const std::string unit = kvwin::ToUtf8(condition.text) + ".service";
        if (unit.find_first_of("/\\") != std::string::npos || unit.find("@.") != std::string::npos)
            return true;  // no unit has such a name
        FillServicesFrom(decl, kvlinux::ReadServiceUnits(kvlinux::MachineUnitLocations("/"), unit),
                         out);
        return true;
    }
    return false;
}

}  // namespace

KAVREL_WMI_CLASS(kServiceClass);

}  // namespace kvwmi
