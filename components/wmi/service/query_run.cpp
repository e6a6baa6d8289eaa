#include "service/query_run.h"

#include <exception>

#include "kvwin/ascii_case.h"
#include "kvwin/utf.h"
#include "service/class_object.h"
#include "service/namespace_path.h"
#include "win/debug.h"
#include "wql/binder.h"
#include "wql/evaluator.h"
#include "wql/parser.h"

namespace kvwmi {

namespace {

HRESULT Finish(wql::Query query, const std::shared_ptr<const NamespaceSource>& source,
               std::u16string text, PreparedQuery& out) {
    const ClassDecl* decl = source->FindClass(query.class_name);
    if (!decl)
        return WBEM_E_INVALID_CLASS;
    HRESULT hr = wql::Bind(query, *decl);
    if (FAILED(hr))
        return hr;
    out.source = source;
    out.decl = decl;
    out.query = std::make_shared<const wql::Query>(std::move(query));
    out.text = std::move(text);
    return WBEM_S_NO_ERROR;
}

}  // namespace

HRESULT PrepareQuery(const BSTR language, const BSTR text,
                     const std::shared_ptr<const NamespaceSource>& source, PreparedQuery& out) {
    if (!text || !language)
        return WBEM_E_INVALID_PARAMETER;
    if (!kvwin::EqualsAsciiNoCase(std::u16string_view(language), u"WQL"))
        return WBEM_E_INVALID_QUERY_TYPE;
    std::u16string query_text(text, SysStringLen(text));
    wql::Query query;
    wql::ParseError error;
    if (!wql::Parse(query_text, query, error)) {
        // The reason is for whoever wrote the query; WMI itself says no more than the code.
        std::u16string message =
            u"kavrel-wmi: invalid query at offset " +
            kvwin::FromUtf8(std::to_string(error.offset) + ": " + error.message) + u": " +
            query_text + u"\n";
        OutputDebugStringW(message.c_str());
        return WBEM_E_INVALID_QUERY;
    }
    return Finish(std::move(query), source, std::move(query_text), out);
}

HRESULT PrepareClassQuery(const BSTR class_name,
                          const std::shared_ptr<const NamespaceSource>& source,
                          PreparedQuery& out) {
    if (!class_name)
        return WBEM_E_INVALID_PARAMETER;
    wql::Query query;
    query.select_all = true;
    query.class_name.assign(class_name, SysStringLen(class_name));
    std::u16string text = u"SELECT * FROM " + query.class_name;
    return Finish(std::move(query), source, std::move(text), out);
}

StatusFields ServiceStatus(HRESULT result, const std::u16string& description,
                           const PreparedQuery& prepared) {
    StatusFields fields;
    fields.description = description;
    fields.operation = u"ExecQuery";
    fields.parameter_info = prepared.text;
    fields.provider_name = u"kavrel-wmi";
    fields.status_code = static_cast<int32_t>(result);
    return fields;
}

QueryResult RunQuery(const PreparedQuery& prepared) {
    QueryResult result;
    ClassContent content;
    try {
        content = prepared.source->Enumerate(*prepared.decl);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& failure) {
        result.status.result = WBEM_E_PROVIDER_FAILURE;
        result.status.send_object = true;
        result.status.fields =
            ServiceStatus(WBEM_E_PROVIDER_FAILURE, kvwin::FromUtf8(failure.what()), prepared);
        return result;
    }
    result.plan = content.plan;
    result.status = std::move(content.status);

    const wql::Query& query = *prepared.query;
    std::vector<bool> selected;
    if (!query.select_all) {
        selected.assign(prepared.decl->properties.size(), false);
        for (const wql::PropertyRef& ref : query.select) {
            if (ref.index >= 0)
                selected[static_cast<size_t>(ref.index)] = true;
        }
    }
    std::u16string server = LocalServerName();
    for (SourceRow& row : content.rows) {
        if (query.where && !wql::Matches(*query.where, row.values))
            continue;
        ObjectData data;
        data.source = prepared.source;
        data.decl = prepared.decl;
        data.values = std::move(row.values);
        data.failures = std::move(row.failures);
        data.selected = selected;
        data.server = server;
        result.objects.emplace_back(CreateClassObject(std::move(data)), false);
    }
    return result;
}

}  // namespace kvwmi
