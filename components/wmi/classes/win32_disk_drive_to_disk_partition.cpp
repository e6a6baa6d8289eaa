// Win32_DiskDriveToDiskPartition: each disk with its partitions. A Win32_DiskPartition names
// its disk by DiskIndex, the Index of the Win32_DiskDrive it lies on.
#include <map>

#include "classes/association_support.h"

namespace kvwmi {

namespace {

void FillDiskDriveToDiskPartition(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kDiskDriveToDiskPartitionClass{u"root\\cimv2",
                                               u"Win32_DiskDriveToDiskPartition",
                                               {
                                                   {u"Antecedent", CIM_REFERENCE, true},
                                                   {u"Dependent", CIM_REFERENCE, true},
                                               },
                                               FillDiskDriveToDiskPartition};

void FillDiskDriveToDiskPartition(const ClassDecl& decl, std::vector<Instance>& out) {
    const ClassDecl* drive = nullptr;
    std::map<std::uint64_t, CimValue> drives;
    for (const Instance& instance : EndpointInstances(u"Win32_DiskDrive", {u"Index"}, drive)) {
        if (const auto* index = std::get_if<std::uint64_t>(&ValueOf(*drive, instance, u"Index")))
            drives.emplace(*index, ReferenceTo(*drive, instance));
    }
    const ClassDecl* partition = nullptr;
    for (const Instance& instance :
         EndpointInstances(u"Win32_DiskPartition", {u"DiskIndex"}, partition)) {
        const auto* disk = std::get_if<std::uint64_t>(&ValueOf(*partition, instance, u"DiskIndex"));
        auto found = disk ? drives.find(*disk) : drives.end();
        if (found == drives.end())
            continue;
        InstanceBuilder b(decl);
        b.Set(u"Antecedent", found->second);
        b.Set(u"Dependent", ReferenceTo(*partition, instance));
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kDiskDriveToDiskPartitionClass);

}  // namespace kvwmi
