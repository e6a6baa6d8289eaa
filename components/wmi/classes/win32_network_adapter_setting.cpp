// Win32_NetworkAdapterSetting: each network adapter with its configuration. Both classes
// have one instance per interface and share its index (Win32_NetworkAdapter's Index,
// Win32_NetworkAdapterConfiguration's key Index), so Element and Setting pair by it.
#include <map>

#include "classes/association_support.h"

namespace kvwmi {

namespace {

void FillNetworkAdapterSetting(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kNetworkAdapterSettingClass{u"root\\cimv2",
                                            u"Win32_NetworkAdapterSetting",
                                            {
                                                {u"Element", CIM_REFERENCE, true},
                                                {u"Setting", CIM_REFERENCE, true},
                                            },
                                            FillNetworkAdapterSetting};

void FillNetworkAdapterSetting(const ClassDecl& decl, std::vector<Instance>& out) {
    const ClassDecl* configuration = nullptr;
    std::map<std::uint64_t, CimValue> settings;
    for (const Instance& instance :
         EndpointInstances(u"Win32_NetworkAdapterConfiguration", {}, configuration)) {
        if (const auto* index =
                std::get_if<std::uint64_t>(&ValueOf(*configuration, instance, u"Index")))
            settings.emplace(*index, ReferenceTo(*configuration, instance));
    }
    const ClassDecl* adapter = nullptr;
    for (const Instance& instance :
         EndpointInstances(u"Win32_NetworkAdapter", {u"Index"}, adapter)) {
        const auto* index = std::get_if<std::uint64_t>(&ValueOf(*adapter, instance, u"Index"));
        if (!index)
            continue;
        auto setting = settings.find(*index);
        if (setting == settings.end())
            continue;
        InstanceBuilder b(decl);
        b.Set(u"Element", ReferenceTo(*adapter, instance));
        b.Set(u"Setting", setting->second);
        out.push_back(b.Take());
    }
}

}  // namespace

KAVREL_WMI_CLASS(kNetworkAdapterSettingClass);

}  // namespace kvwmi
