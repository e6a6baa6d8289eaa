#include "linux/sockets.h"

#include <arpa/inet.h>

#include <cstring>

#include "linux/pci_devices.h"
#include "linux/processes.h"
#include "linux/text_util.h"

namespace kvlinux {

namespace {

// The kernel prints an address as 32-bit words in the machine's own byte order, each
// holding four bytes of the address in network order; copying the parsed words back to
// memory restores the bytes.
std::optional<std::string> DecodeAddress(std::string_view hex, bool ipv6) {
    const size_t words = ipv6 ? 4 : 1;
    if (hex.size() != words * 8)
        return std::nullopt;
    unsigned char bytes[16];
    for (size_t i = 0; i < words; ++i) {
        auto word = ParseHex(hex.substr(i * 8, 8));
        if (!word)
            return std::nullopt;
        const auto value = static_cast<std::uint32_t>(*word);
        std::memcpy(bytes + i * 4, &value, 4);
    }
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(ipv6 ? AF_INET6 : AF_INET, bytes, text, sizeof text))
        return std::nullopt;
    return std::string(text);
}

// "0100007F:0035" -> address and port.
bool DecodeEndpoint(std::string_view field, bool ipv6, std::string& address, std::uint16_t& port) {
    const size_t colon = field.find(':');
    if (colon == std::string_view::npos)
        return false;
    auto decoded = DecodeAddress(field.substr(0, colon), ipv6);
    auto number = ParseHex(field.substr(colon + 1));
    if (!decoded || !number || *number > 0xFFFF)
        return false;
    address = std::move(*decoded);
    port = static_cast<std::uint16_t>(*number);
    return true;
}

}  // namespace

std::vector<SocketEntry> ParseSocketTable(std::string_view content, bool ipv6) {
    std::vector<SocketEntry> entries;
    for (const auto& fields : TableRows(content, 10)) {
        // sl local remote st tx:rx tr:when retrnsmt uid timeout inode ...
        SocketEntry e;
        e.ipv6 = ipv6;
        auto state = ParseHex(fields[3]);
        auto uid = ParseUnsigned(fields[7]);
        auto inode = ParseUnsigned(fields[9]);
        if (!DecodeEndpoint(fields[1], ipv6, e.local_address, e.local_port) ||
            !DecodeEndpoint(fields[2], ipv6, e.remote_address, e.remote_port) || !state ||
            *state > 0xFF || !uid || !inode)
            continue;
        e.state = static_cast<std::uint8_t>(*state);
        e.uid = static_cast<std::uint32_t>(*uid);
        e.inode = *inode;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<SocketEntry> ReadSockets(const std::string& protocol, const std::string& proc_root) {
    std::vector<SocketEntry> all;
    for (bool ipv6 : {false, true}) {
        auto text = ReadFileText(proc_root + "/net/" + protocol + (ipv6 ? "6" : ""));
        if (!text)
            continue;
        auto entries = ParseSocketTable(*text, ipv6);
        all.insert(all.end(), std::make_move_iterator(entries.begin()),
                   std::make_move_iterator(entries.end()));
    }
    return all;
}

std::optional<std::uint64_t> SocketInodeOfLink(std::string_view link) {
    if (!StartsWith(link, "socket:[") || !EndsWith(link, "]"))
        return std::nullopt;
    return ParseUnsigned(link.substr(8, link.size() - 9));
}

std::map<std::uint64_t, std::int64_t> ReadSocketOwners(const std::string& proc_root) {
    std::map<std::uint64_t, std::int64_t> owners;
    for (std::int64_t pid : ListPids(proc_root)) {
        const std::string fd_dir = proc_root + "/" + std::to_string(pid) + "/fd";
        for (const std::string& fd : ListFolder(fd_dir)) {
            auto link = ReadLink(fd_dir + "/" + fd);
            if (!link)
                continue;
            if (auto inode = SocketInodeOfLink(*link))
                owners.emplace(*inode, pid);  // pids come in order: the lowest stays
        }
    }
    return owners;
}

}  // namespace kvlinux
