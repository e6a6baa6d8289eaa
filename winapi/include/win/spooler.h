// The print spooler: listing the printers, opening one, reading its description and its
// driver's.
//
// Printers are the queues of the CUPS server the machine's CUPS client settings name
// (CUPS_SERVER, client.conf, else the local scheduler). A printer's name is its queue name;
// "\\<this computer>\<queue>" names the same queue. A queue's driver is its PPD: the spooler
// keeps a copy in the driver store, C:\Windows\System32\spool\drivers\x64\3\<queue>.ppd,
// refreshed from the server on every driver query, and names that copy as the driver's
// file, data file and configuration file. GetFileVersionInfoW reads a PPD's *FileVersion.
//
// Failures as on Windows: no server answering gives RPC_S_SERVER_UNAVAILABLE, a printer the
// server does not have ERROR_INVALID_PRINTER_NAME, a queue without a PPD (a raw queue)
// ERROR_UNKNOWN_PRINTER_DRIVER. Every function here is safe to call from any thread; a
// printer handle may be used from several threads at once.
#pragma once

#include "win/access_rights.h"
#include "win/handles.h"
#include "win/types.h"

extern "C" {

typedef ULONGLONG DWORDLONG;

// The device mode is accepted and not read.
typedef struct _devicemodeW DEVMODEW, *PDEVMODEW, *LPDEVMODEW;

typedef struct _PRINTER_DEFAULTSW {
    LPWSTR pDatatype;
    LPDEVMODEW pDevMode;
    ACCESS_MASK DesiredAccess;
} PRINTER_DEFAULTSW, *PPRINTER_DEFAULTSW, *LPPRINTER_DEFAULTSW;

typedef struct _DRIVER_INFO_1W {
    LPWSTR pName;
} DRIVER_INFO_1W, *PDRIVER_INFO_1W, *LPDRIVER_INFO_1W;

typedef struct _DRIVER_INFO_2W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
} DRIVER_INFO_2W, *PDRIVER_INFO_2W, *LPDRIVER_INFO_2W;

typedef struct _DRIVER_INFO_3W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
} DRIVER_INFO_3W, *PDRIVER_INFO_3W, *LPDRIVER_INFO_3W;

typedef struct _DRIVER_INFO_4W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
    LPWSTR pszzPreviousNames;
} DRIVER_INFO_4W, *PDRIVER_INFO_4W, *LPDRIVER_INFO_4W;

typedef struct _DRIVER_INFO_6W {
    DWORD cVersion;
    LPWSTR pName;
    LPWSTR pEnvironment;
    LPWSTR pDriverPath;
    LPWSTR pDataFile;
    LPWSTR pConfigFile;
    LPWSTR pHelpFile;
    LPWSTR pDependentFiles;
    LPWSTR pMonitorName;
    LPWSTR pDefaultDataType;
    LPWSTR pszzPreviousNames;
    FILETIME ftDriverDate;
    DWORDLONG dwlDriverVersion;
    LPWSTR pszMfgName;
    LPWSTR pszOEMUrl;
    LPWSTR pszHardwareID;
    LPWSTR pszProvider;
} DRIVER_INFO_6W, *PDRIVER_INFO_6W, *LPDRIVER_INFO_6W;

typedef struct _PRINTER_INFO_2W {
    LPWSTR pServerName;
    LPWSTR pPrinterName;
    LPWSTR pShareName;
    LPWSTR pPortName;
    LPWSTR pDriverName;
    LPWSTR pComment;
    LPWSTR pLocation;
    LPDEVMODEW pDevMode;
    LPWSTR pSepFile;
    LPWSTR pPrintProcessor;
    LPWSTR pDatatype;
    LPWSTR pParameters;
    PVOID pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
} PRINTER_INFO_2W, *PPRINTER_INFO_2W, *LPPRINTER_INFO_2W;

