// kavrel-query's WMI face.
#include "wql_tool.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "kvwin/ascii_case.h"
#include "kvwin/utf.h"
#include "win/comdef.h"
#include "win/oleauto.h"
#include "win/wbemcli.h"

_COM_SMARTPTR_TYPEDEF(IWbemLocator, __uuidof(IWbemLocator));
_COM_SMARTPTR_TYPEDEF(IWbemServices, __uuidof(IWbemServices));
_COM_SMARTPTR_TYPEDEF(IWbemClassObject, __uuidof(IWbemClassObject));
_COM_SMARTPTR_TYPEDEF(IEnumWbemClassObject, __uuidof(IEnumWbemClassObject));

namespace {

// Generated from docs/wmi-classes.md: kClassPage, the page's text.
#include "wmi_classes_page.inc"  // NOLINT

// Owns a SAFEARRAY.
class SafeArrayHolder {
  public:
    SafeArrayHolder() = default;
    ~SafeArrayHolder() {
        if (array_)
            SafeArrayDestroy(array_);
    }
    SafeArrayHolder(const SafeArrayHolder&) = delete;
    SafeArrayHolder& operator=(const SafeArrayHolder&) = delete;
    SAFEARRAY** receive() { return &array_; }
    SAFEARRAY* get() const { return array_; }

  private:
    SAFEARRAY* array_ = nullptr;
};

std::string Utf8(BSTR text) {
    return text ? kvwin::ToUtf8(std::u16string_view(text, SysStringLen(text))) : std::string();
}

HRESULT Connect(const std::string& ns, IWbemServicesPtr& services) {
    IWbemLocatorPtr locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(&locator));
    if (FAILED(hr))
        return hr;
    const _bstr_t path(kvwin::FromUtf8(ns).c_str());
    hr = locator->ConnectServer(path, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    return FAILED(hr) ? hr : S_OK;
}

bool IsNumber(long cimType) {
    switch (cimType & ~CIM_FLAG_ARRAY) {
        case CIM_SINT8:
        case CIM_UINT8:
        case CIM_SINT16:
        case CIM_UINT16:
        case CIM_SINT32:
        case CIM_UINT32:
        case CIM_SINT64:
        case CIM_UINT64:
        case CIM_REAL32:
        case CIM_REAL64:
            return true;
        default:
            return false;
    }
}

// An embedded object (a task's actions, a profile's folders) as its object text on one line:
// "instance of MSFT_TaskAction { Execute = "/bin/true"; };".
WqlValue EmbeddedObject(IUnknown* object) {
    WqlValue result;
    IWbemClassObject* found = nullptr;
    if (!object || FAILED(object->QueryInterface(__uuidof(IWbemClassObject),
                                                 reinterpret_cast<void**>(&found))))
        return result;
    const IWbemClassObjectPtr embedded(found, false);
    BSTR mof = nullptr;
    if (FAILED(embedded->GetObjectText(0, &mof)) || !mof)
        return result;
    const _bstr_t owned(mof, false);
    // Runs of white space between the tokens become one space; quoted texts stay as they are.
    std::string oneLine;
    bool space = false;
    bool quoted = false;
    bool escaped = false;
    for (const char c : Utf8(mof)) {
        if (quoted) {
            oneLine += c;
            quoted = escaped || c != '"';
            escaped = !escaped && c == '\\';
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            space = !oneLine.empty();
            continue;
        }
        if (space)
            oneLine += ' ';
        space = false;
        quoted = c == '"';
        oneLine += c;
    }
    result.kind = WqlValue::Kind::Text;
    result.text = oneLine;
    return result;
}

WqlValue Scalar(VARIANT& value, long cimType) {
    WqlValue result;
    if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY)
        return result;
    if (V_VT(&value) == VT_BOOL) {
        result.kind = WqlValue::Kind::Boolean;
        result.text = V_BOOL(&value) ? "true" : "false";
        return result;
    }
    if (V_VT(&value) == VT_UNKNOWN || V_VT(&value) == VT_DISPATCH)
        return EmbeddedObject(V_UNKNOWN(&value));
    _variant_t text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return result;
    result.kind = IsNumber(cimType) ? WqlValue::Kind::Number : WqlValue::Kind::Text;
    result.text = Utf8(V_BSTR(&text));
    return result;
}

