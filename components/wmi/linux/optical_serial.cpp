#include "linux/optical_serial.h"

#include "linux/text_util.h"

namespace kvlinux {

namespace {

std::optional<std::string> Word(const std::string& path) {
    auto line = ReadFirstLine(path);
    if (!line || Trim(*line).empty())
        return std::nullopt;
    return std::string(Trim(*line));
}

std::optional<std::uint32_t> Small(std::string_view text) {
    auto value = ParseUnsigned(text);
    if (!value || *value > 0xFFFFFFFF)
        return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

}  // namespace

std::vector<OpticalDrive> ReadOpticalDrives(const std::string& sys_root) {
    std::vector<OpticalDrive> drives;
    const std::string dir = sys_root + "/block";
    for (const std::string& name : ListFolder(dir)) {
        if (!StartsWith(name, "sr"))
            continue;
        const std::string path = dir + "/" + name;
        OpticalDrive d;
        d.name = name;
        d.vendor = Word(path + "/device/vendor");
        d.model = Word(path + "/device/model");
        d.revision = Word(path + "/device/rev");
        d.size_sectors = ParseUnsigned(ReadFirstLine(path + "/size").value_or("0")).value_or(0);
        // The device link ends in the SCSI address: ".../0:0:0:0".
        if (auto link = ReadLink(path + "/device")) {
            const std::string address = link->substr(link->rfind('/') + 1);
            std::vector<std::uint32_t> parts;
            size_t start = 0;
            while (start <= address.size()) {
                size_t colon = address.find(':', start);
                if (colon == std::string::npos)
                    colon = address.size();
                if (auto n = Small(std::string_view(address).substr(start, colon - start)))
                    parts.push_back(*n);
                start = colon + 1;
            }
            if (parts.size() == 4) {
                d.host = parts[0];
                d.channel = parts[1];
                d.target = parts[2];
                d.lun = parts[3];
            }
        }
        drives.push_back(std::move(d));
    }
    return drives;
}

std::vector<SerialPort> ReadSerialPorts(const std::string& sys_root) {
    std::vector<SerialPort> ports;
    const std::string dir = sys_root + "/class/tty";
    for (const std::string& name : ListFolder(dir)) {
        if (!StartsWith(name, "ttyS") && !StartsWith(name, "ttyUSB") &&
            !StartsWith(name, "ttyACM") && !StartsWith(name, "ttyAMA"))
            continue;
        const std::string path = dir + "/" + name;
        if (!ReadLink(path + "/device"))
            continue;  // no hardware behind it
        if (StartsWith(name, "ttyS") && Word(path + "/type").value_or("0") == "0")
            continue;  // a port the 8250 driver reserved without finding a UART
        SerialPort p;
        p.name = name;
        if (auto driver = ReadLink(path + "/device/driver"))
            p.driver = driver->substr(driver->rfind('/') + 1);
        p.uart_clock = ParseUnsigned(ReadFirstLine(path + "/uartclk").value_or(""));
        p.hardware = ReadDeviceIds(path + "/device");
        ports.push_back(std::move(p));
    }
    return ports;
}

}  // namespace kvlinux
