// Win32_PageFileUsage: one instance per active swap area of /proc/swaps. Name is the swap
// file or partition; sizes are in MiB, as Windows counts them: AllocatedBaseSize the
// area's size, CurrentUsage what is in use. Linux keeps no peak of swap use.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillPageFileUsage(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPageFileUsageClass{u"root\\cimv2",
                                    u"Win32_PageFileUsage",
                                    {
                                        {u"Caption", CIM_STRING},
                                        {u"Description", CIM_STRING},
                                        {u"InstallDate", CIM_DATETIME},
                                        {u"Status", CIM_STRING},
                                        {u"AllocatedBaseSize", CIM_UINT32},
                                        {u"CurrentUsage", CIM_UINT32},
                                        {u"Name", CIM_STRING, true},
                                        {u"PeakUsage", CIM_UINT32},
                                        {u"TempPageFile", CIM_BOOLEAN},
                                    },
                                    FillPageFileUsage};

void FillPageFileUsage(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPageFileUsageFrom(decl, kvlinux::ReadSwapAreas(), out);
}

}  // namespace

void FillPageFileUsageFrom(const ClassDecl& decl, const std::vector<kvlinux::SwapArea>& areas,
                           std::vector<Instance>& out) {
    for (const kvlinux::SwapArea& area : areas) {
        InstanceBuilder b(decl);
        b.Set(u"Name", Text(area.path));
        b.Set(u"Caption", Text(area.path));
        b.Set(u"Description", Text(area.path));
        b.Set(u"AllocatedBaseSize",
              Unsigned(std::min<std::uint64_t>(area.size_kib / 1024, 0xFFFFFFFF)));
        b.Set(u"CurrentUsage", Unsigned(std::min<std::uint64_t>(area.used_kib / 1024, 0xFFFFFFFF)));
        b.Set(u"TempPageFile", false);
        b.Set(u"Status", Text("OK"));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPageFileUsageClass);

}  // namespace kvwmi
