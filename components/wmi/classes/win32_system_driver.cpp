// Win32_SystemDriver: one instance per kernel module the kernel lists (/sys/module, with
// /proc/modules for the loaded ones). A module built into the kernel starts with it
// (StartMode "Boot") and cannot be stopped; a loadable module is loaded by the kernel or
// udev as its devices appear (StartMode "System") and can be unloaded. PathName is the
// module file modules.dep names for the running kernel; built-in modules have none.
// Module descriptions live inside the module files and are not read: Description is the
// name.
#include <sys/utsname.h>

#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "classes/os_facts.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillSystemDriver(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSystemDriverClass{u"root\\cimv2",
                                   u"Win32_SystemDriver",
                                   {
                                       {u"AcceptPause", CIM_BOOLEAN},
                                       {u"AcceptStop", CIM_BOOLEAN},
                                       {u"Caption", CIM_STRING},
                                       {u"CreationClassName", CIM_STRING},
                                       {u"Description", CIM_STRING},
                                       {u"DesktopInteract", CIM_BOOLEAN},
                                       {u"ErrorControl", CIM_STRING},
                                       {u"ExitCode", CIM_UINT32},
                                       {u"InstallDate", CIM_DATETIME},
                                       {u"Name", CIM_STRING, true},
                                       {u"PathName", CIM_STRING},
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
                                   },
                                   FillSystemDriver};

void FillSystemDriver(const ClassDecl& decl, std::vector<Instance>& out) {
    std::map<std::string, std::string> files;
    struct utsname names;
    if (::uname(&names) == 0) {
        const std::string dir = std::string("/lib/modules/") + names.release;
        if (auto dep = kvlinux::ReadFileText(dir + "/modules.dep"))
            files = kvlinux::ParseModulesDep(*dep, dir);
    }
    FillSystemDriversFrom(decl, kvlinux::ReadKernelModules(), files, ComputerName(), out);
}

std::string StateOf(const kvlinux::KernelModule& module) {
    if (module.state == "Loading")
        return "Start Pending";
    if (module.state == "Unloading")
        return "Stop Pending";
    return "Running";
}

}  // namespace

void FillSystemDriversFrom(const ClassDecl& decl, const std::vector<kvlinux::KernelModule>& modules,
                           const std::map<std::string, std::string>& module_files,
                           const std::string& computer, std::vector<Instance>& out) {
    for (const kvlinux::KernelModule& module : modules) {
        const std::string state = StateOf(module);
        InstanceBuilder b(decl);
        b.Set(u"Name", Text(module.name));
        b.Set(u"Caption", Text(module.name));
        b.Set(u"Description", Text(module.name));
        if (auto file = module_files.find(module.name);
            module.loadable && file != module_files.end())
            b.Set(u"PathName", Text(file->second));
        b.Set(u"ServiceType", Text("Kernel Driver"));
        b.Set(u"StartMode", Text(module.loadable ? "System" : "Boot"));
        b.Set(u"State", Text(state));
        b.Set(u"Started", state != "Stop Pending");
        b.Set(u"AcceptStop", module.loadable);
        b.Set(u"AcceptPause", false);
        b.Set(u"DesktopInteract", false);
        b.Set(u"ExitCode", Unsigned(0));
        b.Set(u"Status", Text("OK"));
        b.Set(u"CreationClassName", std::u16string(decl.name));
        b.Set(u"SystemCreationClassName", Text("Win32_ComputerSystem"));
        b.Set(u"SystemName", Text(computer));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kSystemDriverClass);

}  // namespace kvwmi