WqlValue ToValue(VARIANT& value, long cimType) {
    if (!(V_VT(&value) & VT_ARRAY))
        return Scalar(value, cimType);
    WqlValue result;
    result.kind = WqlValue::Kind::Array;
    SAFEARRAY* array = V_ARRAY(&value);
    VARTYPE elementType = VT_EMPTY;
    LONG low = 0;
    LONG high = -1;
    if (!array || FAILED(SafeArrayGetVartype(array, &elementType)) ||
        FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)))
        return result;
    for (LONG i = low; i <= high; ++i) {
        _variant_t element;
        if (elementType == VT_VARIANT) {
            if (FAILED(SafeArrayGetElement(array, &i, &element)))
                continue;
        } else {
            // Every member of the union starts at the same address.
            if (FAILED(SafeArrayGetElement(array, &i, &V_I8(&element))))
                continue;
            V_VT(&element) = elementType;
        }
        result.items.push_back(Scalar(element, cimType));
    }
    return result;
}

// The names of a select list as written: "Name, State" gives "Name" and "State"; "*" gives
// nothing (the class's properties stand for it).
std::vector<std::string> SelectList(const std::string& statement, std::string& className) {
    std::string lower = statement;
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    std::vector<std::string> names;
    const size_t select = lower.find("select");
    const size_t from = lower.find(" from ");
    if (select == std::string::npos || from == std::string::npos || from < select)
        return names;
    size_t start = from + 6;
    while (start < statement.size() && statement[start] == ' ')
        ++start;
    size_t end = statement.find_first_of(" \t\r\n", start);
    className = statement.substr(start, end == std::string::npos ? end : end - start);
    std::string list = statement.substr(select + 6, from - select - 6);
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos)
            comma = list.size();
        std::string name = list.substr(at, comma - at);
        name.erase(0, name.find_first_not_of(" \t\r\n"));
        name.erase(name.find_last_not_of(" \t\r\n") + 1);
        if (name == "*")
            return {};
        if (!name.empty())
            names.push_back(name);
        at = comma + 1;
    }
    return names;
}

// The class's own property names, in declaration order.
HRESULT OwnNames(IWbemClassObject* object, long flags, std::vector<std::string>& names) {
    SafeArrayHolder list;
    HRESULT hr = object->GetNames(nullptr, flags, nullptr, list.receive());
    if (FAILED(hr))
        return hr;
    LONG low = 0;
    LONG high = -1;
    SafeArrayGetLBound(list.get(), 1, &low);
    SafeArrayGetUBound(list.get(), 1, &high);
    for (LONG i = low; i <= high; ++i) {
        BSTR name = nullptr;
        if (SUCCEEDED(SafeArrayGetElement(list.get(), &i, &name))) {
            names.push_back(Utf8(name));
            SysFreeString(name);
        }
    }
    return S_OK;
}

HRESULT ClassObject(IWbemServices* services, const std::string& className,
                    IWbemClassObjectPtr& object) {
    const _bstr_t path(kvwin::FromUtf8(className).c_str());
    return services->GetObject(path, 0, nullptr, &object, nullptr);
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower;
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::string();
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

// --- formats -------------------------------------------------------------------------

std::string PlainText(const WqlValue& value) {
    if (value.kind != WqlValue::Kind::Array)
        return value.text;
    std::string text;
    for (size_t i = 0; i < value.items.size(); ++i)
        text += (i ? ";" : "") + value.items[i].text;
    return text;
}

// Columns in code points, for alignment.
size_t Width(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text)
        width += (c & 0xC0) != 0x80;
    return width;
}

