#include "classes/cim_properties.h"

namespace kvwmi {

std::vector<PropertyDecl> ControllerProperties() {
    return {
        {u"Availability", CIM_UINT16},
        {u"Caption", CIM_STRING},
        {u"ConfigManagerErrorCode", CIM_UINT32},
        {u"ConfigManagerUserConfig", CIM_BOOLEAN},
        {u"CreationClassName", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"DeviceID", CIM_STRING, true},
        {u"ErrorCleared", CIM_BOOLEAN},
        {u"ErrorDescription", CIM_STRING},
        {u"InstallDate", CIM_DATETIME},
        {u"LastErrorCode", CIM_UINT32},
        {u"Manufacturer", CIM_STRING},
        {u"MaxNumberControlled", CIM_UINT32},
        {u"Name", CIM_STRING},
        {u"PNPDeviceID", CIM_STRING},
        {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"PowerManagementSupported", CIM_BOOLEAN},
        {u"ProtocolSupported", CIM_UINT16},
        {u"Status", CIM_STRING},
        {u"StatusInfo", CIM_UINT16},
        {u"SystemCreationClassName", CIM_STRING},
        {u"SystemName", CIM_STRING},
        {u"TimeOfLastReset", CIM_DATETIME},
    };
}

std::vector<PropertyDecl> EnabledLogicalElementProperties(std::initializer_list<PropertyDecl> own) {
    std::vector<PropertyDecl> properties{
        {u"Caption", CIM_STRING},
        {u"Description", CIM_STRING},
        {u"ElementName", CIM_STRING},
        {u"InstallDate", CIM_DATETIME},
        {u"Name", CIM_STRING},
        {u"OperationalStatus", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"StatusDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
        {u"Status", CIM_STRING},
        {u"HealthState", CIM_UINT16},
        {u"CommunicationStatus", CIM_UINT16},
        {u"DetailedStatus", CIM_UINT16},
        {u"OperatingStatus", CIM_UINT16},
        {u"PrimaryStatus", CIM_UINT16},
        {u"OtherEnabledState", CIM_STRING},
        {u"EnabledDefault", CIM_UINT16},
        {u"TimeOfLastStateChange", CIM_DATETIME},
        {u"TransitioningToState", CIM_UINT16},
        {u"AvailableRequestedStates", CIM_UINT16 | CIM_FLAG_ARRAY},
        {u"InstanceID", CIM_STRING, true},
        {u"EnabledState", CIM_UINT16},
        {u"RequestedState", CIM_UINT16},
    };
    properties.insert(properties.end(), own.begin(), own.end());
    return properties;
}

}  // namespace kvwmi
