// Win32_Environment: the persistent environment variables, as Windows lists those of the
// system and of each user (not a process's momentary environment).
//
// System variables are those of /etc/environment, which pam_env gives every log-on:
// UserName "<SYSTEM>", SystemVariable true. A user's variables are those of their
// ~/.config/environment.d/*.conf, which the user's service manager gives their session:
// UserName "<computer>\<user>", SystemVariable false. Values are as written, references to
// other variables unexpanded, as WMI shows REG_EXPAND_SZ values.
#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/accounts.h"
#include "linux/environment_vars.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillEnvironment(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kEnvironmentClass{u"root\\cimv2",
                                  u"Win32_Environment",
                                  {
                                      {u"Caption", CIM_STRING},
                                      {u"Description", CIM_STRING},
                                      {u"InstallDate", CIM_DATETIME},
                                      {u"Status", CIM_STRING},
                                      {u"Name", CIM_STRING, true},
                                      {u"SystemVariable", CIM_BOOLEAN},
                                      {u"UserName", CIM_STRING, true},
                                      {u"VariableValue", CIM_STRING},
                                  },
                                  FillEnvironment};

void Add(const ClassDecl& decl, const std::string& user, bool system,
         const std::vector<kvlinux::EnvVar>& vars, std::vector<Instance>& out) {
    for (const auto& [name, value] : vars) {
        const std::string caption = user + "\\" + name;
        InstanceBuilder b(decl);
        b.Set(u"Name", Text(name));
        b.Set(u"UserName", Text(user));
        // An empty value is still a value, not a missing one.
        b.Set(u"VariableValue", kvwin::FromUtf8(value));
        b.Set(u"SystemVariable", system);
        b.Set(u"Caption", Text(caption));
        b.Set(u"Description", Text(caption));
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

void FillEnvironment(const ClassDecl& decl, std::vector<Instance>& out) {
    Add(decl, "<SYSTEM>", true, kvlinux::ReadEtcEnvironment(), out);
    const std::string domain = ComputerName();
    for (const kvlinux::UserEntry& user : kvlinux::ReadUsers()) {
        if (user.home.empty() || user.home == "/")
            continue;
        Add(decl, domain + "\\" + user.name, false,
            kvlinux::ReadEnvironmentDir(user.home + "/.config/environment.d"), out);
    }
}

}  // namespace

KAVREL_WMI_CLASS(kEnvironmentClass);

}  // namespace kvwmi
