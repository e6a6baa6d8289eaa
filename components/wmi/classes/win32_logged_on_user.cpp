// Win32_LoggedOnUser: one association per utmp log-on, from the user's account
// (Win32_Account path, the computer as its domain) to the Win32_LogonSession of the same
// log-in process.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "classes/os_facts.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillLoggedOnUser(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kLoggedOnUserClass{u"root\\cimv2",
                                   u"Win32_LoggedOnUser",
                                   {
                                       {u"Antecedent", CIM_REFERENCE, true},
                                       {u"Dependent", CIM_REFERENCE, true},
                                   },
                                   FillLoggedOnUser};

// A key value inside an object path: quotes and backslashes escaped.
std::string Quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void FillLoggedOnUser(const ClassDecl& decl, std::vector<Instance>& out) {
    FillLoggedOnUsersFrom(decl, kvlinux::ReadLoginSessions(), ComputerName(), out);
}

}  // namespace

void FillLoggedOnUsersFrom(const ClassDecl& decl,
                           const std::vector<kvlinux::LoginSession>& sessions,
                           const std::string& computer, std::vector<Instance>& out) {
    const std::string prefix = "\\\\" + computer + "\\root\\cimv2:";
    for (const kvlinux::LoginSession& s : sessions) {
        InstanceBuilder b(decl);
        b.Set(u"Antecedent", Text(prefix + "Win32_Account.Domain=" + Quoted(computer) +
                                  ",Name=" + Quoted(s.user)));
        b.Set(u"Dependent",
              Text(prefix + "Win32_LogonSession.LogonId=" + Quoted(std::to_string(s.pid))));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kLoggedOnUserClass);

}  // namespace kvwmi
