// MSFT_NetUDPEndpoint (root\StandardCimv2): one instance per UDP socket of /proc/net/udp
// and udp6. OwningProcess as for TCP connections: the lowest pid holding the socket.
// InstanceID is the local address and port joined by "++".
#include "classes/cim_properties.h"
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "linux/host_info.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillUdpEndpoint(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kUdpEndpointClass{u"root\\StandardCimv2", u"MSFT_NetUDPEndpoint",
                                  EnabledLogicalElementProperties({
                                      {u"SystemCreationClassName", CIM_STRING},
                                      {u"SystemName", CIM_STRING},
                                      {u"CreationClassName", CIM_STRING},
                                      {u"NameFormat", CIM_STRING},
                                      {u"ProtocolType", CIM_UINT16},
                                      {u"OtherTypeDescription", CIM_STRING},
                                      {u"ProtocolIFType", CIM_UINT16},
                                      {u"LocalAddress", CIM_STRING},
                                      {u"LocalPort", CIM_UINT16},
                                      {u"CreationTime", CIM_DATETIME},
                                      {u"OwningProcess", CIM_UINT32},
                                  }),
                                  FillUdpEndpoint};

void FillUdpEndpoint(const ClassDecl& decl, std::vector<Instance>& out) {
    FillUdpEndpointsFrom(decl, kvlinux::ReadSockets("udp"), kvlinux::ReadSocketOwners(),
                         kvlinux::ReadHostInfo().host_name, out);
}

}  // namespace

void FillUdpEndpointsFrom(const ClassDecl& decl, const std::vector<kvlinux::SocketEntry>& udp,
                          const std::map<std::uint64_t, std::int64_t>& owners,
                          const std::string& host, std::vector<Instance>& out) {
    for (const kvlinux::SocketEntry& s : udp) {
        const std::string id = s.local_address + "++" + std::to_string(s.local_port);
        InstanceBuilder b(decl);
        b.Set(u"InstanceID", Text(id));
        b.Set(u"Name", Text(id));
        b.Set(u"LocalAddress", Text(s.local_address));
        b.Set(u"LocalPort", Unsigned(s.local_port));
        if (auto owner = owners.find(s.inode); s.inode != 0 && owner != owners.end())
            b.Set(u"OwningProcess", Unsigned(static_cast<std::uint64_t>(owner->second)));
        b.Set(u"SystemCreationClassName", Text("Win32_ComputerSystem"));
        b.Set(u"SystemName", Text(host));
        b.Set(u"CreationClassName", std::u16string(decl.name));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kUdpEndpointClass);

}  // namespace kvwmi
