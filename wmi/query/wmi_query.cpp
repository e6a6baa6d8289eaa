#include "wmi/query/wmi_query.h"

#include <map>
#include <utility>

#include "errors/error_description.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "wmi/conversion/data_conversion.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kInitializeSource = TEXT("CWMIQuery::Initialize");
constexpr const WCHAR* kExecuteSource = TEXT("CWMIQuery::Execute");
constexpr const WCHAR* kExecuteQuerySource = TEXT("CWMIQuery::ExecuteQuery");
// The source file the trace lines of a failed step name, as "wmiquery(181)".
constexpr const char* kTraceFile = "wmiquery.cpp";

// A rule name's conversion: (parameter, function name).
using RuleTable = std::map<WString, std::pair<WString, WString>>;

// Calls visit for every element that `path` selects below `parent`, in document order.
// The walk ends at the end of the list or at the first node that is not an element.
template <class Visit>
void ForEachElement(const IXMLDOMElementPtr& parent, const WCHAR* path, Visit&& visit) {
    IXMLDOMNodeList* raw = nullptr;
    HRESULT hr = parent->selectNodes(_bstr_t(path), &raw);
    IXMLDOMNodeListPtr list(raw, false);
    if (FAILED(hr))
        _com_issue_errorex(hr, parent.GetInterfacePtr(), IID_IXMLDOMElement);
    if (!list)
        return;
    for (;;) {
        IXMLDOMNode* next = nullptr;
        hr = list->nextNode(&next);
        IXMLDOMNodePtr node(next, false);
        if (FAILED(hr))
            _com_issue_errorex(hr, list.GetInterfacePtr(), IID_IXMLDOMNodeList);
        if (!node)
            return;
        IXMLDOMElement* asElement = nullptr;
        hr = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&asElement));
        if (hr == E_NOINTERFACE)
            return;
        if (FAILED(hr))
            _com_issue_errorex(hr, node.GetInterfacePtr(), IID_IXMLDOMNode);
        IXMLDOMElementPtr element(asElement, false);
        if (!element)
            return;
        visit(element);
    }
}

// The element that `path` selects below `parent`, or null.
IXMLDOMElementPtr SelectElement(const IXMLDOMElementPtr& parent, const WCHAR* path) {
    IXMLDOMNode* found = nullptr;
    HRESULT hr = parent->selectSingleNode(_bstr_t(path), &found);
    IXMLDOMNodePtr node(found, false);
    if (FAILED(hr))
        _com_issue_errorex(hr, parent.GetInterfacePtr(), IID_IXMLDOMElement);
    if (!node)
        return nullptr;
    IXMLDOMElement* asElement = nullptr;
    hr = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&asElement));
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_errorex(hr, node.GetInterfacePtr(), IID_IXMLDOMNode);
    return IXMLDOMElementPtr(asElement, false);
}

RuleTable ReadRules(const IXMLDOMElementPtr& query) {
    RuleTable rules;
    ForEachElement(query, TEXT("rules/rule"), [&](const IXMLDOMElementPtr& rule) {
        WString name;
        if (!GetAttributeString(rule, TEXT("name"), name))
            return;
        IXMLDOMElementPtr function = SelectElement(rule, TEXT("definition/function"));
        WString functionName;
        if (!function || !GetAttributeString(function, TEXT("name"), functionName))
            return;
        WString param;
        GetAttributeString(function, TEXT("param"), param);
        rules[name] = {std::move(param), std::move(functionName)};
    });
    return rules;
}

}  // namespace

HRESULT CWMIQuery::Initialize(IXMLDOMElementPtr& query) {
    try {
        ReadDefinition(query);
        return S_OK;
    } catch (const _com_error& error) {
        CEReportEventCom(LogError, kInitializeSource, error,
                         TEXT("Failed to initialize WMI query"));
        WString text;
        GetComErrorText(error, text);
        ExplainFailure(TEXT("the WMI query element could not be read: ") + text);
    } catch (...) {
        CEReportEventF(LogError, kInitializeSource, TEXT("UnKnown Error"));
    }
    return kWmiQueryFailed;
}

