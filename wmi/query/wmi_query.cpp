#include "wmi/query/wmi_query.h"

#include <map>
#include <utility>

#include "errors/error_description.h"
#include "log/agent_log.h"
#include "wmi/conversion/data_conversion.h"
#include "xml/xml_document.h"

namespace {

constexpr const WCHAR* kInitializeSource = u"CWMIQuery::Initialize";
constexpr const WCHAR* kExecuteSource = u"CWMIQuery::Execute";
constexpr const WCHAR* kExecuteQuerySource = u"CWMIQuery::ExecuteQuery";
// The source file the trace lines of a failed step name, as "wmiquery(181)".
constexpr const char* kTraceFile = "wmiquery.cpp";

// A rule name's conversion: (parameter, function name).
using RuleTable = std::map<std::u16string, std::pair<std::u16string, std::u16string>>;

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
    ForEachElement(query, u"rules/rule", [&](const IXMLDOMElementPtr& rule) {
        std::u16string name;
        if (!GetAttributeString(rule, u"name", name))
            return;
        IXMLDOMElementPtr function = SelectElement(rule, u"definition/function");
        std::u16string functionName;
        if (!function || !GetAttributeString(function, u"name", functionName))
            return;
        std::u16string param;
        GetAttributeString(function, u"param", param);
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
        CEReportEventCom(LogError, kInitializeSource, error, u"Failed to initialize WMI query");
        std::u16string text;
        GetComErrorText(error, text);
        ExplainFailure(u"the WMI query element could not be read: " + text);
    } catch (...) {
        CEReportEventF(LogError, kInitializeSource, u"UnKnown Error");
    }
    return kWmiQueryFailed;
}

void CWMIQuery::ReadDefinition(IXMLDOMElementPtr& query) {
    if (!query)
        _com_issue_error(E_POINTER);
    working_.query.clear();
    working_.properties.clear();
    std::u16string value;
    if (GetAttributeString(query, u"namespace", value))
        working_.namespace_ = value;
    std::u16string className;
    GetAttributeString(query, u"class", className);

    const RuleTable rules = ReadRules(query);

    std::u16string statement = u"select ";
    ForEachElement(query, u"properties/property", [&](const IXMLDOMElementPtr& property) {
        WMIPropertyInfo binding;
        GetChildTextString(property, nullptr, binding.name);
        std::u16string ruleName;
        if (GetAttributeString(property, u"rule", ruleName)) {
            auto rule = rules.find(ruleName);
            if (rule != rules.end()) {
                binding.param = rule->second.first;
                binding.function = rule->second.second;
            }
        }
        GetAttributeNumber(property, u"mapsTo", binding.mapsTo);
        if (!working_.properties.empty())
            statement += u',';
        statement += binding.name;
        working_.properties.push_back(std::move(binding));
    });
    statement += u" from ";
    statement += className;
    statement += u' ';
    std::u16string clause;
    if (GetAttributeString(query, u"filter/clause", clause))
        statement += clause;
    working_.query = std::move(statement);
    active_ = working_;
}

HRESULT CWMIQuery::Execute(std::u16string& output) {
    try {
        HRESULT hr = engine_.Initialize();
        if (FAILED(hr)) {
            CEReportEventAt(LogTrace, kTraceFile, 181, u"CE_FAILED_THROW_ERROR_MSG %x", hr);
            ThrowComError(hr, u"Error in initializing Wbem Objects");
        }
        const std::u16string path = u"\\\\.\\" + active_.namespace_;
        const int32_t connected = engine_.ConnectServer(path);
        if (connected < 0) {
            CEReportEventAt(LogTrace, kTraceFile, 189, u"CE_FAILED_THROW_ERROR_MSG %x", connected);
            ThrowComError(static_cast<HRESULT>(connected),
                          (u"Error in Connecting WMI Server: namespace = " + path).c_str());
        }
        const HRESULT result = ExecuteQuery(active_);
        if (FAILED(result))
            CEReportEventF(LogWarning, kExecuteSource, u"Error in executing query");
        std::u16string rows;
        GetRowsXml(rows);
        output = std::move(rows);
        return result;
    } catch (const _com_error& error) {
        CEReportEventCom(LogWarning, kExecuteSource, error, u"Failed to execute WMI query");
    } catch (...) {
        CEReportEventS(LogError, kExecuteSource, u"Unknown error");
    }
    return kWmiQueryFailed;
}

HRESULT CWMIQuery::ExecuteQuery(WMIQueryInfo definition) {
    try {
        WMIRows rows;
        if (engine_.OpenQuery(definition.query) && engine_.FetchRows(rows, kWmiFetchTimeLimitMs)) {
            AddRows(rows, definition);
            return S_OK;
        }
        // Rows built before a time-out are dropped with the rest.
        CEReportEventF(LogError, kExecuteQuerySource, u"WMI Query Failed - Query:%s",
                       definition.query.c_str());
    } catch (...) {
        CEReportEventF(LogError, kExecuteQuerySource, u"UnKnown Error");
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
            std::u16string value = entry->second;
            if (!binding.function.empty()) {
                CDataConversion::Process(value.c_str(), binding.function.c_str(),
                                         binding.param.c_str(), value);
            }
            SetColumnValue(static_cast<uint32_t>(binding.mapsTo), value);
        }
    }
}
