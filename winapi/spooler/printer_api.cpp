// OpenPrinterW, GetPrinterDriverW and ClosePrinter over the CUPS server.
#include <memory>
#include <string>

#include "cups_server.h"
#include "driver_info.h"
#include "driver_store.h"
#include "kvwin/ascii_case.h"
#include "kvwin/handle_table.h"
#include "kvwin/last_error.h"
#include "kvwin/ppd_file.h"
#include "kvwin/utf.h"
#include "win/spooler.h"
#include "win/sysinfo.h"

using namespace kvwin;

namespace {

constexpr char16_t kEnvironment[] = u"Windows x64";

// An open printer: the server it was found on and the queue's name there. An empty queue
// stands for the server itself. Immutable once made, so shared freely between threads.
class PrinterObject : public KernelObject {
  public:
    PrinterObject(CupsServer server, std::string queue)
        : server(std::move(server)), queue(std::move(queue)) {}
    HandleKind Kind() const override { return HandleKind::Printer; }

    const CupsServer server;
    const std::string queue;
};

// "\\<this computer>\queue" is the queue itself; any other server's printers are unknown.
bool LocalQueueName(std::u16string_view name, std::u16string& queue) {
    if (!name.starts_with(u"\\\\")) {
        queue = name;
        return true;
    }
    name.remove_prefix(2);
    const size_t slash = name.find(u'\\');
    if (slash == std::u16string_view::npos)
        return false;
    WCHAR computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    const std::u16string_view server = name.substr(0, slash);
    const bool local = EqualsAsciiNoCase(server, u"localhost") ||
                       (GetComputerNameW(computer, &size) && EqualsAsciiNoCase(server, computer));
    queue = name.substr(slash + 1);
    return local;
}

FILETIME FileTimeOf(time_t when) {
    constexpr uint64_t kUnixEpochIn100ns = 116444736000000000ull;
    const uint64_t ticks =
        when > 0 ? kUnixEpochIn100ns + static_cast<uint64_t>(when) * 10000000ull : 0;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::optional<std::u16string> Keyword(const std::map<std::string, std::u16string>& keywords,
                                      const char* key) {
    const auto found = keywords.find(key);
    if (found == keywords.end() || found->second.empty())
        return std::nullopt;
    return found->second;
}

DriverFacts FactsOf(const CupsQueue& queue, const DriverCopy& copy) {
    const auto keywords = ReadPpdKeywords(copy.text);
    DriverFacts facts;
    facts.name = FromUtf8(queue.makeAndModel);
    if (facts.name.empty())
        facts.name = Keyword(keywords, "NickName").value_or(FromUtf8(queue.name));
    facts.environment = kEnvironment;
    // In CUPS one PPD describes the driver, holds its data and configures it.
    facts.driverPath = copy.path;
    facts.dataFile = copy.path;
    facts.configFile = copy.path;
    facts.defaultDataType = u"RAW";
    facts.date = FileTimeOf(copy.date);
    if (const auto text = Keyword(keywords, "FileVersion")) {
        if (const auto parts = ParsePpdVersion(*text)) {
            facts.driverVersion = (DWORDLONG{(*parts)[0]} << 48) | (DWORDLONG{(*parts)[1]} << 32) |
                                  (DWORDLONG{(*parts)[2]} << 16) | DWORDLONG{(*parts)[3]};
        }
    }
    facts.manufacturer = Keyword(keywords, "Manufacturer");
    facts.provider = facts.manufacturer;
    facts.hardwareId = Keyword(keywords, "1284DeviceID");
    return facts;
}

}  // namespace

extern "C" {

BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW) {
    if (!phPrinter)
        return FailWith(ERROR_INVALID_PARAMETER);
    *phPrinter = nullptr;
    try {
        const CupsServer server = CurrentCupsServer();
        std::string queueName;
        if (pPrinterName && *pPrinterName) {
            std::u16string queue;
            if (!LocalQueueName(WideView(pPrinterName), queue)) {
                if (const DWORD error = PingCupsServer(server))
                    return FailWith(error);
                return FailWith(ERROR_INVALID_PRINTER_NAME);
            }
            CupsQueue found;
            if (const DWORD error = FindCupsQueue(server, ToUtf8(queue), found))
                return FailWith(error);
            queueName = found.name;
        } else if (const DWORD error = PingCupsServer(server)) {
            return FailWith(error);
        }
        HANDLE handle = InsertHandle(std::make_shared<PrinterObject>(server, queueName));
        if (!handle)
            return FALSE;
        *phPrinter = handle;
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo,
                       DWORD cbBuf, LPDWORD pcbNeeded) {
    if (!pcbNeeded)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        const auto printer = LookupHandleAs<PrinterObject>(hPrinter, HandleKind::Printer);
        if (!printer || printer->queue.empty())
            return FailWith(ERROR_INVALID_HANDLE);
        if (!IsDriverInfoLevel(Level))
            return FailWith(ERROR_INVALID_LEVEL);
        if (pEnvironment && *pEnvironment &&
            !EqualsAsciiNoCase(WideView(pEnvironment), kEnvironment))
            return FailWith(ERROR_UNKNOWN_PRINTER_DRIVER);
        CupsQueue queue;
        if (const DWORD error = FindCupsQueue(printer->server, printer->queue, queue))
            return FailWith(error);
        DriverCopy copy;
        if (const DWORD error = RefreshDriverCopy(printer->server, queue.name, copy))
            return FailWith(error);
        const DriverFacts facts = FactsOf(queue, copy);
        const DWORD needed = DriverInfoSize(facts, Level);
        *pcbNeeded = needed;
        if (!pDriverInfo || cbBuf < needed)
            return FailWith(ERROR_INSUFFICIENT_BUFFER);
        WriteDriverInfo(facts, Level, pDriverInfo);
        return TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL ClosePrinter(HANDLE hPrinter) {
    try {
        const auto printer = LookupHandleAs<PrinterObject>(hPrinter, HandleKind::Printer);
        if (!printer)
            return FALSE;
        return RemoveHandle(hPrinter) ? TRUE : FALSE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