std::string Table(const WqlTable& table) {
    std::vector<size_t> widths;
    for (const std::string& column : table.columns)
        widths.push_back(Width(column));
    for (const auto& row : table.rows) {
        for (size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], Width(PlainText(row[i])));
    }
    std::string out;
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t i = 0; i < cells.size(); ++i) {
            text += cells[i];
            if (i + 1 < cells.size())
                text += std::string(widths[i] - Width(cells[i]) + 2, ' ');
        }
        out += text + "\n";
    };
    line(table.columns);
    std::vector<std::string> rule;
    for (size_t width : widths)
        rule.push_back(std::string(width, '-'));
    line(rule);
    for (const auto& row : table.rows) {
        std::vector<std::string> cells;
        for (size_t i = 0; i < table.columns.size(); ++i)
            cells.push_back(i < row.size() ? PlainText(row[i]) : std::string());
        line(cells);
    }
    return out;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string Csv(const WqlTable& table) {
    std::string out;
    for (size_t i = 0; i < table.columns.size(); ++i)
        out += (i ? "," : "") + CsvField(table.columns[i]);
    out += "\n";
    for (const auto& row : table.rows) {
        for (size_t i = 0; i < table.columns.size(); ++i)
            out += (i ? "," : "") + (i < row.size() ? CsvField(PlainText(row[i])) : "");
        out += "\n";
    }
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out += escape;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string Json(const WqlValue& value) {
    switch (value.kind) {
        case WqlValue::Kind::Null:
            return "null";
        case WqlValue::Kind::Boolean:
            return value.text;
        case WqlValue::Kind::Number:
            // A 64-bit count stays exact as a number in JSON text; a reader decides.
            return value.text.empty() ? "null" : value.text;
        case WqlValue::Kind::Text:
            return JsonString(value.text);
        case WqlValue::Kind::Array: {
            std::string out = "[";
            for (size_t i = 0; i < value.items.size(); ++i)
                out += (i ? ", " : "") + Json(value.items[i]);
            return out + "]";
        }
    }
    return "null";
}

std::string JsonTable(const WqlTable& table) {
    std::string out = "[";
    for (size_t r = 0; r < table.rows.size(); ++r) {
        out += r ? ",\n  {" : "\n  {";
        for (size_t i = 0; i < table.columns.size(); ++i) {
            out += (i ? ", " : "") + JsonString(table.columns[i]) + ": " +
                   (i < table.rows[r].size() ? Json(table.rows[r][i]) : "null");
        }
        out += "}";
    }
    return out + (table.rows.empty() ? "]\n" : "\n]\n");
}

std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A column name as an element name: anything outside [A-Za-z0-9_.-] becomes "_".
std::string XmlName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
                        (!out.empty() && ((c >= '0' && c <= '9') || c == '-' || c == '.'));
        out += ok ? c : '_';
    }
    return out.empty() ? "_" : out;
}

std::string XmlTable(const WqlTable& table) {
    std::string out = "<rows>\n";
    for (const auto& row : table.rows) {
        out += "  <row>";
        for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i) {
            const std::string name = XmlName(table.columns[i]);
            const WqlValue& value = row[i];
            if (value.kind == WqlValue::Kind::Null) {
                out += "<" + name + " null=\"true\"/>";
            } else if (value.kind == WqlValue::Kind::Array) {
                out += "<" + name + ">";
                for (const WqlValue& item : value.items)
                    out += "<item>" + XmlText(item.text) + "</item>";
                out += "</" + name + ">";
            } else {
                out += "<" + name + ">" + XmlText(value.text) + "</" + name + ">";
            }
        }
        out += "</row>\n";
    }
    return out + "</rows>\n";
}

}  // namespace

bool ParseOutputFormat(const std::string& name, OutputFormat& format) {
    if (name == "table")
        format = OutputFormat::Table;
    else if (name == "csv")
        format = OutputFormat::Csv;
    else if (name == "json")
        format = OutputFormat::Json;
    else if (name == "xml")
        format = OutputFormat::Xml;
    else
        return false;
    return true;
}

