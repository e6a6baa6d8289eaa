// EnumPrintersW, OpenPrinterW, GetPrinterW, GetPrinterDriverW and ClosePrinter over the
// CUPS server.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// One printer as PRINTER_INFO_2W and _4W describe it. An absent text is a null pointer.
struct PrinterFacts {
    std::u16string name;
    std::optional<std::u16string> shareName, portName, driverName, comment, location;
    DWORD attributes = 0;
    DWORD status = 0;
};

std::optional<std::u16string> Option(const CupsQueueFacts& queue, const char* name) {
    const auto found = queue.options.find(name);
    if (found == queue.options.end() || found->second.empty())
        return std::nullopt;
    return FromUtf8(found->second);
}

// CUPS printer-type bit: a queue another server shares.
constexpr unsigned long kCupsRemote = 0x2;

PrinterFacts FactsOf(const CupsQueueFacts& queue) {
    PrinterFacts facts;
    facts.name = FromUtf8(queue.name);
    const auto type = queue.options.find("printer-type");
    const bool remote = type != queue.options.end() &&
                        (std::strtoul(type->second.c_str(), nullptr, 10) & kCupsRemote);
    const bool shared = Option(queue, "printer-is-shared") == u"true";
    const std::u16string state = Option(queue, "printer-state").value_or(u"");
    facts.attributes =
        PRINTER_ATTRIBUTE_QUEUED | (remote ? PRINTER_ATTRIBUTE_NETWORK : PRINTER_ATTRIBUTE_LOCAL);
    if (queue.isDefault)
        facts.attributes |= PRINTER_ATTRIBUTE_DEFAULT;
    if (shared) {
        facts.attributes |= PRINTER_ATTRIBUTE_SHARED;
        facts.shareName = facts.name;
    }
    if (state == u"5") {  // stopped
        facts.attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
        facts.status = PRINTER_STATUS_PAUSED;
    } else if (state == u"4") {
        facts.status = PRINTER_STATUS_PRINTING;
    } else if (state != u"3") {
        facts.status = PRINTER_STATUS_NOT_AVAILABLE;
    }
    facts.portName = Option(queue, "device-uri");
    facts.driverName = Option(queue, "printer-make-and-model");
    facts.comment = Option(queue, "printer-info");
    facts.location = Option(queue, "printer-location");
    return facts;
}

size_t TextBytes(const std::optional<std::u16string>& text) {
    return text ? (text->size() + 1) * sizeof(WCHAR) : 0;
}

size_t PrinterInfoSize(const PrinterFacts& f, DWORD level) {
    if (level == 4)
        return sizeof(PRINTER_INFO_4W) + TextBytes(f.name);
    return sizeof(PRINTER_INFO_2W) + TextBytes(f.name) + TextBytes(f.shareName) +
           TextBytes(f.portName) + TextBytes(f.driverName) + TextBytes(f.comment) +
           TextBytes(f.location);
}

// Writes one structure at `at` and its texts at `texts`, which moves past them.
void WritePrinterInfo(const PrinterFacts& f, DWORD level, BYTE* at, BYTE*& texts) {
    auto put = [&texts](const std::optional<std::u16string>& text) -> LPWSTR {
        if (!text)
            return nullptr;
        auto* out = reinterpret_cast<LPWSTR>(texts);
        std::memcpy(texts, text->c_str(), TextBytes(text));
        texts += TextBytes(text);
        return out;
    };
    if (level == 4) {
        PRINTER_INFO_4W info{};
        info.pPrinterName = put(f.name);
        info.Attributes = f.attributes;
        std::memcpy(at, &info, sizeof info);
        return;
    }
    PRINTER_INFO_2W info{};
    info.pPrinterName = put(f.name);
    info.pShareName = put(f.shareName);
    info.pPortName = put(f.portName);
    info.pDriverName = put(f.driverName);
    info.pComment = put(f.comment);
    info.pLocation = put(f.location);
    info.Attributes = f.attributes;
    info.Status = f.status;
    std::memcpy(at, &info, sizeof info);
}

// The layout of `printers` into the caller's buffer, with the buffer-size protocol.
BOOL ReturnPrinters(const std::vector<PrinterFacts>& printers, DWORD level, LPBYTE buffer,
                    DWORD size, LPDWORD needed, LPDWORD returned) {
    size_t total = 0;
    for (const PrinterFacts& printer : printers)
        total += PrinterInfoSize(printer, level);
    if (total > 0xFFFFFFFFu)
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    *needed = static_cast<DWORD>(total);
    if (total > 0 && (!buffer || size < total))
        return FailWith(ERROR_INSUFFICIENT_BUFFER);
    const size_t structure = level == 4 ? sizeof(PRINTER_INFO_4W) : sizeof(PRINTER_INFO_2W);
    BYTE* texts = buffer + structure * printers.size();
    for (size_t i = 0; i < printers.size(); ++i)
        WritePrinterInfo(printers[i], level, buffer + structure * i, texts);
    if (returned)
        *returned = static_cast<DWORD>(printers.size());
    return TRUE;
}

}  // namespace

extern "C" {

BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                   LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (!pcbNeeded || !pcReturned)
        return FailWith(ERROR_INVALID_PARAMETER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    try {
        if (Level != 2 && Level != 4)
            return FailWith(ERROR_INVALID_LEVEL);
        if (Name && *Name) {
            std::u16string rest;
            const std::u16string name = std::u16string(WideView(Name)) + u"\\x";
            if (!LocalQueueName(name, rest) || rest != u"x")
                return FailWith(ERROR_INVALID_NAME);
        }
        std::vector<PrinterFacts> printers;
        if (Flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS)) {
            std::vector<CupsQueueFacts> queues;
            if (const DWORD error = ListCupsQueues(CurrentCupsServer(), queues))
                return FailWith(error);
            for (const CupsQueueFacts& queue : queues)
                printers.push_back(FactsOf(queue));
        }
        return ReturnPrinters(printers, Level, pPrinterEnum, cbBuf, pcbNeeded, pcReturned);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (!pcbNeeded)
        return FailWith(ERROR_INVALID_PARAMETER);
    *pcbNeeded = 0;
    try {
        const auto printer = LookupHandleAs<PrinterObject>(hPrinter, HandleKind::Printer);
        if (!printer || printer->queue.empty())
            return FailWith(ERROR_INVALID_HANDLE);
        if (Level != 2 && Level != 4)
            return FailWith(ERROR_INVALID_LEVEL);
        std::vector<CupsQueueFacts> queues;
        if (const DWORD error = ListCupsQueues(printer->server, queues))
            return FailWith(error);
        for (const CupsQueueFacts& queue : queues) {
            if (queue.name == printer->queue)
                return ReturnPrinters({FactsOf(queue)}, Level, pPrinter, cbBuf, pcbNeeded, nullptr);
        }
        return FailWith(ERROR_INVALID_PRINTER_NAME);  // deleted since it was opened
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

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
