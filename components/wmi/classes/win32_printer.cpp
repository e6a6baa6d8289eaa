// Win32_Printer: one instance per print queue of the CUPS server (the local scheduler, or
// the one CUPS_SERVER or client.conf names), read through the CUPS client library loaded
// on first use. No library or no server answering: no printers, never an error.
// DeviceID and Name are the queue name; Comment and Description its printer-info,
// Location its printer-location, DriverName the make and model, PortName the device URI.
// A stopped (paused) queue is PrinterStatus 7 (offline) and PrinterState 1 (paused); a
// printing one PrinterStatus 4 and PrinterState 11.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "classes/os_facts.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

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

// Windows' PRINTER_ATTRIBUTE_* bits.
constexpr std::uint64_t kAttributeQueued = 0x1, kAttributeDefault = 0x4, kAttributeShared = 0x8,
                        kAttributeNetwork = 0x10, kAttributeLocal = 0x40;
// CUPS printer-type bits: a queue of another server, a class of printers.
constexpr std::uint64_t kCupsRemote = 0x2;

void FillPrinter(const ClassDecl& decl, std::vector<Instance>& out) {
    FillPrintersFrom(decl, kvlinux::ReadPrinterQueues(), ComputerName(), out);
}

std::optional<std::string> Option(const kvlinux::PrinterQueue& queue, const char* name) {
    auto found = queue.options.find(name);
    if (found == queue.options.end() || found->second.empty())
        return std::nullopt;
    return found->second;
}

}  // namespace

void FillPrintersFrom(const ClassDecl& decl, const std::vector<kvlinux::PrinterQueue>& queues,
                      const std::string& computer, std::vector<Instance>& out) {
    for (const kvlinux::PrinterQueue& queue : queues) {
        const std::uint64_t type =
            kvlinux::ParseUnsigned(Option(queue, "printer-type").value_or("")).value_or(0);
        const bool network = (type & kCupsRemote) != 0;
        const bool shared = Option(queue, "printer-is-shared") == "true";
        const std::string state = Option(queue, "printer-state").value_or("");
        const bool stopped = state == "5";
        std::uint64_t attributes =
            kAttributeQueued | (network ? kAttributeNetwork : kAttributeLocal);
        if (queue.is_default)
            attributes |= kAttributeDefault;
        if (shared)
            attributes |= kAttributeShared;

        InstanceBuilder b(decl);
        b.Set(u"DeviceID", Text(queue.name));
        b.Set(u"Name", Text(queue.name));
        b.Set(u"Caption", Text(queue.name));
        b.Set(u"Comment", Text(Option(queue, "printer-info")));
        b.Set(u"Description", Text(Option(queue, "printer-info")));
        b.Set(u"Location", Text(Option(queue, "printer-location")));
        b.Set(u"DriverName", Text(Option(queue, "printer-make-and-model")));
        b.Set(u"PortName", Text(Option(queue, "device-uri")));
        b.Set(u"Default", queue.is_default);
        b.Set(u"Shared", shared);
        if (shared)
            b.Set(u"ShareName", Text(queue.name));
        b.Set(u"Network", network);
        b.Set(u"Local", !network);
        b.Set(u"Queued", true);
        b.Set(u"Direct", false);
        b.Set(u"SpoolEnabled", true);
        b.Set(u"Attributes", Unsigned(attributes));
        if (state == "3" || state == "4" || stopped) {
            b.Set(u"PrinterStatus", Unsigned(stopped ? 7 : state == "4" ? 4 : 3));
            b.Set(u"PrinterState", Unsigned(stopped ? 1 : state == "4" ? 11 : 0));
            b.Set(u"WorkOffline", stopped);
        }
        b.Set(u"Status", Text(stopped ? "Degraded" : "OK"));
        b.Set(u"CreationClassName", std::u16string(decl.name));
        b.Set(u"SystemCreationClassName", Text("Win32_ComputerSystem"));
        b.Set(u"SystemName", Text(computer));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kPrinterClass);

}  // namespace kvwmi
