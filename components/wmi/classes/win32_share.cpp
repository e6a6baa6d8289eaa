// Win32_Share: one instance per Samba share of /etc/samba/smb.conf ([global] aside) and per
// NFS export of /etc/exports and /etc/exports.d. Name is the Samba section or the exported
// folder; Type 0 (disk drive) or 1 (print queue) for Samba's printable shares. Description
// is the share's comment, or the clients an export is open to.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillShare(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kShareClass{u"root\\cimv2",
                            u"Win32_Share",
                            {
                                {u"AccessMask", CIM_UINT32},
                                {u"AllowMaximum", CIM_BOOLEAN},
                                {u"Caption", CIM_STRING},
                                {u"Description", CIM_STRING},
                                {u"InstallDate", CIM_DATETIME},
                                {u"MaximumAllowed", CIM_UINT32},
                                {u"Name", CIM_STRING, true},
                                {u"Path", CIM_STRING},
                                {u"Status", CIM_STRING},
                                {u"Type", CIM_UINT32},
                            },
                            FillShare};

void FillShare(const ClassDecl& decl, std::vector<Instance>& out) {
    FillSharesFrom(decl, kvlinux::ReadShares(), out);
}

}  // namespace

void FillSharesFrom(const ClassDecl& decl, const std::vector<kvlinux::SharedResource>& shares,
                    std::vector<Instance>& out) {
    for (const kvlinux::SharedResource& share : shares) {
        const std::string description =
            share.nfs ? "NFS export to " + (share.clients.empty() ? "*" : share.clients)
                      : share.comment;
        InstanceBuilder b(decl);
        b.Set(u"Name", Text(share.name));
        b.Set(u"Path", Text(share.path));
        b.Set(u"Caption", Text(description.empty() ? share.name : description));
        b.Set(u"Description", Text(description));
        b.Set(u"Type", Unsigned(share.printer ? 1 : 0));
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kShareClass);

}  // namespace kvwmi