HRESULT RunWql(const std::string& ns, const std::string& statement, WqlTable& table) {
    table = WqlTable{};
    IWbemServicesPtr services;
    HRESULT hr = Connect(ns, services);
    if (FAILED(hr))
        return hr;
    const _bstr_t language(u"WQL");
    const _bstr_t text(kvwin::FromUtf8(statement).c_str());
    IEnumWbemClassObjectPtr rows;
    hr = services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                             nullptr, &rows);
    if (FAILED(hr))
        return hr;
    std::string className;
    table.columns = SelectList(statement, className);
    if (table.columns.empty()) {
        IWbemClassObjectPtr decl;
        if (SUCCEEDED(ClassObject(services, className, decl)))
            OwnNames(decl, WBEM_FLAG_NONSYSTEM_ONLY, table.columns);
    }
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        hr = rows->Next(WBEM_INFINITE, 1, &object, &returned);
        if (FAILED(hr))
            return hr;
        if (returned == 0 || !object)
            break;
        IWbemClassObjectPtr row(object, false);
        if (table.columns.empty())  // a statement this reading did not take apart
            OwnNames(row, WBEM_FLAG_NONSYSTEM_ONLY, table.columns);
        std::vector<WqlValue> values;
        for (const std::string& column : table.columns) {
            _variant_t value;
            CIMTYPE type = CIM_EMPTY;
            const std::u16string name = kvwin::FromUtf8(column);
            values.push_back(SUCCEEDED(row->Get(name.c_str(), 0, &value, &type, nullptr))
                                 ? ToValue(value, type)
                                 : WqlValue{});
        }
        table.rows.push_back(std::move(values));
    }
    return S_OK;
}

HRESULT ListClasses(const std::string& ns, WqlTable& table) {
    table = WqlTable{};
    table.columns = {"Class"};
    IWbemServicesPtr services;
    HRESULT hr = Connect(ns, services);
    if (FAILED(hr))
        return hr;
    IEnumWbemClassObjectPtr classes;
    hr = services->CreateClassEnum(nullptr, WBEM_FLAG_FORWARD_ONLY, nullptr, &classes);
    if (FAILED(hr))
        return hr;
    std::vector<std::string> names;
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        hr = classes->Next(WBEM_INFINITE, 1, &object, &returned);
        if (FAILED(hr))
            return hr;
        if (returned == 0 || !object)
            break;
        IWbemClassObjectPtr decl(object, false);
        _variant_t name;
        if (SUCCEEDED(decl->Get(u"__CLASS", 0, &name, nullptr, nullptr)) && V_VT(&name) == VT_BSTR)
            names.push_back(Utf8(V_BSTR(&name)));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    for (const std::string& name : names)
        table.rows.push_back({WqlValue{WqlValue::Kind::Text, name, {}}});
    return S_OK;
}

HRESULT DescribeClass(const std::string& ns, const std::string& className, WqlTable& table) {
    table = WqlTable{};
    table.columns = {"Property", "CimType", "Key", "Source"};
    IWbemServicesPtr services;
    HRESULT hr = Connect(ns, services);
    if (FAILED(hr))
        return hr;
    IWbemClassObjectPtr decl;
    hr = ClassObject(services, className, decl);
    if (FAILED(hr))
        return hr;
    std::string declaredName = className;
    {
        _variant_t name;
        if (SUCCEEDED(decl->Get(u"__CLASS", 0, &name, nullptr, nullptr)) && V_VT(&name) == VT_BSTR)
            declaredName = Utf8(V_BSTR(&name));
    }
    std::vector<std::string> keys;
    OwnNames(decl, WBEM_FLAG_KEYS_ONLY, keys);
    hr = decl->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY);
    if (FAILED(hr))
        return hr;
    for (;;) {
        BSTR name = nullptr;
        _variant_t value;
        CIMTYPE type = CIM_EMPTY;
        hr = decl->Next(0, &name, &value, &type, nullptr);
        if (hr != WBEM_S_NO_ERROR)
            break;
        const std::string property = Utf8(name);
        SysFreeString(name);
        const bool key = std::find(keys.begin(), keys.end(), property) != keys.end();
        const std::string source = DocumentedSource(declaredName, property);
        table.rows.push_back({
            WqlValue{WqlValue::Kind::Text, property, {}},
            WqlValue{WqlValue::Kind::Text, CimTypeName(type), {}},
            WqlValue{WqlValue::Kind::Boolean, key ? "true" : "false", {}},
            source.empty() ? WqlValue{} : WqlValue{WqlValue::Kind::Text, source, {}},
        });
    }
    decl->EndEnumeration();
    return FAILED(hr) ? hr : S_OK;
}

