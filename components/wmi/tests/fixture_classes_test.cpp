// The classes whose sources this machine may lack (firmware tables, memory modules, disks)
// filled from the captured fixtures: the values a user reads, and the same type checks the
// live walk makes.
#include <gtest/gtest.h>

#include "classes/fill_from.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::DataPath;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;
using kvwmitest::Value;

void ExpectAllWellTyped(const kvwmi::ClassDecl& decl, const std::vector<kvwmi::Instance>& out) {
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
}

TEST(FixtureClasses, FirmwareClassesFromDmi) {
    const kvlinux::DmiInfo dmi = kvlinux::ReadDmi(DataPath("sys/class/dmi/id"));

    const auto& bios = Class(u"Win32_BIOS");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillBiosFrom(bios, dmi, out);
    ASSERT_EQ(out.size(), 1u);
    ExpectAllWellTyped(bios, out);
    EXPECT_EQ(TextOf(bios, out[0], u"SMBIOSBIOSVersion"), "N32ET75W (1.51 )");
    EXPECT_EQ(TextOf(bios, out[0], u"ReleaseDate"), "20211123000000.000000+000");
    EXPECT_EQ(UnsignedOf(bios, out[0], u"SystemBiosMajorVersion"), 1u);
    EXPECT_EQ(UnsignedOf(bios, out[0], u"SystemBiosMinorVersion"), 51u);
    EXPECT_EQ(TextOf(bios, out[0], u"SerialNumber"), "<null>");  // a placeholder in the fixture
    EXPECT_EQ(TextOf(bios, out[0], u"Manufacturer"), "<null>");  // no bios_vendor file

    const auto& product = Class(u"Win32_ComputerSystemProduct");
    out.clear();
    kvwmi::FillComputerSystemProductFrom(product, dmi, out);
    ASSERT_EQ(out.size(), 1u);
    ExpectAllWellTyped(product, out);
    EXPECT_EQ(TextOf(product, out[0], u"Vendor"), "LENOVO");
    EXPECT_EQ(TextOf(product, out[0], u"Name"), "20XW0026GE");
    EXPECT_EQ(TextOf(product, out[0], u"Version"), "ThinkPad X1 Carbon Gen 9");

    const auto& enclosure = Class(u"Win32_SystemEnclosure");
    out.clear();
    kvwmi::FillSystemEnclosureFrom(enclosure, dmi, out);
    ASSERT_EQ(out.size(), 1u);
    ExpectAllWellTyped(enclosure, out);
    EXPECT_EQ(std::get<std::vector<std::int64_t>>(Value(enclosure, out[0], u"ChassisTypes")),
              std::vector<std::int64_t>{10});  // notebook

    const auto& board = Class(u"Win32_BaseBoard");
    out.clear();
    kvwmi::FillBaseBoardFrom(board, dmi, out);
    ASSERT_EQ(out.size(), 1u);
    ExpectAllWellTyped(board, out);
    EXPECT_EQ(TextOf(board, out[0], u"Manufacturer"), "LENOVO");
    EXPECT_EQ(TextOf(board, out[0], u"SerialNumber"), "<null>");  // blank in the fixture

    // No firmware data at all: no instances rather than instances of nulls.
    for (auto fill : {&kvwmi::FillBiosFrom, &kvwmi::FillBaseBoardFrom,
                      &kvwmi::FillSystemEnclosureFrom, &kvwmi::FillComputerSystemProductFrom}) {
        out.clear();
        fill(bios, kvlinux::DmiInfo{}, out);
        EXPECT_TRUE(out.empty());
    }
}

TEST(FixtureClasses, PhysicalMemoryFromSmbiosDevices) {
    kvlinux::MemoryDevice dimm;
    dimm.size_bytes = 16ull << 30;
    dimm.device_locator = "DIMM A1";
    dimm.manufacturer = "Samsung";
    dimm.speed_mts = 3200;
    dimm.form_factor = 0x0D;   // SODIMM
    dimm.data_width = 0xFFFF;  // unknown
    dimm.total_width = 64;
    const auto& decl = Class(u"Win32_PhysicalMemory");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillPhysicalMemoryFrom(decl, {dimm, dimm}, out);
    ASSERT_EQ(out.size(), 2u);
    ExpectAllWellTyped(decl, out);
    EXPECT_EQ(TextOf(decl, out[1], u"Tag"), "Physical Memory 1");
    EXPECT_EQ(UnsignedOf(decl, out[0], u"Capacity"), 16ull << 30);
    EXPECT_EQ(UnsignedOf(decl, out[0], u"FormFactor"), 12u);  // WMI's SODIMM
    EXPECT_EQ(UnsignedOf(decl, out[0], u"DataWidth"), std::nullopt);
    EXPECT_EQ(UnsignedOf(decl, out[0], u"TotalWidth"), 64u);
    EXPECT_EQ(UnsignedOf(decl, out[0], u"Speed"), 3200u);
    EXPECT_EQ(TextOf(decl, out[0], u"BankLabel"), "<null>");
}

TEST(FixtureClasses, DisksAndPartitionsFromSysfs) {
    const auto disks = kvlinux::ReadDisks(DataPath("sys"));
    const auto& drive = Class(u"Win32_DiskDrive");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillDiskDriveFrom(drive, disks, out);
    ASSERT_EQ(out.size(), 2u);
    ExpectAllWellTyped(drive, out);
    EXPECT_EQ(TextOf(drive, out[0], u"DeviceID"), "/dev/sda");
    EXPECT_EQ(TextOf(drive, out[0], u"Model"), "ST1000DM010-2EP102");
    EXPECT_EQ(TextOf(drive, out[0], u"InterfaceType"), "IDE");
    EXPECT_EQ(UnsignedOf(drive, out[0], u"Size"), 1953525168ull * 512);
    EXPECT_EQ(UnsignedOf(drive, out[0], u"Partitions"), 2u);
    EXPECT_EQ(TextOf(drive, out[0], u"MediaType"), "Fixed hard disk media");
    EXPECT_EQ(TextOf(drive, out[1], u"InterfaceType"), "USB");
    EXPECT_EQ(TextOf(drive, out[1], u"MediaType"), "Removable Media");
    EXPECT_EQ(UnsignedOf(drive, out[1], u"Index"), 1u);
    // Windows' identifier forms, inquiry fields cut to their length, blanks as underscores.
    EXPECT_EQ(TextOf(drive, out[0], u"PNPDeviceID"),
              "SCSI\\DISK&VEN_ATA&PROD_ST1000DM010-2EP1\\sda");
    EXPECT_EQ(TextOf(drive, out[1], u"PNPDeviceID"),
              "USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER_BLADE\\sdb");

    const auto& partition = Class(u"Win32_DiskPartition");
    out.clear();
    kvwmi::FillDiskPartitionFrom(partition, disks, out);
    ASSERT_EQ(out.size(), 2u);
    ExpectAllWellTyped(partition, out);
    EXPECT_EQ(TextOf(partition, out[1], u"DeviceID"), "/dev/sda2");
    EXPECT_EQ(TextOf(partition, out[1], u"Caption"), "Disk #0, Partition #1");
    EXPECT_EQ(UnsignedOf(partition, out[1], u"StartingOffset"), 1050624ull * 512);
    EXPECT_EQ(UnsignedOf(partition, out[1], u"NumberOfBlocks"), 1952474511u);
}

}  // namespace
