#include "service/query_run.h"

#include <exception>
#include <type_traits>
#include <variant>

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

// The reason a query was refused, for whoever wrote it: WMI itself says no more than the
// code, so the reason goes to the debug channel (a listening tool shows it).
void Explain(const std::u16string& reason, const std::u16string& query_text) {
    const std::u16string message = u"kavrel-wmi: " + reason + u": " + query_text + u"\n";
    OutputDebugStringW(message.c_str());
}

bool IsNamePart(char16_t c) {
    return c == u'_' || (c >= u'0' && c <= u'9') || ((c | 0x20) >= u'a' && (c | 0x20) <= u'z');
}

// Where a name first stands as a whole word in the text (ASCII case-insensitive), or npos.
size_t NameOffset(std::u16string_view text, std::u16string_view name) {
    if (name.empty())
        return std::u16string_view::npos;
    for (size_t at = 0; at + name.size() <= text.size(); ++at) {
        if ((at > 0 && IsNamePart(text[at - 1])) ||
            (at + name.size() < text.size() && IsNamePart(text[at + name.size()])))
            continue;
        if (kvwin::EqualsAsciiNoCase(text.substr(at, name.size()), name))
            return at;
    }
    return std::u16string_view::npos;
}

void MarkConditionProperties(const wql::Condition& condition, std::vector<bool>& wanted) {
    auto mark = [&wanted](const wql::PropertyRef& ref) {
        if (ref.index >= 0 && static_cast<size_t>(ref.index) < wanted.size())
            wanted[static_cast<size_t>(ref.index)] = true;
    };
    std::visit(
        [&](const auto& node) {
            using Node = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Node, wql::Negation>) {
                MarkConditionProperties(*node.operand, wanted);
            } else if constexpr (std::is_same_v<Node, wql::Junction>) {
                for (const wql::ConditionPtr& operand : node.operands)
                    MarkConditionProperties(*operand, wanted);
            } else {
                mark(node.property);
            }
        },
        condition.node);
}

// What the provider must compute for a query: the selected properties, those the WHERE
// clause tests and the keys (an object's path is made of them); everything for SELECT *.
Selection NeededProperties(const PreparedQuery& prepared) {
    Selection selection;
    const wql::Query& query = *prepared.query;
    if (query.select_all)
        return selection;
    const std::vector<PropertyDecl>& properties = prepared.decl->properties;
    selection.wanted.assign(properties.size(), false);
    for (size_t i = 0; i < properties.size(); ++i)
        selection.wanted[i] = properties[i].key;
    for (const wql::PropertyRef& ref : query.select) {
        if (ref.index >= 0 && static_cast<size_t>(ref.index) < properties.size())
            selection.wanted[static_cast<size_t>(ref.index)] = true;
    }
    if (query.where)
        MarkConditionProperties(*query.where, selection.wanted);
    return selection;
}

std::u16string Number(size_t value) {
    return kvwin::FromUtf8(std::to_string(value));
}

HRESULT Finish(wql::Query query, const std::shared_ptr<const NamespaceSource>& source,
               std::u16string text, PreparedQuery& out) {
    const ClassDecl* decl = source->FindClass(query.class_name);
    if (!decl) {
        std::u16string reason =
            u"no class " + query.class_name + u" in namespace " + source->Name();
        if (const size_t at = NameOffset(text, query.class_name); at != std::u16string::npos)
            reason += u" (offset " + Number(at) + u")";
        Explain(reason, text);
        return WBEM_E_INVALID_CLASS;
    }
    wql::BindFault fault;
    HRESULT hr = wql::Bind(query, *decl, &fault);
    if (FAILED(hr)) {
        std::u16string reason =
            fault.property + u" " + fault.reason + u" " + std::u16string(decl->name);
        if (const size_t at = NameOffset(text, fault.property); at != std::u16string::npos)
            reason += u" (offset " + Number(at) + u")";
        Explain(reason, text);
        return hr;
    }
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
        Explain(u"invalid query at offset " +
                    kvwin::FromUtf8(std::to_string(error.offset) + ": " + error.message),
                query_text);
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
        content = prepared.source->Enumerate(*prepared.decl, NeededProperties(prepared));
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