std::string FormatTable(const WqlTable& table, OutputFormat format) {
    switch (format) {
        case OutputFormat::Table:
            return Table(table);
        case OutputFormat::Csv:
            return Csv(table);
        case OutputFormat::Json:
            return JsonTable(table);
        case OutputFormat::Xml:
            return XmlTable(table);
    }
    return std::string();
}

std::string CimTypeName(long type) {
    std::string name;
    switch (type & ~CIM_FLAG_ARRAY) {
        case CIM_SINT8:
            name = "sint8";
            break;
        case CIM_UINT8:
            name = "uint8";
            break;
        case CIM_SINT16:
            name = "sint16";
            break;
        case CIM_UINT16:
            name = "uint16";
            break;
        case CIM_SINT32:
            name = "sint32";
            break;
        case CIM_UINT32:
            name = "uint32";
            break;
        case CIM_SINT64:
            name = "sint64";
            break;
        case CIM_UINT64:
            name = "uint64";
            break;
        case CIM_REAL32:
            name = "real32";
            break;
        case CIM_REAL64:
            name = "real64";
            break;
        case CIM_BOOLEAN:
            name = "boolean";
            break;
        case CIM_STRING:
            name = "string";
            break;
        case CIM_DATETIME:
            name = "datetime";
            break;
        case CIM_REFERENCE:
            name = "ref";  // as the class page names it
            break;
        case CIM_CHAR16:
            name = "char16";
            break;
        case CIM_OBJECT:
            name = "object";
            break;
        default:
            name = "type " + std::to_string(type & ~CIM_FLAG_ARRAY);
    }
    return (type & CIM_FLAG_ARRAY) ? name + "[]" : name;
}

std::string DocumentedSource(const std::string& className, const std::string& property) {
    // The page: "## <Class>" headings, each followed by a table whose rows read
    // "| Name [(key)] | type | source |".
    const std::string_view page = kClassPage;
    const std::string wantedClass = Lower(className);
    const std::string wantedProperty = Lower(property);
    bool inClass = false;
    size_t at = 0;
    while (at < page.size()) {
        size_t end = page.find('\n', at);
        if (end == std::string_view::npos)
            end = page.size();
        const std::string_view line = page.substr(at, end - at);
        at = end + 1;
        if (line.starts_with("## ")) {
            inClass = Lower(Trimmed(line.substr(3))) == wantedClass;
            continue;
        }
        if (!inClass || !line.starts_with("| "))
            continue;
        const size_t second = line.find(" | ", 2);
        if (second == std::string_view::npos)
            continue;
        std::string name = Trimmed(line.substr(2, second - 2));
        if (const size_t key = name.find(" (key)"); key != std::string::npos)
            name.erase(key);
        if (Lower(name) != wantedProperty)
            continue;
        const size_t third = line.find(" | ", second + 3);
        if (third == std::string_view::npos)
            return std::string();
        std::string source;
        for (char c : line.substr(third + 3)) {
            if (c != '`')  // the page's code marks
                source += c;
        }
        if (!source.empty() && source.back() == '|')
            source.pop_back();
        return Trimmed(source);
    }
    return std::string();
}
