// Win32_LogonSession: one instance per user log-on recorded in utmp (/run/utmp): terminal,
// console and remote log-ins, the graphical session where the display manager records it.
// LogonId is the pid of the session's log-in process, which no other session has;
// LogonType is 10 (remote interactive) when utmp names a remote host, 2 (interactive)
// otherwise; StartTime the log-on time.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "provider/cim_datetime.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillLogonSession(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kLogonSessionClass{u"root\\cimv2",
                                   u"Win32_LogonSession",
                                   {
                                       {u"AuthenticationPackage", CIM_STRING},
                                       {u"Caption", CIM_STRING},
                                       {u"Description", CIM_STRING},
                                       {u"InstallDate", CIM_DATETIME},
                                       {u"LogonId", CIM_STRING, true},
                                       {u"LogonType", CIM_UINT32},
                                       {u"Name", CIM_STRING},
                                       {u"StartTime", CIM_DATETIME},
                                       {u"Status", CIM_STRING},
                                   },
                                   FillLogonSession};

void FillLogonSession(const ClassDecl& decl, std::vector<Instance>& out) {
    FillLogonSessionsFrom(decl, kvlinux::ReadLoginSessions(), out);
}

}  // namespace

void FillLogonSessionsFrom(const ClassDecl& decl,
                           const std::vector<kvlinux::LoginSession>& sessions,
                           std::vector<Instance>& out) {
    for (const kvlinux::LoginSession& s : sessions) {
        InstanceBuilder b(decl);
        b.Set(u"LogonId", Text(std::to_string(s.pid)));
        b.Set(u"LogonType", Unsigned(s.host.empty() ? 2 : 10));
        b.Set(u"StartTime", FormatCimDateTimeLocal(s.login_time));
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kLogonSessionClass);

}  // namespace kvwmi
