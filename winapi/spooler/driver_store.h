// The driver store: the spooler's local copies of the queues' PPDs, under
// C:\Windows\System32\spool\drivers\x64\3, where Windows keeps its drivers' files.
#pragma once

#include <ctime>
#include <string>

#include "cups_server.h"

namespace kvwin {

struct DriverCopy {
    std::u16string path;  // the copy's Windows path
    std::string text;     // its contents
    time_t date = 0;      // the server's date of the PPD (0 when unknown)
};

// Fetches the queue's PPD from the server and puts it in place of the old copy in one
// step (a reader sees the old file or the new one, never a part). Returns 0 or the error
// of DownloadCupsPpd, or of creating the file.
DWORD RefreshDriverCopy(const CupsServer& server, const std::string& queue, DriverCopy& copy);

}  // namespace kvwin