typedef struct _PRINTER_INFO_4W {
    LPWSTR pPrinterName;
    LPWSTR pServerName;
    DWORD Attributes;
} PRINTER_INFO_4W, *PPRINTER_INFO_4W, *LPPRINTER_INFO_4W;

#define PRINTER_ENUM_DEFAULT 0x00000001
#define PRINTER_ENUM_LOCAL 0x00000002
#define PRINTER_ENUM_CONNECTIONS 0x00000004
#define PRINTER_ENUM_NAME 0x00000008

#define PRINTER_ATTRIBUTE_QUEUED 0x00000001
#define PRINTER_ATTRIBUTE_DIRECT 0x00000002
#define PRINTER_ATTRIBUTE_DEFAULT 0x00000004
#define PRINTER_ATTRIBUTE_SHARED 0x00000008
#define PRINTER_ATTRIBUTE_NETWORK 0x00000010
#define PRINTER_ATTRIBUTE_LOCAL 0x00000040
#define PRINTER_ATTRIBUTE_WORK_OFFLINE 0x00000400

#define PRINTER_STATUS_PAUSED 0x00000001
#define PRINTER_STATUS_PRINTING 0x00000400
#define PRINTER_STATUS_NOT_AVAILABLE 0x00001000

#define PRINTER_ACCESS_ADMINISTER 0x00000004
#define PRINTER_ACCESS_USE 0x00000008
#define PRINTER_ALL_ACCESS 0x000F000C

// Opens a printer of the server (a null name opens the server itself). pDefault is
// accepted and not applied. FALSE with RPC_S_SERVER_UNAVAILABLE when no server answers,
// ERROR_INVALID_PRINTER_NAME when it has no such printer; *phPrinter is then null.
KVWIN_API BOOL OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault);

// The printer's driver at Level 1, 2, 3, 4 or 6 (else ERROR_INVALID_LEVEL), laid out as on
// Windows with the texts inside the caller's buffer. pEnvironment null, empty or
// "Windows x64"; another environment has no driver (ERROR_UNKNOWN_PRINTER_DRIVER). Too
// small a buffer (or none) fails with ERROR_INSUFFICIENT_BUFFER and *pcbNeeded the size.
KVWIN_API BOOL GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level,
                                 LPBYTE pDriverInfo, DWORD cbBuf, LPDWORD pcbNeeded);

// The printers of the server, at Level 2 or 4 (else ERROR_INVALID_LEVEL), laid out as on
// Windows: the structures one after another at the start of the caller's buffer, their
// texts after them. Flags with PRINTER_ENUM_LOCAL or PRINTER_ENUM_CONNECTIONS list every
// queue (a queue another server shares is a connection: PRINTER_ATTRIBUTE_NETWORK); other
// flags list none. Name null, empty or this computer ("\\name"); another server's name
// fails with ERROR_INVALID_NAME. A queue's description: DEFAULT, SHARED, QUEUED and LOCAL
// or NETWORK in Attributes, WORK_OFFLINE when the server has stopped it; Status PAUSED when
// stopped, PRINTING while it prints, NOT_AVAILABLE when the server gives no state; the
// port is its device URI, the driver its make and model, comment and location as the
// server has them, the share name the queue's when shared. Too small a buffer fails with
// ERROR_INSUFFICIENT_BUFFER and *pcbNeeded the size; no server answering gives
// RPC_S_SERVER_UNAVAILABLE. *pcReturned is the count written (0 on failure).
KVWIN_API BOOL EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum,
                             DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);

// One open printer's description at Level 2 or 4, as EnumPrintersW gives it; failures as
// EnumPrintersW's and ERROR_INVALID_HANDLE for a handle that is no printer (or the server).
KVWIN_API BOOL GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                           LPDWORD pcbNeeded);

// ERROR_INVALID_HANDLE for anything but an open printer handle.
KVWIN_API BOOL ClosePrinter(HANDLE hPrinter);

}  // extern "C"
