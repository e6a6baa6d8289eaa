// The device classes on fixture sysfs trees (a machine with two display adapters, a USB
// controller, hubs and a receiver), the id database look-up, and the live classes against
// a plain listing of /sys.
#include <gtest/gtest.h>

#include <filesystem>

#include "classes/device_classes.h"
#include "fake_tree.h"
#include "linux/device_ids.h"
#include "wmi_class_test_support.h"

namespace {

using kvwmitest::Class;
using kvwmitest::TextOf;
using kvwmitest::UnsignedOf;

constexpr const char* kPciIds =
    "# comment\n"
    "1002  Advanced Micro Devices, Inc. [AMD/ATI]\n"
    "\t73bf  Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]\n"
    "8086  Intel Corporation\n"
    "\t3e9b  CoffeeLake-H GT2 [UHD Graphics 630]\n"
    "\t\t1028 0869  UHD Graphics 630 (Mobile)\n"
    "\ta36d  Cannon Lake PCH USB 3.1 xHCI Host Controller\n"
    "8087  Intel Corp.\n"
    "\ta30d  Not this vendor's device\n"
    "C 00  Unclassified device\n"
    "\t00  Non-VGA unclassified device\n";

void PciFunction(kvwmitest::FakeTree& tree, const std::string& address, const char* class_code,
                 const char* vendor, const char* device, const char* driver) {
    const std::string dir = "bus/pci/devices/" + address + "/";
    tree.File(dir + "class", std::string(class_code) + "\n")
        .File(dir + "vendor", std::string(vendor) + "\n")
        .File(dir + "device", std::string(device) + "\n")
        .File(dir + "subsystem_vendor", "0x1028\n")
        .File(dir + "subsystem_device", "0x0869\n")
        .File(dir + "revision", "0x02\n");
    if (driver)
        tree.Link(dir + "driver", std::string("../../../bus/pci/drivers/") + driver);
}

void UsbDevice(kvwmitest::FakeTree& tree, const std::string& name, const char* vendor,
               const char* product, const char* device_class, const char* version,
               const char* ports) {
    const std::string dir = "bus/usb/devices/" + name + "/";
    tree.File(dir + "idVendor", std::string(vendor) + "\n")
        .File(dir + "idProduct", std::string(product) + "\n")
        .File(dir + "bDeviceClass", std::string(device_class) + "\n")
        .File(dir + "version", std::string(version) + "\n")
        .File(dir + "maxchild", std::string(ports) + "\n")
        .Link(dir + "driver", "../../../bus/usb/drivers/usb");
}

// Intel graphics with a framebuffer; an AMD card whose size comes from its output's
// preferred mode; an xHCI controller; an ISA bridge without a driver; an unknown device.
// USB: a root hub, a receiver whose class is in its interface, an external hub.
kvwmitest::FakeTree Machine() {
    kvwmitest::FakeTree tree("sys");
    PciFunction(tree, "0000:00:02.0", "0x030000", "0x8086", "0x3e9b", "i915");
    tree.File("bus/pci/devices/0000:00:02.0/graphics/fb0/virtual_size", "1920,1080\n")
        .File("bus/pci/devices/0000:00:02.0/graphics/fb0/bits_per_pixel", "32\n");
    PciFunction(tree, "0000:00:14.0", "0x0c0330", "0x8086", "0xa36d", "xhci_hcd");
    PciFunction(tree, "0000:00:1f.0", "0x060100", "0x8086", "0xa30d", nullptr);
    PciFunction(tree, "0000:00:1f.7", "0xff0000", "0x1234", "0x0001", nullptr);
    PciFunction(tree, "0000:03:00.0", "0x030000", "0x1002", "0x73bf", "amdgpu");
    tree.File("bus/pci/devices/0000:03:00.0/mem_info_vram_total", "17163091968\n")
        .File("bus/pci/devices/0000:03:00.0/drm/card1/card1-DP-1/status", "disconnected\n")
        .File("bus/pci/devices/0000:03:00.0/drm/card1/card1-DP-2/status", "connected\n")
        .File("bus/pci/devices/0000:03:00.0/drm/card1/card1-DP-2/modes", "2560x1440\n1920x1080\n")
        .File("module/amdgpu/version", "6.2.4\n");
    UsbDevice(tree, "usb1", "1d6b", "0002", "09", " 2.00", "12");
    UsbDevice(tree, "1-1", "046d", "c52b", "00", " 2.00", "0");
    tree.File("bus/usb/devices/1-1/manufacturer", "Logitech\n")
        .File("bus/usb/devices/1-1/product", "USB Receiver\n")
        .File("bus/usb/devices/1-1/serial", "\n")
        .File("bus/usb/devices/1-1:1.0/bInterfaceClass", "03\n");
    UsbDevice(tree, "1-2", "05e3", "0610", "09", " 2.10", "4");
    return tree;
}

kvwmi::IdDatabases FixtureIds() {
    return {kPciIds, ""};
}

TEST(DeviceIds, LookUpFindsTheVendorAndOnlyItsOwnDevices) {
    auto intel = kvlinux::ParseIdNames(kPciIds, 0x8086, 0x3e9b);
    EXPECT_EQ(intel.vendor.value_or("?"), "Intel Corporation");
    EXPECT_EQ(intel.device.value_or("?"), "CoffeeLake-H GT2 [UHD Graphics 630]");
    // a30d is listed, but under the next vendor; a subsystem line is no device line.
    auto unlisted = kvlinux::ParseIdNames(kPciIds, 0x8086, 0xa30d);
    EXPECT_EQ(unlisted.vendor.value_or("?"), "Intel Corporation");
    EXPECT_FALSE(unlisted.device);
    EXPECT_FALSE(kvlinux::ParseIdNames(kPciIds, 0x8086, 0x0869).device);
    // An unknown vendor, and the class list at the end of the file is no vendor list.
    EXPECT_FALSE(kvlinux::ParseIdNames(kPciIds, 0x1234, 0x0001).vendor);
    EXPECT_FALSE(kvlinux::ParseIdNames("", 0x8086, 0x3e9b).vendor);
}

// One device, one identifier: a PCI function read from the bus list (as the PnP entity and
// controller classes do) and through its interface's link (as the network adapter class
// does) is written the same way, address in capitals; a USB device likewise, with its
// serial number trimmed.
TEST(DeviceReaders, OneIdentifierWhicheverWayTheDeviceIsReached) {
    kvwmitest::FakeTree tree("sys");
    PciFunction(tree, "0000:00:1f.6", "0x020000", "0x8086", "0x15bb", "e1000e");
    tree.Link("class/net/eth0/device", "../../../bus/pci/devices/0000:00:1f.6");
    UsbDevice(tree, "2-1", "0bda", "8153", "00", " 3.00", "0");
    tree.File("bus/usb/devices/2-1/serial", " 000001 \n");
    // An adapter's network interface sits below the device's interface folder.
    tree.File("bus/usb/devices/2-1/2-1:1.0/net/eth1/type", "1\n");

    const auto pci = kvlinux::ReadPciDevices(tree.root());
    ASSERT_EQ(pci.size(), 1u);
    const auto nic = kvlinux::ReadDeviceIds(tree.root() + "/class/net/eth0/device");
    ASSERT_TRUE(nic);
    EXPECT_EQ(kvlinux::PciPnpDeviceId(pci[0]),
              "PCI\\VEN_8086&DEV_15BB&SUBSYS_08691028&REV_02\\0000:00:1F.6");
    EXPECT_EQ(kvlinux::PnpDeviceId(*nic), kvlinux::PciPnpDeviceId(pci[0]));

    const auto usb = kvlinux::ReadUsbDevices(tree.root());
    ASSERT_EQ(usb.size(), 1u);
    const auto adapter =
        kvlinux::ReadDeviceIds(tree.root() + "/bus/usb/devices/2-1/2-1:1.0/net/eth1");
    ASSERT_TRUE(adapter);
    EXPECT_EQ(kvlinux::UsbPnpDeviceId(usb[0]), "USB\\VID_0BDA&PID_8153\\000001");
    EXPECT_EQ(kvlinux::PnpDeviceId(*adapter), kvlinux::UsbPnpDeviceId(usb[0]));

    // A function whose subsystem and revision sysfs does not give still has every part.
    kvlinux::DeviceIds bare;
    bare.vendor = 0x1af4;
    bare.device = 0x1000;
    bare.instance = "0000:00:0a.0";
    EXPECT_EQ(kvlinux::PnpDeviceId(bare),
              "PCI\\VEN_1AF4&DEV_1000&SUBSYS_00000000&REV_00\\0000:00:0A.0");
}

TEST(DeviceReaders, PciAndUsbDevicesFromSysfs) {
    const auto tree = Machine();
    const auto pci = kvlinux::ReadPciDevices(tree.root());
    ASSERT_EQ(pci.size(), 5u);
    EXPECT_EQ(pci[0].address, "0000:00:02.0");
    EXPECT_EQ(pci[0].class_code, 0x030000u);
    EXPECT_EQ(pci[0].driver.value_or("?"), "i915");
    EXPECT_FALSE(pci[2].driver);
    EXPECT_EQ(kvlinux::PciPnpDeviceId(pci[0]),
              "PCI\\VEN_8086&DEV_3E9B&SUBSYS_08691028&REV_02\\0000:00:02.0");

    const auto usb = kvlinux::ReadUsbDevices(tree.root());
    ASSERT_EQ(usb.size(), 3u);  // the interface 1-1:1.0 is no device
    EXPECT_EQ(usb[0].name, "1-1");
    EXPECT_EQ(usb[0].interface_classes, std::vector<std::uint8_t>{3});
    EXPECT_FALSE(usb[0].serial);  // blank
    EXPECT_EQ(kvlinux::UsbPnpDeviceId(usb[0]), "USB\\VID_046D&PID_C52B\\1-1");
    EXPECT_TRUE(usb[2].IsRootHub());
    EXPECT_EQ(kvlinux::UsbPnpDeviceId(usb[2]), "USB\\ROOT_HUB20\\1");

    const auto adapters = kvlinux::ReadDisplayAdapters(tree.root());
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[0].width.value_or(0), 1920u);
    EXPECT_EQ(adapters[0].bits_per_pixel.value_or(0), 32u);
    EXPECT_FALSE(adapters[0].memory_bytes);
    EXPECT_EQ(adapters[1].width.value_or(0), 2560u);  // the connected output's first mode
    EXPECT_EQ(adapters[1].height.value_or(0), 1440u);
    EXPECT_FALSE(adapters[1].bits_per_pixel);
    EXPECT_EQ(adapters[1].driver_version.value_or("?"), "6.2.4");

