// Input devices from the kernel's list /proc/bus/input/devices: keyboards and pointing
// devices, told apart by the keys and axes each reports.
//
// Pure parsing plus a file read; safe from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct InputDevice {
    std::uint16_t bus = 0;  // BUS_USB 0x03, BUS_I8042 0x11, BUS_BLUETOOTH 0x05, ...
    std::uint16_t vendor = 0, product = 0;
    std::string name;                     // "AT Translated Set 2 keyboard"
    std::string sysfs;                    // "/devices/platform/i8042/serio0/input/input0"
    std::vector<std::string> handlers;    // "kbd", "mouse0", "event3", ...
    std::vector<std::uint64_t> key_bits;  // the KEY bitmap, least significant word first
    std::vector<std::uint64_t> abs_bits;
    std::vector<std::uint64_t> rel_bits;

    // "input0": the last element of the sysfs path.
    std::string Node() const;
    bool HasKey(unsigned code) const;
    // Reports letter keys: a keyboard rather than a power button or a remote.
    bool IsKeyboard() const;
    // Moves a pointer: relative axes with buttons, or a touch pad or touch screen.
    bool IsPointingDevice() const;
};

// Parses the blank-line-separated blocks of /proc/bus/input/devices. `word_bits` is the
// kernel's long size in bits (the bitmaps are printed as longs).
std::vector<InputDevice> ParseInputDevices(std::string_view content,
                                           unsigned word_bits = sizeof(long) * 8);
std::vector<InputDevice> ReadInputDevices(const std::string& proc_root = "/proc");

}  // namespace kvlinux
