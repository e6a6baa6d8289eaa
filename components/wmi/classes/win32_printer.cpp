// Win32_Printer: one instance per printer the spooler lists (EnumPrintersW at level 2:
// the print queues of the CUPS server, the local scheduler or the one CUPS_SERVER or
// client.conf names; the spooler alone talks to CUPS). No spooler answering: no printers,
// never an error. DeviceID and Name are the printer name; Comment and Description its
// comment (printer-info), Location its location, DriverName the driver, PortName the port
// (the device URI). A paused (stopped) printer is PrinterStatus 7 (offline) and
// PrinterState 1 (paused); a printing one PrinterStatus 4 and PrinterState 11; one whose
// state the spooler does not know has neither.
#include <vector>

#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "classes/os_facts.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"
#include "win/spooler.h"

namespace kvwmi {

namespace {

void FillPrinter(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kPrinterClass{u"root\\cimv2",
                              u"Win32_Printer",
                              {
                                  {u"Attributes", CIM_UINT32},
                                  {u"Availability", CIM_UINT16},
                                  {u"AvailableJobSheets", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"AveragePagesPerMinute", CIM_UINT32},
                                  {u"Capabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"CapabilityDescriptions", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"Caption", CIM_STRING},
                                  {u"CharSetsSupported", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"Comment", CIM_STRING},
                                  {u"ConfigManagerErrorCode", CIM_UINT32},
                                  {u"ConfigManagerUserConfig", CIM_BOOLEAN},
                                  {u"CreationClassName", CIM_STRING},
                                  {u"CurrentCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"CurrentCharSet", CIM_STRING},
                                  {u"CurrentLanguage", CIM_UINT16},
                                  {u"CurrentMimeType", CIM_STRING},
                                  {u"CurrentNaturalLanguage", CIM_STRING},
                                  {u"CurrentPaperType", CIM_STRING},
                                  {u"Default", CIM_BOOLEAN},
                                  {u"DefaultCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"DefaultCopies", CIM_UINT32},
                                  {u"DefaultLanguage", CIM_UINT16},
                                  {u"DefaultMimeType", CIM_STRING},
                                  {u"DefaultNumberUp", CIM_UINT32},
                                  {u"DefaultPaperType", CIM_STRING},
                                  {u"DefaultPriority", CIM_UINT32},
                                  {u"Description", CIM_STRING},
                                  {u"DetectedErrorState", CIM_UINT16},
                                  {u"DeviceID", CIM_STRING, true},
                                  {u"Direct", CIM_BOOLEAN},
                                  {u"DoCompleteFirst", CIM_BOOLEAN},
                                  {u"DriverName", CIM_STRING},
                                  {u"EnableBIDI", CIM_BOOLEAN},
                                  {u"EnableDevQueryPrint", CIM_BOOLEAN},
                                  {u"ErrorCleared", CIM_BOOLEAN},
                                  {u"ErrorDescription", CIM_STRING},
                                  {u"ErrorInformation", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"ExtendedDetectedErrorState", CIM_UINT16},
                                  {u"ExtendedPrinterStatus", CIM_UINT16},
                                  {u"Hidden", CIM_BOOLEAN},
                                  {u"HorizontalResolution", CIM_UINT32},
                                  {u"InstallDate", CIM_DATETIME},
                                  {u"JobCountSinceLastReset", CIM_UINT32},
                                  {u"KeepPrintedJobs", CIM_BOOLEAN},
                                  {u"LanguagesSupported", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"LastErrorCode", CIM_UINT32},
                                  {u"Local", CIM_BOOLEAN},
                                  {u"Location", CIM_STRING},
                                  {u"MarkingTechnology", CIM_UINT16},
                                  {u"MaxCopies", CIM_UINT32},
                                  {u"MaxNumberUp", CIM_UINT32},
                                  {u"MaxSizeSupported", CIM_UINT32},
                                  {u"MimeTypesSupported", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"Name", CIM_STRING},
                                  {u"NaturalLanguagesSupported", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"Network", CIM_BOOLEAN},
                                  {u"PaperSizesSupported", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"PaperTypesAvailable", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"Parameters", CIM_STRING},
                                  {u"PNPDeviceID", CIM_STRING},
                                  {u"PortName", CIM_STRING},
                                  {u"PowerManagementCapabilities", CIM_UINT16 | CIM_FLAG_ARRAY},
                                  {u"PowerManagementSupported", CIM_BOOLEAN},
                                  {u"PrinterPaperNames", CIM_STRING | CIM_FLAG_ARRAY},
                                  {u"PrinterState", CIM_UINT32},
                                  {u"PrinterStatus", CIM_UINT16},
                                  {u"PrintJobDataType", CIM_STRING},
                                  {u"PrintProcessor", CIM_STRING},
                                  {u"Priority", CIM_UINT32},
                                  {u"Published", CIM_BOOLEAN},
                                  {u"Queued", CIM_BOOLEAN},
                                  {u"RawOnly", CIM_BOOLEAN},
                                  {u"SeparatorFile", CIM_STRING},
                                  {u"ServerName", CIM_STRING},
                                  {u"Shared", CIM_BOOLEAN},
                                  {u"ShareName", CIM_STRING},
                                  {u"SpoolEnabled", CIM_BOOLEAN},
                                  {u"StartTime", CIM_DATETIME},
                                  {u"Status", CIM_STRING},
                                  {u"StatusInfo", CIM_UINT16},
                                  {u"SystemCreationClassName", CIM_STRING},
                                  {u"SystemName", CIM_STRING},
                                  {u"TimeOfLastReset", CIM_DATETIME},
                                  {u"UntilTime", CIM_DATETIME},
                                  {u"VerticalResolution", CIM_UINT32},
                                  {u"WorkOffline", CIM_BOOLEAN},
                              },
                              FillPrinter};

std::optional<std::string> TextOf(const WCHAR* text) {
    if (!text || !*text)
        return std::nullopt;
    return kvwin::ToUtf8(text);
}

// The spooler's printers, through the buffer-size protocol: asked again while the list
// grows between the two calls, a few times at most.
std::vector<PrinterFacts> SpooledPrinters() {
    std::vector<BYTE> buffer;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = 0, count = 0;
        if (EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2,
                          buffer.empty() ? nullptr : buffer.data(), DWORD(buffer.size()), &needed,
                          &count)) {
            std::vector<PrinterFacts> printers;
            const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
            for (DWORD i = 0; i < count; ++i) {
                PrinterFacts p;
                p.name = TextOf(info[i].pPrinterName).value_or("");
                p.share_name = TextOf(info[i].pShareName);
                p.port_name = TextOf(info[i].pPortName);
                p.driver_name = TextOf(info[i].pDriverName);
                p.comment = TextOf(info[i].pComment);
                p.location = TextOf(info[i].pLocation);
                p.attributes = info[i].Attributes;
                p.status = info[i].Status;
                printers.push_back(std::move(p));
            }
            return printers;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return {};  // no spooler answering: no printers
        buffer.assign(needed, 0);
    }
    return {};
}

void FillPrinter(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPrintersFrom(decl, SpooledPrinters(), ComputerName(), out);
}

}  // namespace

void FillPrintersFrom(const ClassDecl& decl, const std::vector<PrinterFacts>& printers,
                      const std::string& computer, std::vector<Instance>& out) {
    for (const PrinterFacts& printer : printers) {
        const bool network = (printer.attributes & PRINTER_ATTRIBUTE_NETWORK) != 0;
        const bool shared = (printer.attributes & PRINTER_ATTRIBUTE_SHARED) != 0;
        const bool paused = (printer.status & PRINTER_STATUS_PAUSED) != 0;
        const bool printing = (printer.status & PRINTER_STATUS_PRINTING) != 0;
        const bool known = (printer.status & PRINTER_STATUS_NOT_AVAILABLE) == 0;

        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(printer.name));
        b.Set(u"Name", Text(printer.name));
        b.Set(u"Caption", Text(printer.name));
        b.Set(u"Comment", Text(printer.comment));
        b.Set(u"Description", Text(printer.comment));
        b.Set(u"Location", Text(printer.location));
        b.Set(u"DriverName", Text(printer.driver_name));
        b.Set(u"PortName", Text(printer.port_name));
        b.Set(u"Default", (printer.attributes & PRINTER_ATTRIBUTE_DEFAULT) != 0);
        b.Set(u"Shared", shared);
        if (shared)
            b.Set(u"ShareName", Text(printer.share_name));
        b.Set(u"Network", network);
        b.Set(u"Local", !network);
        b.Set(u"Queued", (printer.attributes & PRINTER_ATTRIBUTE_QUEUED) != 0);
        b.Set(u"Direct", (printer.attributes & PRINTER_ATTRIBUTE_DIRECT) != 0);
        b.Set(u"SpoolEnabled", true);
        b.Set(u"Attributes", Unsigned(printer.attributes));
        if (known) {
            b.Set(u"PrinterStatus", Unsigned(paused ? 7 : printing ? 4 : 3));
            b.Set(u"PrinterState", Unsigned(paused ? 1 : printing ? 11 : 0));
            b.Set(u"WorkOffline", (printer.attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0);
        }
        b.Set(u"Status", Text(paused ? "Degraded" : "OK"));
        b.Set(u"CreationClassName", std::u16string(decl.name));
        b.Set(u"SystemCreationClassName", Text("Win32_ComputerSystem"));
        b.Set(u"SystemName", Text(computer));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPrinterClass);

}  // namespace kvwmi
