#include "service/namespace_path.h"

#include "kvwin/ascii_case.h"
#include "win/sysinfo.h"

namespace kvwmi {

namespace {

std::u16string ComputerName(COMPUTER_NAME_FORMAT format) {
    WCHAR buffer[256];
    DWORD size = 256;
    if (!GetComputerNameExW(format, buffer, &size))
        return {};
    return std::u16string(buffer, size);
}

}  // namespace

std::u16string LocalServerName() {
    WCHAR buffer[64];
    DWORD size = 64;
    if (!GetComputerNameW(buffer, &size))
        return u"LOCALHOST";
    return std::u16string(buffer, size);
}

bool IsLocalMachineName(std::u16string_view name) {
    for (std::u16string_view local : {u".", u"localhost", u"127.0.0.1", u"::1"}) {
        if (kvwin::EqualsAsciiNoCase(name, local))
            return true;
    }
    if (kvwin::EqualsAsciiNoCase(name, LocalServerName()))
        return true;
    for (COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameDnsFullyQualified,
                                        ComputerNamePhysicalDnsHostname}) {
        std::u16string own = ComputerName(format);
        if (!own.empty() && kvwin::EqualsAsciiNoCase(name, own))
            return true;
    }
    return false;
}

HRESULT ParseNamespacePath(const char16_t* path, std::u16string& ns) {
    ns.clear();
    if (!path)
        return WBEM_E_INVALID_PARAMETER;
    std::u16string text(path);
    for (char16_t& c : text) {
        if (c == u'/')
            c = u'\\';
    }
    std::u16string_view rest = text;
    if (rest.starts_with(u"\\\\")) {
        rest.remove_prefix(2);
        size_t end = rest.find(u'\\');
        std::u16string_view machine = rest.substr(0, end);
        if (machine.empty())
            return WBEM_E_INVALID_NAMESPACE;
        if (!IsLocalMachineName(machine))
            return WBEM_E_TRANSPORT_FAILURE;
        rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    }
    while (rest.ends_with(u'\\'))
        rest.remove_suffix(1);
    if (rest.empty() || rest.starts_with(u'\\') || rest.find(u"\\\\") != std::u16string_view::npos)
        return WBEM_E_INVALID_NAMESPACE;
    ns.assign(rest);
    return WBEM_S_NO_ERROR;
}

}  // namespace kvwmi
