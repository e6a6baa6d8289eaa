// MSFT_NetTCPConnection (root\StandardCimv2): one instance per TCP socket of
// /proc/net/tcp and tcp6, listeners included. OwningProcess is the lowest pid holding a
// descriptor to the socket (readable for others' processes by root only; a socket in
// time-wait has no holder). InstanceID joins the two endpoints with "++" separators.
// Linux keeps no creation time for a socket, and applies no Windows "TCP setting".
#include "classes/cim_properties.h"
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillTcpConnection(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kTcpConnectionClass{u"root\\StandardCimv2", u"MSFT_NetTCPConnection",
                                    EnabledLogicalElementProperties({
                                        {u"Directionality", CIM_UINT16},
                                        {u"AggregationBehavior", CIM_UINT16},
                                        {u"LocalAddress", CIM_STRING},
                                        {u"LocalPort", CIM_UINT16},
                                        {u"RemoteAddress", CIM_STRING},
                                        {u"RemotePort", CIM_UINT16},
                                        {u"State", CIM_UINT8},
                                        {u"AppliedSetting", CIM_UINT8},
                                        {u"OwningProcess", CIM_UINT32},
                                        {u"CreationTime", CIM_DATETIME},
                                        {u"OffloadState", CIM_UINT8},
                                    }),
                                    FillTcpConnection};

void FillTcpConnection(const ClassDecl& decl, std::vector<Instance>& out) {
    FillTcpConnectionsFrom(decl, kvlinux::ReadSockets("tcp"), kvlinux::ReadSocketOwners(), out);
}

}  // namespace

std::uint64_t TcpStateOf(std::uint8_t kernel_state) {
    switch (kernel_state) {
        case 1:
            return 5;  // Established
        case 2:
            return 3;  // SynSent
        case 3:
            return 4;  // SynReceived
        case 4:
            return 6;  // FinWait1
        case 5:
            return 7;  // FinWait2
        case 6:
            return 11;  // TimeWait
        case 7:
            return 1;  // Closed
        case 8:
            return 8;  // CloseWait
        case 9:
            return 10;  // LastAck
        case 10:
            return 2;  // Listen
        case 11:
            return 9;  // Closing
        default:
            return 1;
    }
}

void FillTcpConnectionsFrom(const ClassDecl& decl, const std::vector<kvlinux::SocketEntry>& tcp,
                            const std::map<std::uint64_t, std::int64_t>& owners,
                            std::vector<Instance>& out) {
    for (const kvlinux::SocketEntry& s : tcp) {
        const std::string local = s.local_address + "++" + std::to_string(s.local_port);
        const std::string remote = s.remote_address + "++" + std::to_string(s.remote_port);
        InstanceBuilder b(decl);
        b.Set(u"InstanceID", Text(local + "++" + remote));
        b.Set(u"LocalAddress", Text(s.local_address));
        b.Set(u"LocalPort", Unsigned(s.local_port));
        b.Set(u"RemoteAddress", Text(s.remote_address));
        b.Set(u"RemotePort", Unsigned(s.remote_port));
        b.Set(u"State", Unsigned(TcpStateOf(s.state)));
        if (auto owner = owners.find(s.inode); s.inode != 0 && owner != owners.end())
            b.Set(u"OwningProcess", Unsigned(static_cast<std::uint64_t>(owner->second)));
        b.Set(u"OffloadState", Unsigned(0));    // InHost: the host's own stack carries it
        b.Set(u"Directionality", Unsigned(2));  // Bidirectional
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kTcpConnectionClass);

}  // namespace kvwmi
