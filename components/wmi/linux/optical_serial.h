// Optical drives (/sys/block/sr*) and serial ports (/sys/class/tty entries backed by a
// device: on-board UARTs the 8250 driver found, USB serial adapters, USB modems).
//
// File reads under a sysfs root; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux/device_ids.h"

namespace kvlinux {

struct OpticalDrive {
    std::string name;  // "sr0"
    std::optional<std::string> vendor, model, revision;
    std::uint64_t size_sectors = 0;  // 512-byte units; 0 without a disc
    // The SCSI address host:channel:target:lun of the device, when it has one.
    std::optional<std::uint32_t> host, channel, target, lun;
};

std::vector<OpticalDrive> ReadOpticalDrives(const std::string& sys_root = "/sys");

struct SerialPort {
    std::string name;                         // "ttyS0", "ttyUSB0", "ttyACM0"
    std::optional<std::string> driver;        // of the device behind it ("serial8250", "ftdi_sio")
    std::optional<std::uint64_t> uart_clock;  // Hz, for on-board UARTs
    std::optional<DeviceIds> hardware;        // the PCI or USB device behind it, if any
};

// Ports of the 8250 driver with no UART behind them (type 0) are left out.
std::vector<SerialPort> ReadSerialPorts(const std::string& sys_root = "/sys");

}  // namespace kvlinux
