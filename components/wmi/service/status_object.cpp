#include "service/status_object.h"

#include "service/class_object.h"

namespace kvwmi {

namespace {

const ClassDecl kExtendedStatus{
    u"",
    u"__ExtendedStatus",
    {
        {u"Description", CIM_STRING},
        {u"Operation", CIM_STRING},
        {u"ParameterInfo", CIM_STRING},
        {u"ProviderName", CIM_STRING},
        {u"StatusCode", CIM_UINT32},
        {u"ObjectInfo", CIM_STRING},
        {u"ErrorCode", CIM_UINT32},
    },
    nullptr,
};

template <class T>
CimValue Optional(const std::optional<T>& field) {
    if (!field)
        return std::monostate{};
    if constexpr (std::is_same_v<T, int32_t>)
        return static_cast<std::int64_t>(*field);
    else
        return *field;
}

}  // namespace

IWbemClassObject* CreateStatusObject(const StatusFields& fields) {
    ObjectData data;
    data.decl = &kExtendedStatus;
    data.values = {Optional(fields.description),    Optional(fields.operation),
                   Optional(fields.parameter_info), Optional(fields.provider_name),
                   Optional(fields.status_code),    Optional(fields.object_info),
                   Optional(fields.error_code)};
    return CreateClassObject(std::move(data));
}

}  // namespace kvwmi
