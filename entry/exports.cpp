// The exported functions. Exceptions stop here: none crosses the C boundary.
#include "kavrel/kavrel.h"

#include <string>
#include <string_view>

#include "entry/host_process.h"
#include "entry/query_driver.h"
#include "kvwin/wide_string.h"
#include "launcher/config.h"
#include "win/oleauto.h"

namespace {

// The launcher road. CConfig::Lumbrik reports its own failures through its result, but a
// few can only be thrown (no temporary folder, an allocation); those end here and count as
// a launcher failure. The export itself writes nothing to the agent log.
HRESULT GatherThroughLauncher(const WCHAR* queryDocument, BSTR* result) {
    try {
        WString input(queryDocument);
        WString output;
        if (!CConfig::Lumbrik(input, output))
            return E_FAIL;
        *result = SysAllocString(output.c_str());
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
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
