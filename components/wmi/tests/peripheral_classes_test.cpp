// Keyboards, pointing devices, monitors, optical drives, batteries, serial ports and the
// PCI storage and sound controllers, from fixture trees shaped like sysfs and procfs (the
// machines these tests run on rarely have them), and the live classes against a direct
// reading of the same sources.
#include <gtest/gtest.h>

#include "classes/device_classes.h"
#include "classes/peripheral_classes.h"
#include "fake_tree.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

// As a 64-bit kernel writes it: a PS/2 keyboard, a power button, a USB mouse, a touch pad.
constexpr const char* kInputDevices =
    "I: Bus=0011 Vendor=0001 Product=0001 Version=ab41\n"
    "N: Name=\"AT Translated Set 2 keyboard\"\n"
    "P: Phys=isa0060/serio0/input0\n"
    "S: Sysfs=/devices/platform/i8042/serio0/input/input0\n"
    "H: Handlers=sysrq kbd event0 leds \n"
    "B: EV=120013\n"
    "B: KEY=402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe\n"
    "\n"
    "I: Bus=0019 Vendor=0000 Product=0001 Version=0000\n"
    "N: Name=\"Power Button\"\n"
    "S: Sysfs=/devices/LNXSYSTM:00/LNXPWRBN:00/input/input2\n"
    "H: Handlers=kbd event2 \n"
    "B: KEY=10000000000000 0\n"
    "\n"
    "I: Bus=0003 Vendor=046d Product=c077 Version=0111\n"
    "N: Name=\"Logitech USB Optical Mouse\"\n"
    "S: Sysfs=/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/input/input5\n"
    "H: Handlers=mouse0 event5 \n"
    "B: KEY=ff0000 0 0 0 0\n"
    "B: REL=903\n"
    "\n"
    "I: Bus=0018 Vendor=06cb Product=cd8b Version=0100\n"
    "N: Name=\"SYNA3602:00 06CB:CD8B Touchpad\"\n"
    "S: Sysfs=/devices/platform/i2c-0/0018:06CB:CD8B.0002/input/input9\n"
    "H: Handlers=mouse1 event7\n"
    "B: KEY=e520 10000 0 0 0 0\n"
    "B: ABS=2e0800000000003\n";

