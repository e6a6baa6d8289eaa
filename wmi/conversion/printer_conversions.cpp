// GetProviderVersion: the product version of a printer's driver, read from the version
// resource of the driver's configuration file.
#include <memory>
#include <new>

#include "files/version_resource.h"
#include "kvwin/format.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"
#include "win/spooler.h"
#include "wmi/conversion/data_conversion.h"

namespace {

// Closes a printer handle when it goes out of scope.
class PrinterHandle {
  public:
    explicit PrinterHandle(const WCHAR* name) {
        if (!OpenPrinterW(const_cast<LPWSTR>(name), &handle_, nullptr))
            handle_ = nullptr;
    }
    ~PrinterHandle() {
        if (handle_)
            ClosePrinter(handle_);
    }
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

}  // namespace

void CDataConversion::GetProviderVersion(const WCHAR* value, WString& result) {
    const PrinterHandle printer(value);
    if (!printer.get())
        return;  // a printer that cannot be opened keeps its name as the value
    DWORD needed = 0;
    if (GetPrinterDriverW(printer.get(), nullptr, 6, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]());
    if (!buffer || !GetPrinterDriverW(printer.get(), nullptr, 6, buffer.get(), needed, &needed))
        return;
    const auto* driver = reinterpret_cast<const DRIVER_INFO_6W*>(buffer.get());
    // A configuration file without version information is an error of the query, raised
    // out of here with the reader's description.
    VersionResource resource;
    resource.LoadOrRaise(driver->pConfigFile);
    const VS_FIXEDFILEINFO* fixed = resource.FixedInfo();
    if (!fixed)
        return;
    result = kvwin::Format(TEXT("%d.%d.%d.%d"), static_cast<int>(fixed->dwProductVersionMS >> 16),
                           static_cast<int>(fixed->dwProductVersionMS & 0xFFFF),
                           static_cast<int>(fixed->dwProductVersionLS >> 16),
                           static_cast<int>(fixed->dwProductVersionLS & 0xFFFF));
}
