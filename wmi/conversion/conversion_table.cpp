// Process: the table of function names and the dispatch by name.
#include <iterator>

#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/text.h"
#include "wmi/conversion/data_conversion.h"

namespace {

using Conversion = void (*)(const WCHAR* value, WString& result);

struct NamedConversion {
    const WCHAR* name;
    Conversion convert;
};

// Searched in this order; the first name that matches wins.
const NamedConversion kConversions[] = {
    {TEXT("GetHubTimeFormat"), &CDataConversion::GetHubTimeFormat},
    {TEXT("GetSQLBooleantoBit"), &CDataConversion::GetSQLBooleantoBit},
    {TEXT("GetOperatingSystemName"), &CDataConversion::GetOperatingSystemName},
    {TEXT("FormatDNSVersion"), &CDataConversion::FormatDNSVersion},
    {TEXT("GetJobName"), &CDataConversion::GetJobName},
    {TEXT("GetJobCreatorName"), &CDataConversion::GetJobCreatorName},
    {TEXT("GetDomainName"), &CDataConversion::GetDomainName},
    {TEXT("GetProviderVersion"), &CDataConversion::GetProviderVersion},
    {TEXT("GetAsSystemTimeFormat"), &CDataConversion::GetAsSystemTimeFormat},
    {TEXT("GetSystemTimeFormat"), &CDataConversion::GetSystemTimeFormat},
};

}  // namespace

void CDataConversion::Process(const WCHAR* value, const WCHAR* function, const WCHAR*,
                              WString& result) {
    CEReportEventF(LogTrace, TEXT("CDataConversion::Process()"),
                   TEXT("Starting the DataConversion"));
    const WCHAR* name = function ? function : TEXT("");
    const WCHAR* text = value ? value : TEXT("");
    for (const NamedConversion& entry : kConversions) {
        if (_wcsicmp(name, entry.name) == 0) {
            entry.convert(text, result);
            return;
        }
    }
    CEReportEventF(LogWarning, TEXT("CDataConversion::Process()"),
                   TEXT("Unknown conversion function %s"), name);
}
