// The fill functions of the classes whose source a test cannot prepare on the machine it
// runs on (firmware tables, memory modules, disks), split from their readers: each takes
// the reader's result, so the class is tested on fixture data the same way it is filled.
// Pure functions, safe from any thread.
#pragma once

#include <vector>

#include "linux/block_devices.h"
#include "linux/dmi.h"
#include "provider/class_decl.h"

namespace kvwmi {

void FillBiosFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi, std::vector<Instance>& out);
void FillBaseBoardFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi,
                       std::vector<Instance>& out);
void FillSystemEnclosureFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi,
                             std::vector<Instance>& out);
void FillComputerSystemProductFrom(const ClassDecl& decl, const kvlinux::DmiInfo& dmi,
                                   std::vector<Instance>& out);
void FillPhysicalMemoryFrom(const ClassDecl& decl,
                            const std::vector<kvlinux::MemoryDevice>& devices,
                            std::vector<Instance>& out);
void FillDiskDriveFrom(const ClassDecl& decl, const std::vector<kvlinux::DiskInfo>& disks,
                       std::vector<Instance>& out);
void FillDiskPartitionFrom(const ClassDecl& decl, const std::vector<kvlinux::DiskInfo>& disks,
                           std::vector<Instance>& out);

}  // namespace kvwmi
