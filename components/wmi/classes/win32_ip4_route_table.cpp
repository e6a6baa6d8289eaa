// Win32_IP4RouteTable: one instance per route of the kernel's main IPv4 table
// (/proc/net/route). NextHop is "0.0.0.0" for a directly connected network, as on Windows;
// Type 3 (direct) or 4 (indirect, through a gateway), 2 (invalid) for a reject route;
// Metric1 the route's metric, the other metrics -1 (unused). InterfaceIndex is the
// interface's index (/sys/class/net/<name>/ifindex). Linux does not say which protocol
// added a route through this table, nor how old it is.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillIP4RouteTable(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kIp4RouteTableClass{u"root\\cimv2",
                                    u"Win32_IP4RouteTable",
                                    {
                                        {u"Age", CIM_UINT32},
                                        {u"Caption", CIM_STRING},
                                        {u"Description", CIM_STRING},
                                        {u"Destination", CIM_STRING, true},
                                        {u"Information", CIM_STRING},
                                        {u"InstallDate", CIM_DATETIME},
                                        {u"InterfaceIndex", CIM_SINT32, true},
                                        {u"Mask", CIM_STRING, true},
                                        {u"Metric1", CIM_SINT32},
                                        {u"Metric2", CIM_SINT32},
                                        {u"Metric3", CIM_SINT32},
                                        {u"Metric4", CIM_SINT32},
                                        {u"Metric5", CIM_SINT32},
                                        {u"Name", CIM_STRING},
                                        {u"NextHop", CIM_STRING, true},
                                        {u"Protocol", CIM_UINT32},
                                        {u"Status", CIM_STRING},
                                        {u"Type", CIM_UINT32},
                                    },
                                    FillIP4RouteTable};

void FillIP4RouteTable(const ClassDecl& decl, std::vector<Instance>& out) {
    const auto routes = kvlinux::ReadRoutes();
    std::map<std::string, std::int64_t> indexes;
    for (const kvlinux::Ipv4Route& route : routes) {
        if (indexes.count(route.interface))
            continue;
        auto line = kvlinux::ReadFirstLine("/sys/class/net/" + route.interface + "/ifindex");
        if (auto index = line ? kvlinux::ParseSigned(*line) : std::nullopt)
            indexes.emplace(route.interface, *index);
    }
    FillRoutesFrom(decl, routes, indexes, out);
}

}  // namespace

void FillRoutesFrom(const ClassDecl& decl, const std::vector<kvlinux::Ipv4Route>& routes,
                    const std::map<std::string, std::int64_t>& interface_indexes,
                    std::vector<Instance>& out) {
    constexpr std::uint32_t kGateway = 0x2, kReject = 0x200;
    for (const kvlinux::Ipv4Route& route : routes) {
        auto index = interface_indexes.find(route.interface);
        if (index == interface_indexes.end())
            continue;  // the interface went away: the key cannot be formed
        InstanceBuilder b(decl);
        b.Set(u"Destination", Text(route.destination));
        b.Set(u"Mask", Text(route.mask));
        b.Set(u"NextHop", Text(route.gateway));
        b.Set(u"InterfaceIndex", Signed(index->second));
        b.Set(u"Name", Text(route.destination));
        b.Set(u"Caption", Text(route.destination));
        b.Set(u"Description", Text(route.destination + " - " + route.mask + " - " + route.gateway));
        b.Set(u"Metric1", Signed(route.metric));
        for (const char16_t* unused : {u"Metric2", u"Metric3", u"Metric4", u"Metric5"})
            b.Set(unused, Signed(-1));
        b.Set(u"Type", Unsigned((route.flags & kReject) ? 2 : (route.flags & kGateway) ? 4 : 3));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kIp4RouteTableClass);

}  // namespace kvwmi
