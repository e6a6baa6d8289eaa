// Win32_GroupUser: which accounts belong to which group. A group's members are the names its
// entry lists (getent group) and every account whose primary group it is (passwd's gid:
// Linux counts those as members without listing them), each once. GroupComponent refers to
// the Win32_Group, PartComponent to the Win32_UserAccount, both with the computer name as
// Domain, as for Windows' local accounts. A listed name that is no account is left out.
#include <set>

#include "classes/association_support.h"
#include "classes/class_values.h"
#include "classes/os_facts.h"
#include "linux/accounts.h"

namespace kvwmi {

namespace {

void FillGroupUser(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kGroupUserClass{u"root\\cimv2",
                                u"Win32_GroupUser",
                                {
                                    {u"GroupComponent", CIM_REFERENCE, true},
                                    {u"PartComponent", CIM_REFERENCE, true},
                                },
                                FillGroupUser};

void FillGroupUser(const ClassDecl& decl, std::vector<Instance>& out) {
    const CimValue domain = Text(ComputerName());
    const std::vector<kvlinux::UserEntry> users = kvlinux::ReadUsers();
    std::set<std::string> accounts;
    for (const kvlinux::UserEntry& user : users)
        accounts.insert(user.name);
    for (const kvlinux::GroupEntry& group : kvlinux::ReadGroups()) {
        std::set<std::string> members;
        for (const std::string& member : group.members) {
            if (accounts.count(member))
                members.insert(member);
        }
        for (const kvlinux::UserEntry& user : users) {
            if (user.gid == group.gid)
                members.insert(user.name);
        }
        const CimValue group_ref =
            ReferenceTo(u"Win32_Group", {{u"Domain", domain}, {u"Name", Text(group.name)}});
        for (const std::string& member : members) {
            InstanceBuilder b(decl);
            b.Set(u"GroupComponent", group_ref);
            b.Set(u"PartComponent", ReferenceTo(u"Win32_UserAccount",
                                                {{u"Domain", domain}, {u"Name", Text(member)}}));
            out.push_back(b.Take());
        }
    }
}

}  // namespace

KAVREL_WMI_CLASS(kGroupUserClass);

}  // namespace kvwmi
