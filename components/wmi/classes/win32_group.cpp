// Win32_Group: one instance per group the name service knows (getent group). Domain is the
// computer name; SID is S-1-22-2-<gid>, the platform layer's mapping; SIDType 4 (an alias,
// as Windows types its local groups). LocalAccount says whether /etc/group defines it.
#include <algorithm>

#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/accounts.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillGroup(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kGroupClass{u"root\\cimv2",
                            u"Win32_Group",
                            {
                                {u"Caption", CIM_STRING},
                                {u"Description", CIM_STRING},
                                {u"InstallDate", CIM_DATETIME},
                                {u"Status", CIM_STRING},
                                {u"LocalAccount", CIM_BOOLEAN},
                                {u"SID", CIM_STRING},
                                {u"SIDType", CIM_UINT8},
                                {u"Domain", CIM_STRING, true},
                                {u"Name", CIM_STRING, true},
                            },
                            FillGroup};

void FillGroup(const ClassDecl& decl, std::vector<Instance>& out) {
    const std::string domain = ComputerName();
    const auto local = kvlinux::LocalGroupNames();
    for (const kvlinux::GroupEntry& group : kvlinux::ReadGroups()) {
        InstanceBuilder b(decl);
        b.Set(u"Domain", Text(domain));
        b.Set(u"Name", Text(group.name));
        b.Set(u"Caption", Text(domain + "\\" + group.name));
        b.Set(u"SID", Text(kvlinux::GroupSidText(group.gid)));
        b.Set(u"SIDType", Unsigned(4));  // SidTypeAlias
        b.Set(u"LocalAccount", std::find(local.begin(), local.end(), group.name) != local.end());
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kGroupClass);

}  // namespace kvwmi