void CWMIQuery::ReadDefinition(IXMLDOMElementPtr& query) {
    if (!query)
        _com_issue_error(E_POINTER);
    working_.query.clear();
    working_.properties.clear();
    WString value;
    if (GetAttributeString(query, TEXT("namespace"), value))
        working_.namespace_ = value;
    WString className;
    GetAttributeString(query, TEXT("class"), className);

    const RuleTable rules = ReadRules(query);

    WString statement = TEXT("select ");
    ForEachElement(query, TEXT("properties/property"), [&](const IXMLDOMElementPtr& property) {
        WMIPropertyInfo binding;
        GetChildTextString(property, nullptr, binding.name);
        WString ruleName;
        if (GetAttributeString(property, TEXT("rule"), ruleName)) {
            auto rule = rules.find(ruleName);
            if (rule != rules.end()) {
                binding.param = rule->second.first;
                binding.function = rule->second.second;
            }
        }
        GetAttributeNumber(property, TEXT("mapsTo"), binding.mapsTo);
        if (!working_.properties.empty())
            statement += TEXT(',');
        statement += binding.name;
        working_.properties.push_back(std::move(binding));
    });
    statement += TEXT(" from ");
    statement += className;
    statement += TEXT(' ');
    WString clause;
    if (GetAttributeString(query, TEXT("filter/clause"), clause))
        statement += clause;
    working_.query = std::move(statement);
    active_ = std::make_shared<const WMIQueryInfo>(working_);
}

const WMIQueryInfo& CWMIQuery::ActiveDefinition() const {
    static const WMIQueryInfo kNone;
    return active_ ? *active_ : kNone;
}

void CWMIQuery::UseDefinition(std::shared_ptr<const WMIQueryInfo> definition) {
    if (!definition)
        return;
    // What a later Initialize keeps of the definition read before.
    working_.namespace_ = definition->namespace_;
    active_ = std::move(definition);
}

HRESULT CWMIQuery::Execute(WString& output) {
    try {
        HRESULT hr = engine_.Initialize();
        if (FAILED(hr)) {
            CEReportEventAt(LogTrace, kTraceFile, 181, TEXT("CE_FAILED_THROW_ERROR_MSG %x"), hr);
            ThrowComError(hr, TEXT("Error in initializing Wbem Objects"));
        }
        const WMIQueryInfo& definition = ActiveDefinition();
        const WString path = TEXT("\\\\.\\") + definition.namespace_;
        const int32_t connected = engine_.ConnectServer(path);
        if (connected < 0) {
            CEReportEventAt(LogTrace, kTraceFile, 189, TEXT("CE_FAILED_THROW_ERROR_MSG %x"),
                            connected);
            ThrowComError(static_cast<HRESULT>(connected),
                          (TEXT("Error in Connecting WMI Server: namespace = ") + path).c_str());
        }
        const HRESULT result = ExecuteQuery(definition);
        if (FAILED(result))
            CEReportEventF(LogWarning, kExecuteSource, TEXT("Error in executing query"));
        WString rows;
        GetRowsXml(rows);
        output = std::move(rows);
        return result;
    } catch (const _com_error& error) {
        CEReportEventCom(LogWarning, kExecuteSource, error, TEXT("Failed to execute WMI query"));
    } catch (...) {
        CEReportEventS(LogError, kExecuteSource, TEXT("Unknown error"));
    }
    return kWmiQueryFailed;
}

HRESULT CWMIQuery::ExecuteQuery(const WMIQueryInfo& definition) {
    try {
        WMIRows rows;
        if (engine_.OpenQuery(definition.query) && engine_.FetchRows(rows, kWmiFetchTimeLimitMs)) {
            AddRows(rows, definition);
            return S_OK;
        }
        // Rows built before a time-out are dropped with the rest.
        CEReportEventF(LogError, kExecuteQuerySource, TEXT("WMI Query Failed - Query:%s"),
                       definition.query.c_str());
    } catch (...) {
        CEReportEventF(LogError, kExecuteQuerySource, TEXT("UnKnown Error"));
    }
    return kWmiQueryFailed;
}

void CWMIQuery::AddRows(const WMIRows& rows, const WMIQueryInfo& definition) {
    for (const WMIRowMap& row : rows) {
        AddRow();
        for (const WMIPropertyInfo& binding : definition.properties) {
            auto entry = row.find(binding.name);
            if (entry == row.end())
                continue;
            if (binding.function.empty()) {
                SetColumnValue(static_cast<uint32_t>(binding.mapsTo), entry->second);
                continue;
            }
            WString value = entry->second;
            CDataConversion::Process(value.c_str(), binding.function.c_str(), binding.param.c_str(),
                                     value);
            SetColumnValue(static_cast<uint32_t>(binding.mapsTo), value);
        }
    }
}
