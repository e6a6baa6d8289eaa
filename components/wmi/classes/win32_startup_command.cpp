// Win32_StartupCommand: the commands run by themselves at boot or log-on (see
// linux/startup_commands.h for the places read): desktop autostart entries, machine-wide
// and per user, @reboot cron lines and an executable /etc/rc.local.
//
// Location is the file the entry comes from; User is "All Users" for machine-wide desktop
// entries, as Windows names its common startup folder, else the user the command runs as,
// with that user's SID in UserSID.
#include "classes/class_values.h"
#include "linux/accounts.h"
#include "linux/startup_commands.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillStartupCommand(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kStartupCommandClass{u"root\\cimv2",
                                     u"Win32_StartupCommand",
                                     {
                                         {u"Caption", CIM_STRING},
                                         {u"Description", CIM_STRING},
                                         {u"SettingID", CIM_STRING},
                                         {u"Command", CIM_STRING, true},
                                         {u"Location", CIM_STRING, true},
                                         {u"Name", CIM_STRING, true},
                                         {u"User", CIM_STRING, true},
                                         {u"UserSID", CIM_STRING},
                                     },
                                     FillStartupCommand};

void FillStartupCommand(const ClassDecl& decl, std::vector<Instance>& out) {
    for (const kvlinux::StartupEntry& entry :
         kvlinux::ReadStartupCommands("/", kvlinux::ReadUsers())) {
        InstanceBuilder b(decl);
        b.Set(u"Command", Text(entry.command));
        b.Set(u"Location", Text(entry.location));
        b.Set(u"Name", Text(entry.name));
        b.Set(u"User", Text(entry.user));
        if (entry.uid)
            b.Set(u"UserSID", Text(kvlinux::UserSidText(*entry.uid)));
        b.Set(u"Caption", Text(entry.name));
        b.Set(u"Description", Text(entry.name));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kStartupCommandClass);

}  // namespace kvwmi
