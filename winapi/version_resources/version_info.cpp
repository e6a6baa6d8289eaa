// GetFileVersionInfoSizeW, GetFileVersionInfoW and VerQueryValueW.
#include <cstring>
#include <string>

#include "kvwin/ascii_case.h"
#include "kvwin/image_file.h"
#include "kvwin/last_error.h"
#include "kvwin/ppd_file.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "version_block.h"
#include "win/errors.h"
#include "win/version.h"

namespace {

constexpr char16_t kRootKey[] = u"VS_VERSION_INFO";
constexpr size_t kNodeHeader = 6;

size_t Align4(size_t v) {
    return (v + 3) & ~size_t{3};
}

uint32_t Read16(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}

// One node of a version block, its offsets counted from the start of the block.
struct Node {
    size_t start = 0, end = 0;
    uint32_t value_length = 0;
    bool text = false;
    std::u16string key;
    size_t value = 0, value_bytes = 0, children = 0;
};

// Reads the node at `at`, which must end by `limit`. False for a damaged node.
bool ReadNode(const uint8_t* block, size_t at, size_t limit, Node& node) {
    if (at + kNodeHeader > limit)
        return false;
    const uint32_t length = Read16(block + at);
    if (length < kNodeHeader || at + length > limit)
        return false;
    node.start = at;
    node.end = at + length;
    node.value_length = Read16(block + at + 2);
    node.text = Read16(block + at + 4) == 1;
    node.key.clear();
    size_t p = at + kNodeHeader;
    for (;;) {
        if (p + 2 > node.end)
            return false;
        const char16_t c = static_cast<char16_t>(Read16(block + p));
        p += 2;
        if (c == 0)
            break;
        node.key.push_back(c);
    }
    node.value = Align4(p);
    node.value_bytes = node.text ? size_t{node.value_length} * 2 : node.value_length;
    if (node.value_bytes && node.value + node.value_bytes > node.end)
        return false;
    node.children = Align4(node.value + node.value_bytes);
    return true;
}

// The version block inside a resource or section, when it looks like one.
DWORD CheckBlock(kvwin::ByteSpan data, kvwin::ByteSpan& block) {
    Node root;
    if (data.size() < kNodeHeader || !ReadNode(data.data(), 0, data.size(), root) ||
        root.key != kRootKey)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    block = data.first(root.end);
    return 0;
}

// A printer description's version block, made from its main keywords: *FileVersion gives
// the file and product versions, the manufacturer, model and nickname the texts. A PPD
// without a *FileVersion has no version information.
DWORD PpdVersionBlock(kvwin::ByteSpan bytes, std::vector<uint8_t>& made) {
    const auto keywords = kvwin::ReadPpdKeywords(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const auto version = keywords.find("FileVersion");
    const auto parts =
        version == keywords.end() ? std::nullopt : kvwin::ParsePpdVersion(version->second);
    if (!parts)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    kvvr::VersionRecord record;
    for (size_t i = 0; i < 4; ++i)
        record.file_version[i] = record.product_version[i] = (*parts)[i];
    record.file_type = 3;  // VFT_DRV
    const auto add = [&](const char16_t* name, const char* key) {
        const auto found = keywords.find(key);
        if (found != keywords.end())
            record.strings.emplace_back(name, found->second);
    };
    add(u"CompanyName", "Manufacturer");
    add(u"FileDescription", "NickName");
    add(u"FileVersion", "FileVersion");
    add(u"OriginalFilename", "PCFileName");
    add(u"ProductName", "ModelName");
    add(u"ProductVersion", "FileVersion");
    made = kvvr::BuildVersionBlock(record);
    return 0;
}

// Maps the file and finds its version block. The block points into `file`, or into `made`
// for a file whose block is made from its contents.
DWORD FindVersionBlock(LPCWSTR path, kvwin::MappedFile& file, kvwin::ByteSpan& block,
                       std::vector<uint8_t>& made) {
    if (!path || !*path)
        return ERROR_INVALID_PARAMETER;
    std::string native;
    if (!kvwin::ToNativePath(kvwin::WideView(path), native))
        return GetLastError();
    if (const DWORD error = file.Open(native))
        return error;
    const kvwin::ByteSpan bytes = file.bytes();
    switch (kvwin::DetectImage(bytes)) {
        case kvwin::ImageKind::Pe: {
            std::vector<kvwin::ImageResource> found;
            if (const DWORD error =
                    kvwin::FindPeResources(bytes, kvwin::kResourceTypeVersion, found))
                return error;
            return CheckBlock(found.front().data, block);
        }
        case kvwin::ImageKind::Elf: {
            kvwin::ByteSpan section;
            if (const DWORD error = kvwin::FindElfSection(bytes, kvwin::kVersionSection, section))
                return error;
            return CheckBlock(section, block);
        }
        default:
            if (kvwin::LooksLikePpd(
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
                if (const DWORD error = PpdVersionBlock(bytes, made))
                    return error;
                block = kvwin::ByteSpan(made);
                return 0;
            }
            return ERROR_BAD_FORMAT;
    }
}

}  // namespace

extern "C" {

DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle)
        *lpdwHandle = 0;
    try {
        kvwin::MappedFile file;
        kvwin::ByteSpan block;
        std::vector<uint8_t> made;
        if (const DWORD error = FindVersionBlock(lptstrFilename, file, block, made)) {
            SetLastError(error);
            return 0;
        }
        return static_cast<DWORD>(block.size());
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
    if (!lpData)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        kvwin::MappedFile file;
        kvwin::ByteSpan block;
        std::vector<uint8_t> made;
        if (const DWORD error = FindVersionBlock(lptstrFilename, file, block, made))
            return kvwin::FailWith(error);
        if (dwLen < block.size())
            return kvwin::FailWith(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(lpData, block.data(), block.size());
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
    if (lplpBuffer)
        *lplpBuffer = nullptr;
    if (puLen)
        *puLen = 0;
    if (!pBlock || !lpSubBlock || !lplpBuffer)
        return kvwin::FailWith(ERROR_INVALID_PARAMETER);
    try {
        const auto* block = static_cast<const uint8_t*>(pBlock);
        Node node;
        if (!ReadNode(block, 0, Read16(block), node) || node.key != kRootKey)
            return kvwin::FailWith(ERROR_RESOURCE_TYPE_NOT_FOUND);
        std::u16string_view rest = kvwin::WideView(lpSubBlock);
        while (!rest.empty()) {
            while (!rest.empty() && rest.front() == u'\\')
                rest.remove_prefix(1);
            if (rest.empty())
                break;
            const size_t cut = rest.find(u'\\');
            const std::u16string_view name = rest.substr(0, cut);
            rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut);
            bool found = false;
            Node child;
            for (size_t at = node.children; at + kNodeHeader <= node.end;) {
                if (!ReadNode(block, at, node.end, child))
                    break;
                if (kvwin::EqualsAsciiNoCase(child.key, name)) {
                    found = true;
                    break;
                }
                at = Align4(child.end);
            }
            if (!found)
                return kvwin::FailWith(ERROR_RESOURCE_TYPE_NOT_FOUND);
            node = child;
        }
        if (node.value_length == 0 && node.start == 0)
            return kvwin::FailWith(ERROR_RESOURCE_TYPE_NOT_FOUND);
        *lplpBuffer = const_cast<uint8_t*>(block + node.value);
        if (puLen)
            *puLen = node.value_length;
        return TRUE;
    } catch (...) {
        return kvwin::FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
