#include "platform/os_detector.h"

#include <iterator>

#include "entry/singleton/singleton.h"
#include "files/registry_text.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/registry.h"
#include "win/text.h"

namespace {

struct OSCodeRow {
    DWORD major;
    DWORD minor;
    bool server;
    uint32_t minimumRelease;
    uint32_t code;
};

// In this order; the walk below depends on it.
constexpr OSCodeRow kOSCodes[] = {
    {5, 0, false, 0, 17},     // Windows 2000 Professional
    {5, 0, true, 0, 17},      // Windows 2000 Server
    {5, 1, false, 0, 18},     // Windows XP
    {5, 2, false, 0, 18},     // Windows XP x64
    {5, 2, true, 0, 19},      // Windows Server 2003
    {6, 0, false, 0, 20},     // Windows Vista
    {6, 0, true, 0, 21},      // Windows Server 2008
    {6, 1, false, 0, 22},     // Windows 7
    {6, 1, true, 0, 23},      // Windows Server 2008 R2
    {6, 2, false, 0, 24},     // Windows 8
    {6, 2, true, 0, 25},      // Windows Server 2012
    {6, 3, false, 0, 26},     // Windows 8.1
    {6, 3, true, 0, 27},      // Windows Server 2012 R2
    {6, 4, false, 0, 28},     // Windows 10, early builds
    {10, 0, false, 0, 28},    // Windows 10
    {10, 0, true, 1607, 29},  // Windows Server 2016
    {10, 0, true, 1809, 30},  // Windows Server 2019
};

// As swscanf with "%4u": white space, an optional sign, then up to four digits.
bool ParseReleaseId(const WString& text, uint32_t& release) {
    size_t at = 0;
    while (at < text.size() && iswspace(text[at]))
        ++at;
    int width = 4;
    bool negative = false;
    if (at < text.size() && (text[at] == TEXT('+') || text[at] == TEXT('-'))) {
        negative = text[at] == TEXT('-');
        ++at;
        --width;
    }
    uint32_t value = 0;
    int digits = 0;
    while (digits < width && at < text.size() && text[at] >= TEXT('0') && text[at] <= TEXT('9')) {
        value = value * 10 + (text[at++] - TEXT('0'));
        ++digits;
    }
    if (!digits)
        return false;
    release = negative ? 0u - value : value;
    return true;
}

}  // namespace

OSDetector::OSDetector() {
    m_version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&m_version))) {
        m_extended = true;
    } else {
        m_version = {};
        m_version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&m_version)))
            m_version = {};
    }

    if (m_version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (m_extended) {
            m_server = m_version.wProductType == VER_NT_DOMAIN_CONTROLLER ||
                       m_version.wProductType == VER_NT_SERVER;
        } else {
            WString productType;
            if (ReadRegistryText(HKEY_LOCAL_MACHINE,
                                 TEXT("SYSTEM\\CurrentControlSet\\Control\\ProductOptions"),
                                 TEXT("ProductType"), KEY_READ, productType))
                m_server = _wcsicmp(productType.c_str(), TEXT("SERVERNT")) == 0 ||
                           _wcsicmp(productType.c_str(), TEXT("LANMANNT")) == 0;
        }
    }

    if (ReadRegistryText(HKEY_LOCAL_MACHINE,
                         TEXT("SOFTWARE\\MICROSOFT\\Windows NT\\CurrentVersion"), TEXT("ReleaseId"),
                         KEY_READ, m_releaseIdText) &&
        !ParseReleaseId(m_releaseIdText, m_release)) {
        m_release = 0;
        // When the log object is being built on this thread (it asks for this code), the
        // record is held and written as soon as the log exists.
        CEReportEventF(LogWarning, TEXT("System"),
                       TEXT("Failed to convert Release ID version from input string: '%ls'."),
                       m_releaseIdText);
    }

    if (m_version.dwMajorVersion >= 5)
        m_osCode =
            LookupOSCode(m_version.dwMajorVersion, m_version.dwMinorVersion, m_server, m_release);
}

uint32_t OSDetector::LookupOSCode(DWORD major, DWORD minor, bool server, uint32_t release) {
    uint32_t candidate = 0;
    for (const OSCodeRow& row : kOSCodes) {
        if (row.server != server)
            continue;
        if (row.minimumRelease == 0 || row.minimumRelease <= release)
            candidate = row.code;
        if (row.major == major && row.minor == minor &&
            (row.minimumRelease == 0 || row.minimumRelease == release))
            return candidate;
    }
    return candidate;
}

uint32_t OSDetector::GetOSCode() {
    return Utility::SingletonT<OSDetector, 4095>::Instance().Code();
}
