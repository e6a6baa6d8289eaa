// Win32_UserAccount: one instance per user the name service knows (getent passwd), system
// accounts included, as Windows lists its built-in accounts.
//
// Domain is the computer name, as for Windows local accounts, and Caption "<domain>\<name>".
// FullName is the GECOS field up to its first comma, Description the whole field. SID is
// the one the platform layer gives the uid (S-1-5-18 for root, S-1-22-1-<uid> otherwise).
// LocalAccount says whether /etc/passwd defines the user (not a directory service).
// Disabled reflects a locked password or an expired account in /etc/shadow; the shadow
// file is readable by root only, so for others Disabled is null. The same line gives the
// password rules: PasswordRequired (a password is set), PasswordExpires (a maximum age),
// PasswordChangeable (not passwd's "minimum age above maximum") and Lockout (locked with "!").
#include <algorithm>
#include <ctime>

#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/accounts.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillUserAccount(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kUserAccountClass{u"root\\cimv2",
                                  u"Win32_UserAccount",
                                  {
                                      {u"AccountType", CIM_UINT32},
                                      {u"Caption", CIM_STRING},
                                      {u"Description", CIM_STRING},
                                      {u"Disabled", CIM_BOOLEAN},
                                      {u"Domain", CIM_STRING, true},
                                      {u"FullName", CIM_STRING},
                                      {u"InstallDate", CIM_DATETIME},
                                      {u"LocalAccount", CIM_BOOLEAN},
                                      {u"Lockout", CIM_BOOLEAN},
                                      {u"Name", CIM_STRING, true},
                                      {u"PasswordChangeable", CIM_BOOLEAN},
                                      {u"PasswordExpires", CIM_BOOLEAN},
                                      {u"PasswordRequired", CIM_BOOLEAN},
                                      {u"SID", CIM_STRING},
                                      {u"SIDType", CIM_UINT8},
                                      {u"Status", CIM_STRING},
                                  },
                                  FillUserAccount};

void FillUserAccount(const ClassDecl& decl, std::vector<Instance>& out) {
    const std::string domain = ComputerName();
    const auto local = kvlinux::LocalUserNames();
    const auto shadow = kvlinux::ReadFileText("/etc/shadow");
    const std::int64_t today = std::time(nullptr) / 86400;
    for (const kvlinux::UserEntry& user : kvlinux::ReadUsers()) {
        InstanceBuilder b(decl);
        b.Set(u"Domain", Text(domain));
        b.Set(u"Name", Text(user.name));
        b.Set(u"Caption", Text(domain + "\\" + user.name));
        b.Set(u"FullName", Text(user.FullName()));
        b.Set(u"Description", Text(user.gecos));
        b.Set(u"SID", Text(kvlinux::UserSidText(user.uid)));
        b.Set(u"SIDType", Unsigned(1));        // SidTypeUser
        b.Set(u"AccountType", Unsigned(512));  // a normal account
        b.Set(u"LocalAccount", std::find(local.begin(), local.end(), user.name) != local.end());
        if (shadow) {
            b.Set(u"Disabled", Boolean(kvlinux::ParseShadowDisabled(*shadow, user.name, today)));
            if (auto aging = kvlinux::ParseShadowAging(*shadow, user.name)) {
                b.Set(u"PasswordRequired", aging->password_required);
                b.Set(u"PasswordChangeable", aging->password_changeable);
                b.Set(u"PasswordExpires", aging->password_expires);
                b.Set(u"Lockout", aging->locked);
            }
        }
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kUserAccountClass);

}  // namespace kvwmi