TEST(InputDevices, KeyboardsAndPointingDevicesAreToldApart) {
    const auto devices = kvlinux::ParseInputDevices(kInputDevices, 64);
    ASSERT_EQ(devices.size(), 4u);
    EXPECT_EQ(devices[0].name, "AT Translated Set 2 keyboard");
    EXPECT_EQ(devices[0].Node(), "input0");
    EXPECT_TRUE(devices[0].IsKeyboard());
    EXPECT_FALSE(devices[1].IsKeyboard());  // only KEY_POWER
    EXPECT_FALSE(devices[1].IsPointingDevice());
    EXPECT_TRUE(devices[2].IsPointingDevice());
    EXPECT_FALSE(devices[2].IsKeyboard());
    EXPECT_TRUE(devices[3].IsPointingDevice());
    // The same bitmap as a 32-bit kernel prints it: two words per 64 bits.
    const auto narrow = kvlinux::ParseInputDevices(
        "I: Bus=0011 Vendor=0001 Product=0001\nS: Sysfs=/x/input0\n"
        "B: KEY=4 2000000 3803078 f800d001 feffffdf fffefffff ffffffff fffffffe\n",
        32);
    ASSERT_EQ(narrow.size(), 1u);
    EXPECT_TRUE(narrow[0].IsKeyboard());

    const auto& keyboards = Class(u"Win32_Keyboard");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillKeyboardsFrom(keyboards, devices, std::string("de"), "host", out);
    ASSERT_EQ(out.size(), 1u);
    kvwmitest::ExpectWellTyped(keyboards, out[0]);
    EXPECT_EQ(TextOf(keyboards, out[0], u"DeviceID"), "INPUT\\VID_0001&PID_0001\\input0");
    EXPECT_EQ(TextOf(keyboards, out[0], u"Layout"), "00000407");
    EXPECT_EQ(UnsignedOf(keyboards, out[0], u"NumberOfFunctionKeys"), 15u);  // F1-F15
    EXPECT_FALSE(kvwmi::KeyboardLayoutId("xx"));

    const auto& pointers = Class(u"Win32_PointingDevice");
    out.clear();
    kvwmi::FillPointingDevicesFrom(pointers, devices, "host", out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(pointers, instance);
    EXPECT_EQ(UnsignedOf(pointers, out[0], u"NumberOfButtons"), 8u);
    EXPECT_EQ(UnsignedOf(pointers, out[0], u"PointingType"), 3u);       // mouse
    EXPECT_EQ(UnsignedOf(pointers, out[0], u"DeviceInterface"), 162u);  // USB
    EXPECT_EQ(UnsignedOf(pointers, out[1], u"PointingType"), 7u);       // touch pad
    EXPECT_EQ(UnsignedOf(pointers, out[1], u"NumberOfButtons"), 1u);
}

// A checksummed EDID base block of a "DEL" monitor, product A0B5, 60 × 34 cm, with a name
// and a serial descriptor after one detailed timing.
std::string Edid() {
    std::string e(128, '\0');
    const unsigned char header[8] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    for (int i = 0; i < 8; ++i)
        e[i] = static_cast<char>(header[i]);
    e[8] = 0x10;  // 'D' 'E' 'L' as three 5-bit letters: 0x10AC
    e[9] = static_cast<char>(0xAC);
    e[10] = static_cast<char>(0xB5);
    e[11] = static_cast<char>(0xA0);
    e[21] = 60;
    e[22] = 34;
    e[54] = 0x01;  // a detailed timing descriptor
    e[55] = 0x1D;
    const std::string name = "DELL U2720Q\n ", serial = "ABC123\n      ";  // 13 bytes each
    e[72 + 3] = static_cast<char>(0xFC);
    e.replace(72 + 5, 13, name);
    e[90 + 3] = static_cast<char>(0xFF);
    e.replace(90 + 5, 13, serial);
    unsigned sum = 0;
    for (int i = 0; i < 127; ++i)
        sum += static_cast<unsigned char>(e[i]);
    e[127] = static_cast<char>((256 - sum % 256) % 256);
    return e;
}

TEST(Monitors, EdidAndConnectedOutputs) {
    const auto edid = kvlinux::ParseEdid(Edid());
    ASSERT_TRUE(edid);
    EXPECT_EQ(edid->manufacturer_id, "DEL");
    EXPECT_EQ(edid->product_code, 0xA0B5);
    EXPECT_EQ(edid->name.value_or("?"), "DELL U2720Q");
    EXPECT_EQ(edid->serial.value_or("?"), "ABC123");
    EXPECT_EQ(edid->width_cm, 60u);
    std::string broken = Edid();
    broken[20] ^= 1;  // checksum no longer matches
    EXPECT_FALSE(kvlinux::ParseEdid(broken));
    EXPECT_FALSE(kvlinux::ParseEdid(Edid().substr(0, 100)));

    kvwmitest::FakeTree tree("sys");
    tree.File("class/drm/card0-DP-1/status", "connected\n")
        .File("class/drm/card0-DP-1/edid", Edid())
        .File("class/drm/card0-DP-1/modes", "3840x2160\n2560x1440\n")
        .File("class/drm/card0-HDMI-A-1/status", "disconnected\n")
        .File("class/drm/card0-eDP-1/status", "connected\n")
        .File("class/drm/card0/dev", "226:0\n");
    const auto monitors = kvlinux::ReadMonitors(tree.root());
    ASSERT_EQ(monitors.size(), 2u);

    const auto& decl = Class(u"Win32_DesktopMonitor");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillDesktopMonitorsFrom(decl, monitors, "host", out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);
    EXPECT_EQ(TextOf(decl, out[0], u"DeviceID"), "DesktopMonitor1");
    EXPECT_EQ(TextOf(decl, out[0], u"MonitorType"), "DELL U2720Q");
    EXPECT_EQ(TextOf(decl, out[0], u"MonitorManufacturer"), "DEL");
    EXPECT_EQ(TextOf(decl, out[0], u"PNPDeviceID"), "DISPLAY\\DELA0B5\\card0-DP-1");
    EXPECT_EQ(UnsignedOf(decl, out[0], u"ScreenWidth"), 3840u);
    EXPECT_EQ(TextOf(decl, out[1], u"MonitorType"), "Generic PnP Monitor");  // no EDID
    EXPECT_EQ(UnsignedOf(decl, out[1], u"ScreenWidth"), std::nullopt);
}

TEST(Peripherals, OpticalDrivesBatteriesAndSerialPorts) {
    kvwmitest::FakeTree tree("sys");
    tree.File("devices/pci0000:00/host1/target1:0:0/1:0:0:0/vendor", "HL-DT-ST\n")
        .File("devices/pci0000:00/host1/target1:0:0/1:0:0:0/model", "DVDRAM GP57EB40 \n")
        .File("devices/pci0000:00/host1/target1:0:0/1:0:0:0/rev", "PR10\n")
        .Link("block/sr0/device", "../../devices/pci0000:00/host1/target1:0:0/1:0:0:0")
        .File("block/sr0/size", "1433600\n")
        .File("class/power_supply/BAT0/type", "Battery\n")
        .File("class/power_supply/BAT0/status", "Discharging\n")
        .File("class/power_supply/BAT0/capacity", "81\n")
        .File("class/power_supply/BAT0/technology", "Li-poly\n")
        .File("class/power_supply/BAT0/voltage_min_design", "15440000\n")
        .File("class/power_supply/BAT0/charge_full_design", "3737000\n")
        .File("class/power_supply/BAT0/charge_full", "3500000\n")
        .File("class/power_supply/BAT0/charge_now", "2835000\n")
        .File("class/power_supply/BAT0/current_now", "1000000\n")
        .File("class/power_supply/BAT0/model_name", "5B10W13930\n")
        .File("class/power_supply/AC/type", "Mains\n")
        .File("class/power_supply/hidpp_battery_0/type", "Battery\n")
        .File("class/power_supply/hidpp_battery_0/scope", "Device\n")
        .Link("class/tty/ttyS0/device", "../../../devices/pnp0/00:05")
        .Link("devices/pnp0/00:05/driver", "../../../bus/pnp/drivers/serial")
        .File("class/tty/ttyS0/type", "4\n")
        .File("class/tty/ttyS0/uartclk", "1843200\n")
        .Link("class/tty/ttyS1/device", "../../../devices/platform/serial8250")
        .File("class/tty/ttyS1/type", "0\n")
        .Link("class/tty/ttyACM0/device", "../../../devices/usb1/1-3/1-3:1.0")
        .File("devices/usb1/1-3/1-3:1.0/bInterfaceClass", "02\n")
        .File("devices/usb1/1-3/idVendor", "1546\n")
        .File("devices/usb1/1-3/idProduct", "01a8\n")
        .Folder("class/tty/tty1");

    const auto drives = kvlinux::ReadOpticalDrives(tree.root());
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].target.value_or(99), 0u);
    EXPECT_EQ(drives[0].host.value_or(99), 1u);
    const auto& cdrom = Class(u"Win32_CDROMDrive");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillCdromDrivesFrom(cdrom, drives, {{"sr0", {std::string("DEBIAN_12"), {}}}}, "host",
                               out);
    ASSERT_EQ(out.size(), 1u);
    kvwmitest::ExpectWellTyped(cdrom, out[0]);
    EXPECT_EQ(TextOf(cdrom, out[0], u"Name"), "DVDRAM GP57EB40");
    EXPECT_EQ(TextOf(cdrom, out[0], u"Manufacturer"), "HL-DT-ST");
    EXPECT_EQ(UnsignedOf(cdrom, out[0], u"Size"), 1433600u * 512);
    EXPECT_EQ(TextOf(cdrom, out[0], u"VolumeName"), "DEBIAN_12");
    EXPECT_EQ(UnsignedOf(cdrom, out[0], u"SCSIPort"), 1u);
    EXPECT_EQ(TextOf(cdrom, out[0], u"PNPDeviceID"),
              "SCSI\\CDROM&VEN_HL-DT-ST&PROD_DVDRAM_GP57EB40&REV_PR10\\sr0");

    const auto batteries = kvlinux::ReadBatteries(tree.root());
    ASSERT_EQ(batteries.size(), 1u);  // the mains and the mouse's battery are left out
    const auto& battery = Class(u"Win32_Battery");
    out.clear();
    kvwmi::FillBatteriesFrom(battery, batteries, "host", out);
    ASSERT_EQ(out.size(), 1u);
    kvwmitest::ExpectWellTyped(battery, out[0]);
    EXPECT_EQ(UnsignedOf(battery, out[0], u"BatteryStatus"), 1u);
    EXPECT_EQ(UnsignedOf(battery, out[0], u"Chemistry"), 8u);  // lithium polymer
    EXPECT_EQ(UnsignedOf(battery, out[0], u"EstimatedChargeRemaining"), 81u);
    EXPECT_EQ(UnsignedOf(battery, out[0], u"DesignVoltage"), 15440u);
    EXPECT_EQ(UnsignedOf(battery, out[0], u"DesignCapacity"), 57699u);  // 3.737 Ah × 15.44 V
    EXPECT_EQ(UnsignedOf(battery, out[0], u"EstimatedRunTime"), 170u);  // 2.835 Ah at 1 A
    EXPECT_EQ(TextOf(battery, out[0], u"Name"), "5B10W13930");

    const auto ports = kvlinux::ReadSerialPorts(tree.root());
    ASSERT_EQ(ports.size(), 2u);  // ttyS1 has no UART, tty1 no device
    const auto& serial = Class(u"Win32_SerialPort");
    out.clear();
    kvwmi::FillSerialPortsFrom(serial, ports, "host", out);
    ASSERT_EQ(out.size(), 2u);
    kvwmitest::ExpectWellTyped(serial, out[0]);
    EXPECT_EQ(TextOf(serial, out[0], u"DeviceID"), "/dev/ttyACM0");
    EXPECT_EQ(TextOf(serial, out[0], u"ProviderType"), "Modem Device");
    EXPECT_EQ(UnsignedOf(serial, out[1], u"MaxBaudRate"), 115200u);
    EXPECT_EQ(TextOf(serial, out[0], u"PNPDeviceID"), "USB\\VID_1546&PID_01A8\\1-3");
    EXPECT_EQ(TextOf(serial, out[1], u"PNPDeviceID"), "<null>");  // an on-board UART

    // Nothing of the kind: no instances, no failure.
    kvwmitest::FakeTree empty("empty");
    EXPECT_TRUE(kvlinux::ReadBatteries(empty.root()).empty());
    EXPECT_TRUE(kvlinux::ReadOpticalDrives(empty.root()).empty());
    EXPECT_TRUE(kvlinux::ReadMonitors(empty.root()).empty());
}