    // No bus at all (a container): nothing, no failure.
    kvwmitest::FakeTree empty("empty");
    EXPECT_TRUE(kvlinux::ReadPciDevices(empty.root()).empty());
    EXPECT_TRUE(kvlinux::ReadUsbDevices(empty.root()).empty());
}

TEST(DeviceClasses, PnpEntityNamesClassesAndIdentities) {
    const auto tree = Machine();
    const auto& decl = Class(u"Win32_PnPEntity");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillPnpEntityFrom(decl, kvlinux::ReadPciDevices(tree.root()),
                             kvlinux::ReadUsbDevices(tree.root()), FixtureIds(), "host", out);
    ASSERT_EQ(out.size(), 8u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(decl, instance);

    const auto& gpu = out[0];
    EXPECT_EQ(TextOf(decl, gpu, u"DeviceID"), TextOf(decl, gpu, u"PNPDeviceID"));
    EXPECT_EQ(TextOf(decl, gpu, u"Name"), "CoffeeLake-H GT2 [UHD Graphics 630]");
    EXPECT_EQ(TextOf(decl, gpu, u"Manufacturer"), "Intel Corporation");
    EXPECT_EQ(TextOf(decl, gpu, u"PNPClass"), "Display");
    EXPECT_EQ(TextOf(decl, gpu, u"ClassGuid"), "{4d36e968-e325-11ce-bfc1-08002be10318}");
    EXPECT_EQ(TextOf(decl, gpu, u"Service"), "i915");
    EXPECT_EQ(TextOf(decl, gpu, u"Status"), "OK");
    EXPECT_EQ(TextOf(decl, gpu, u"SystemName"), "host");
    const auto& hardware =
        std::get<std::vector<std::u16string>>(kvwmitest::Value(decl, gpu, u"HardwareID"));
    ASSERT_EQ(hardware.size(), 4u);
    EXPECT_EQ(kvwin::ToUtf8(hardware[3]), "PCI\\VEN_8086&DEV_3E9B&CC_0300");

    // Unlisted in the database: the class's words, the vendor when listed, no driver.
    const auto& bridge = out[2];
    EXPECT_EQ(TextOf(decl, bridge, u"Name"), "ISA bridge");
    EXPECT_EQ(TextOf(decl, bridge, u"PNPClass"), "System");
    EXPECT_EQ(TextOf(decl, bridge, u"Service"), "<null>");
    EXPECT_EQ(TextOf(decl, bridge, u"Status"), "Unknown");
    EXPECT_EQ(TextOf(decl, out[3], u"Manufacturer"), "<null>");
    EXPECT_EQ(TextOf(decl, out[3], u"PNPClass"), "<null>");

    // USB: the device's own strings; the class from its interface (HID); the root hub.
    EXPECT_EQ(TextOf(decl, out[5], u"Name"), "USB Receiver");
    EXPECT_EQ(TextOf(decl, out[5], u"Manufacturer"), "Logitech");
    EXPECT_EQ(TextOf(decl, out[5], u"PNPClass"), "HIDClass");
    EXPECT_EQ(TextOf(decl, out[6], u"Name"), "Generic USB Hub");
    EXPECT_EQ(TextOf(decl, out[7], u"Name"), "USB Root Hub");
    EXPECT_EQ(TextOf(decl, out[7], u"PNPClass"), "USB");
}

TEST(DeviceClasses, VideoControllersUsbControllersAndHubs) {
    const auto tree = Machine();
    const auto& video = Class(u"Win32_VideoController");
    std::vector<kvwmi::Instance> out;
    kvwmi::FillVideoControllerFrom(video, kvlinux::ReadDisplayAdapters(tree.root()), FixtureIds(),
                                   "host", out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(video, instance);
    EXPECT_EQ(TextOf(video, out[0], u"DeviceID"), "VideoController1");
    EXPECT_EQ(TextOf(video, out[0], u"AdapterCompatibility"), "Intel Corporation");
    EXPECT_EQ(UnsignedOf(video, out[0], u"CurrentHorizontalResolution"), 1920u);
    EXPECT_EQ(UnsignedOf(video, out[0], u"CurrentNumberOfColors"), 4294967296u);
    EXPECT_EQ(TextOf(video, out[0], u"VideoModeDescription"), "1920 x 1080 x 4294967296 colors");
    EXPECT_EQ(UnsignedOf(video, out[0], u"AdapterRAM"), std::nullopt);
    EXPECT_EQ(TextOf(video, out[1], u"DeviceID"), "VideoController2");
    EXPECT_EQ(UnsignedOf(video, out[1], u"AdapterRAM"), 0xFFFFFFFFu);  // 16 GiB, capped
    EXPECT_EQ(UnsignedOf(video, out[1], u"CurrentVerticalResolution"), 1440u);
    EXPECT_EQ(UnsignedOf(video, out[1], u"CurrentNumberOfColors"), std::nullopt);
    EXPECT_EQ(TextOf(video, out[1], u"DriverVersion"), "6.2.4");
    EXPECT_EQ(TextOf(video, out[1], u"InstalledDisplayDrivers"), "amdgpu");

    const auto& controllers = Class(u"Win32_USBController");
    out.clear();
    kvwmi::FillUsbControllerFrom(controllers, kvlinux::ReadPciDevices(tree.root()), {}, "host",
                                 out);
    ASSERT_EQ(out.size(), 1u);
    kvwmitest::ExpectWellTyped(controllers, out[0]);
    EXPECT_EQ(TextOf(controllers, out[0], u"Name"), "USB xHCI Compliant Host Controller");
    EXPECT_EQ(UnsignedOf(controllers, out[0], u"ProtocolSupported"), 16u);

    const auto& hubs = Class(u"Win32_USBHub");
    out.clear();
    kvwmi::FillUsbHubFrom(hubs, kvlinux::ReadUsbDevices(tree.root()), {}, "host", out);
    ASSERT_EQ(out.size(), 2u);
    for (const auto& instance : out)
        kvwmitest::ExpectWellTyped(hubs, instance);
    EXPECT_EQ(UnsignedOf(hubs, out[0], u"NumberOfPorts"), 4u);
    EXPECT_EQ(UnsignedOf(hubs, out[0], u"USBVersion"), 0x0210u);
    EXPECT_EQ(TextOf(hubs, out[1], u"DeviceID"), "USB\\ROOT_HUB20\\1");
    EXPECT_EQ(UnsignedOf(hubs, out[1], u"NumberOfPorts"), 12u);
}

// The live classes against a listing of the machine's buses.
TEST(DeviceClasses, LiveDevicesMatchTheBuses) {
    size_t pci = 0, usb = 0, display = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/devices", error)) {
        ++pci;
        auto code = kvlinux::ReadFirstLine(entry.path().string() + "/class");
        if (code && kvlinux::StartsWith(*code, "0x03"))
            ++display;
    }
    for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/usb/devices", error)) {
        if (entry.path().filename().string().find(':') == std::string::npos)
            ++usb;
    }
    if (pci + usb == 0)
        GTEST_SKIP() << "this machine shows no PCI or USB bus";
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_PnPEntity")).size(), pci + usb);
    EXPECT_EQ(kvwmitest::Fill(Class(u"Win32_VideoController")).size(), display);
}

}  // namespace
