// The kernel's socket tables /proc/net/{tcp,tcp6,udp,udp6}, and which process holds each
// socket (the "socket:[inode]" links of /proc/<pid>/fd).
//
// Pure parsing plus file reads under a proc root; safe from any thread. Other users'
// descriptors are readable by root only: for others a socket may have no owner.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvlinux {

struct SocketEntry {
    bool ipv6 = false;
    std::string local_address;  // "127.0.0.1", "::"
    std::uint16_t local_port = 0;
    std::string remote_address;
    std::uint16_t remote_port = 0;
    std::uint8_t state = 0;  // the kernel's TCP state: 1 established ... 10 listen, 11 closing
    std::uint32_t uid = 0;
    std::uint64_t inode = 0;  // 0 for a socket no descriptor holds (time-wait)
};

// Parses one table; `ipv6` for the tcp6/udp6 forms. Malformed lines are skipped.
std::vector<SocketEntry> ParseSocketTable(std::string_view content, bool ipv6);

// The sockets of one protocol ("tcp" or "udp"), IPv4 first, then IPv6.
std::vector<SocketEntry> ReadSockets(const std::string& protocol,
                                     const std::string& proc_root = "/proc");

// Socket inode -> the lowest pid holding a descriptor to it.
std::map<std::uint64_t, std::int64_t> ReadSocketOwners(const std::string& proc_root = "/proc");

// "socket:[12345]" -> 12345.
std::optional<std::uint64_t> SocketInodeOfLink(std::string_view link);

}  // namespace kvlinux
