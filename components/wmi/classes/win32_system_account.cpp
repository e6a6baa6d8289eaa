// Win32_SystemAccount: the accounts of the system rather than of people: root and the
// service accounts below UID_MIN of /etc/login.defs (1000 unless set), and "nobody". Domain
// is the computer name, as for Win32_UserAccount; SIDs follow the same mapping (root is
// S-1-5-18, the others S-1-22-1-<uid>).
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "classes/os_facts.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillSystemAccount(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kSystemAccountClass{u"root\\cimv2",
                                    u"Win32_SystemAccount",
                                    {
                                        {u"Caption", CIM_STRING},
                                        {u"Description", CIM_STRING},
                                        {u"Domain", CIM_STRING, true},
                                        {u"InstallDate", CIM_DATETIME},
                                        {u"LocalAccount", CIM_BOOLEAN},
                                        {u"Name", CIM_STRING, true},
                                        {u"SID", CIM_STRING},
                                        {u"SIDType", CIM_UINT8},
                                        {u"Status", CIM_STRING},
                                    },
                                    FillSystemAccount};

constexpr std::uint32_t kNobody = 65534;

void FillSystemAccount(const ClassDecl& decl, std::vector<Instance>& out) {
    FillSystemAccountsFrom(decl, kvlinux::ReadUsers(),
                           ParseUidMin(kvlinux::ReadFileText("/etc/login.defs").value_or("")),
                           ComputerName(), out);
}

}  // namespace

std::uint32_t ParseUidMin(std::string_view login_defs) {
    for (std::string_view line : kvlinux::SplitLines(login_defs)) {
        const auto fields = kvlinux::SplitFields(line);
        if (fields.size() >= 2 && fields[0] == "UID_MIN") {
            if (auto value = kvlinux::ParseUnsigned(fields[1]); value && *value <= 0xFFFFFFFF)
                return static_cast<std::uint32_t>(*value);
        }
    }
    return 1000;
}

void FillSystemAccountsFrom(const ClassDecl& decl, const std::vector<kvlinux::UserEntry>& users,
                            std::uint32_t uid_min, const std::string& computer,
                            std::vector<Instance>& out) {
    for (const kvlinux::UserEntry& user : users) {
        if (user.uid >= uid_min && user.uid != kNobody)
            continue;
        InstanceBuilder b(decl);
        b.Set(u"Domain", Text(computer));
        b.Set(u"Name", Text(user.name));
        b.Set(u"Caption", Text(computer + "\\" + user.name));
        b.Set(u"Description", Text(user.FullName()));
        b.Set(u"SID", Text(kvlinux::UserSidText(user.uid)));
        b.Set(u"SIDType", Unsigned(1));  // a user account
        b.Set(u"LocalAccount", true);
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kSystemAccountClass);

}  // namespace kvwmi