TEST(Peripherals, StorageAndSoundControllersByPciClass) {
    kvwmitest::FakeTree tree("sys");
    auto function = [&](const std::string& address, const char* class_code) {
        const std::string dir = "bus/pci/devices/" + address + "/";
        tree.File(dir + "class", class_code)
            .File(dir + "vendor", "0x8086")
            .File(dir + "device", "0x1234");
    };
    function("0000:00:17.0", "0x010601\n");  // SATA (AHCI)
    function("0000:01:00.0", "0x010802\n");  // NVMe
    function("0000:00:05.0", "0x010000\n");  // SCSI (virtio)
    function("0000:00:1f.3", "0x040300\n");  // HD audio
    const auto pci = kvlinux::ReadPciDevices(tree.root());
    const auto& ide = Class(u"Win32_IDEController");
    const auto& scsi = Class(u"Win32_SCSIController");
    const auto& sound = Class(u"Win32_SoundDevice");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillStorageControllersFrom(ide, "HDC", pci, {}, "host", out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(TextOf(ide, out[0], u"Name"), "SATA controller");
    out.clear();
    kvwmi::FillStorageControllersFrom(scsi, "SCSIAdapter", pci, {}, "host", out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(scsi, instance);
    EXPECT_EQ(TextOf(scsi, out[0], u"Name"), "SCSI storage controller");
    EXPECT_EQ(UnsignedOf(scsi, out[1], u"Index"), 1u);
    out.clear();
    kvwmi::FillSoundDevicesFrom(sound, pci, {}, {}, "host", out);
    ASSERT_EQ(out.size(), 1u);
    kvwmitest::ExpectWellTyped(sound, out[0]);
    EXPECT_EQ(TextOf(sound, out[0], u"ProductName"), "Audio device");
}

// The live classes count what a direct look at the same sources finds.
TEST(Peripherals, LiveClassesMatchTheirSources) {
    size_t keyboards = 0, optical = 0, batteries = 0;
    for (const auto& device : kvlinux::ReadInputDevices())
        keyboards += device.IsKeyboard();
    for (const std::string& name : kvlinux::ListFolder("/sys/block"))
        optical += kvlinux::StartsWith(name, "sr");
    for (const std::string& name : kvlinux::ListFolder("/sys/class/power_supply")) {
        const std::string dir = "/sys/class/power_supply/" + name;
        batteries += kvlinux::ReadFirstLine(dir + "/type") == "Battery" &&
                     kvlinux::ReadFirstLine(dir + "/scope") != "Device" &&
                     kvlinux::ReadFirstLine(dir + "/present") != "0";
    }
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_Keyboard")).size(), keyboards);
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_CDROMDrive")).size(), optical);
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_Battery")).size(), batteries);
    if (keyboards + optical + batteries == 0)
        GTEST_SKIP() << "no keyboard, optical drive or battery here: the fixtures cover values";
}

}  // namespace

namespace {

// One SMBIOS structure: the formatted area (header with a zero handle) and its strings.
std::string Structure(std::uint8_t type, std::vector<std::uint8_t> body,
                      std::vector<std::string> strings) {
    std::string s;
    s += static_cast<char>(type);
    s += static_cast<char>(4 + body.size());
    s += std::string(2, '\0');
    for (std::uint8_t b : body)
        s += static_cast<char>(b);
    for (const std::string& text : strings)
        s += text + '\0';
    s += strings.empty() ? std::string(2, '\0') : std::string(1, '\0');
    return s;
}

TEST(Smbios, SlotsAndMemoryArrays) {
    const std::string table =
        Structure(0, {1, 2, 0, 0}, {"Vendor", "1.0"}) +
        // PCIEX16_1: PCIe x16, 64-bit width, in use, id 1, PME and hot plug, at 0000:01:00.0
        Structure(9, {1, 0xB6, 6, 4, 3, 1, 0, 0x04, 0x03, 0, 0, 1, 0}, {"PCIEX16_1"}) +
        // PCIEX1_2: available, opening shared with another slot, no PCI address
        Structure(9, {1, 0xA8, 8, 3, 3, 2, 0, 0x0C, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, {"PCIEX1_2"}) +
        // 32 GiB array on the system board, no ECC, 4 slots
        Structure(16, {3, 3, 3, 0, 0, 0, 2, 0xFE, 0xFF, 4, 0}, {}) +
        // 4 TiB: capacity in the extended field
        Structure(16, {3, 3, 6, 0, 0, 0, 0x80, 0xFE, 0xFF, 16, 0, 0, 0, 0, 0, 0, 4, 0, 0}, {}) +
        Structure(127, {}, {}) + Structure(9, {1, 0, 0, 0, 0, 0, 0, 0}, {"after the end"});

    const auto slots = kvlinux::ParseSmbiosSlots(table);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].designation, "PCIEX16_1");
    EXPECT_EQ(slots[0].bus.value_or(99), 1u);
    EXPECT_FALSE(slots[1].bus);
    const auto arrays = kvlinux::ParseSmbiosMemoryArrays(table);
    ASSERT_EQ(arrays.size(), 2u);
    EXPECT_EQ(arrays[0].max_capacity_kib, 32u << 20);
    EXPECT_EQ(arrays[1].max_capacity_kib, 4ull << 30);
    // A truncated table ends the walk without reading past it.
    EXPECT_EQ(kvlinux::ParseSmbiosSlots(table.substr(0, 30)).size(), 0u);

    const auto& slot = Class(u"Win32_SystemSlot");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillSystemSlotsFrom(slot, slots, out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(slot, instance);
    EXPECT_EQ(TextOf(slot, out[0], u"Tag"), "System Slot 0");
    EXPECT_EQ(UnsignedOf(slot, out[0], u"CurrentUsage"), 4u);
    EXPECT_EQ(UnsignedOf(slot, out[0], u"MaxDataWidth"), 3u);  // 64-bit
    EXPECT_EQ(kvwmitest::Value(slot, out[0], u"SupportsHotPlug"), kvwmi::CimValue(true));
    EXPECT_EQ(UnsignedOf(slot, out[1], u"BusNumber"), std::nullopt);
    EXPECT_EQ(kvwmitest::Value(slot, out[0], u"Shared"), kvwmi::CimValue(false));
    EXPECT_EQ(kvwmitest::Value(slot, out[1], u"Shared"), kvwmi::CimValue(true));
    EXPECT_EQ(UnsignedOf(slot, out[1], u"MaxDataWidth"), std::nullopt);

    const auto& array = Class(u"Win32_PhysicalMemoryArray");
    out.clear();
    kvwmi::FillMemoryArraysFrom(array, arrays, out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(array, instance);
    EXPECT_EQ(UnsignedOf(array, out[0], u"MaxCapacity"), 32u << 20);
    EXPECT_EQ(UnsignedOf(array, out[0], u"MemoryDevices"), 4u);
    EXPECT_EQ(UnsignedOf(array, out[1], u"MaxCapacity"), std::nullopt);  // beyond uint32
    EXPECT_EQ(UnsignedOf(array, out[1], u"MaxCapacityEx"), 4ull << 30);
    EXPECT_EQ(UnsignedOf(array, out[1], u"MemoryErrorCorrection"), 6u);
}

}  // namespace
