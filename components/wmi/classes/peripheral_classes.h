// The fill functions of the peripheral classes (keyboards, pointing devices, monitors,
// optical drives, batteries, serial ports) split from their readers, for the tests on
// fixtures. Pure functions, safe from any thread.
#pragma once

#include <string>
#include <vector>

#include "linux/input_devices.h"
#include "linux/monitors.h"
#include "linux/optical_serial.h"
#include "linux/power_supply.h"
#include "linux/volume_ids.h"
#include "provider/class_decl.h"

namespace kvwmi {

// "INPUT\VID_046D&PID_C52B\input5": the identity the input classes give a device.
std::string InputPnpDeviceId(const kvlinux::InputDevice& device);
// Windows' keyboard layout id ("00000409") of an XKB layout name ("us"), or nullopt.
std::optional<std::string> KeyboardLayoutId(std::string_view xkb_layout);

void FillKeyboardsFrom(const ClassDecl& decl, const std::vector<kvlinux::InputDevice>& devices,
                       const std::optional<std::string>& xkb_layout, const std::string& host,
                       std::vector<Instance>& out);
void FillPointingDevicesFrom(const ClassDecl& decl,
                             const std::vector<kvlinux::InputDevice>& devices,
                             const std::string& host, std::vector<Instance>& out);
void FillDesktopMonitorsFrom(const ClassDecl& decl, const std::vector<kvlinux::Monitor>& monitors,
                             const std::string& host, std::vector<Instance>& out);
void FillCdromDrivesFrom(const ClassDecl& decl, const std::vector<kvlinux::OpticalDrive>& drives,
                         const std::map<std::string, kvlinux::VolumeIds>& volume_ids,
                         const std::string& host, std::vector<Instance>& out);
void FillBatteriesFrom(const ClassDecl& decl, const std::vector<kvlinux::Battery>& batteries,
                       const std::string& host, std::vector<Instance>& out);
void FillSerialPortsFrom(const ClassDecl& decl, const std::vector<kvlinux::SerialPort>& ports,
                         const std::string& host, std::vector<Instance>& out);

}  // namespace kvwmi

#include "linux/smbios.h"

namespace kvwmi {

void FillSystemSlotsFrom(const ClassDecl& decl, const std::vector<kvlinux::SystemSlot>& slots,
                         std::vector<Instance>& out);
void FillMemoryArraysFrom(const ClassDecl& decl, const std::vector<kvlinux::MemoryArray>& arrays,
                          std::vector<Instance>& out);

}  // namespace kvwmi
