// Process: the table of function names and the dispatch by name.
#include <iterator>

#include "log/agent_log.h"
#include "win/text.h"
#include "wmi/conversion/data_conversion.h"

namespace {

using Conversion = void (*)(const WCHAR* value, std::u16string& result);

struct NamedConversion {
    const WCHAR* name;
    Conversion convert;
};

// Searched in this order; the first name that matches wins.
const NamedConversion kConversions[] = {
    {u"GetHubTimeFormat", &CDataConversion::GetHubTimeFormat},
    {u"GetSQLBooleantoBit", &CDataConversion::GetSQLBooleantoBit},
    {u"GetOperatingSystemName", &CDataConversion::GetOperatingSystemName},
    {u"FormatDNSVersion", &CDataConversion::FormatDNSVersion},
    {u"GetJobName", &CDataConversion::GetJobName},
    {u"GetJobCreatorName", &CDataConversion::GetJobCreatorName},
    {u"GetDomainName", &CDataConversion::GetDomainName},
    {u"GetProviderVersion", &CDataConversion::GetProviderVersion},
    {u"GetAsSystemTimeFormat", &CDataConversion::GetAsSystemTimeFormat},
    {u"GetSystemTimeFormat", &CDataConversion::GetSystemTimeFormat},
};

}  // namespace

void CDataConversion::Process(const WCHAR* value, const WCHAR* function, const WCHAR*,
                              std::u16string& result) {
    CEReportEventF(LogTrace, u"CDataConversion::Process()", u"Starting the DataConversion");
    const WCHAR* name = function ? function : u"";
    const WCHAR* text = value ? value : u"";
    for (const NamedConversion& entry : kConversions) {
        if (_wcsicmp(name, entry.name) == 0) {
            entry.convert(text, result);
            return;
        }
    }
    CEReportEventF(LogWarning, u"CDataConversion::Process()", u"Unknown conversion function %s",
                   name);
}
