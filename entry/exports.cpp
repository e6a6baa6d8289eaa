// The exported functions. Exceptions stop here: none crosses the C boundary.
#include "kavrel/kavrel.h"

#include <string>
#include <string_view>

#include "entry/host_process.h"
#include "entry/query_driver.h"
#include "kvwin/wide_string.h"
#include "launcher/config.h"
#include "log/agent_log.h"
#include "win/comdef.h"
#include "win/oleauto.h"

namespace {

constexpr const WCHAR* kLauncherBoundarySource = TEXT("ZorKavrel::GetInventoryInformation()");

// The launcher road. CConfig::Lumbrik reports its own failures through its result, but a
// few can only be thrown (no temporary folder, an allocation); those end here, are logged
// and count as a launcher failure.
HRESULT GatherThroughLauncher(const WCHAR* queryDocument, BSTR* result) {
    try {
        WString input(queryDocument);
        WString output;
        if (!CConfig::Lumbrik(input, output))
            return E_FAIL;
        *result = SysAllocString(output.c_str());
        return S_OK;
    } catch (const _com_error& error) {
        CEReportEventCom(LogError, kLauncherBoundarySource, error,
                         TEXT("Out-of-process gathering failed"));
    } catch (...) {
        CEReportEventS(LogError, kLauncherBoundarySource, TEXT("Out-of-process gathering failed"));
    }
    return E_FAIL;
}

}  // namespace

HRESULT GetInventoryInformation(const WCHAR* queryDocument, BSTR* result) {
    if (!queryDocument || !result)
        return E_POINTER;
    if (IsInventoryHostProcess())
        return GetInventoryInformationInternal(queryDocument, result);
    return GatherThroughLauncher(queryDocument, result);
}

HRESULT GetInventoryInformationInternal(const WCHAR* queryDocument, BSTR* result) {
    if (!queryDocument || !result)
        return E_POINTER;
    return RunQueryDocument(queryDocument, result);
}
