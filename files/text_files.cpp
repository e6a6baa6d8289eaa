// ReadTextFile and SaveEncodedTextFile: whole text files in a chosen encoding.
#include <climits>
#include <new>

#include "errors/error_description.h"
#include "files/file_operations.h"
#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "win/errors.h"
#include "win/text.h"

namespace {

constexpr char kUtf16Mark[] = "\xFF\xFE";
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

bool StartsWith(const std::vector<uint8_t>& bytes, uint32_t size, const char* mark,
                uint32_t markLength) {
    if (size < markLength)
        return false;
    for (uint32_t i = 0; i < markLength; ++i) {
        if (bytes[i] != static_cast<uint8_t>(mark[i]))
            return false;
    }
    return true;
}

WString Utf16FromBytes(const uint8_t* bytes, size_t characters) {
    WString text(characters, TEXT('\0'));
    for (size_t i = 0; i < characters; ++i)
        text[i] = static_cast<WCHAR>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

// The 8-bit text up to its first zero byte, converted; empty when the conversion fails.
WString FromCodePage(const uint8_t* bytes, UINT codePage) {
    const char* text = reinterpret_cast<const char*>(bytes);
    const size_t length = std::char_traits<char>::length(text);
    if (length == 0 || length > INT_MAX)
        return {};
    const int count = static_cast<int>(length);
    const int needed = MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
    if (needed <= 0)
        return {};
    WString wide(static_cast<size_t>(needed), TEXT('\0'));
    if (MultiByteToWideChar(codePage, 0, text, count, wide.data(), needed) != needed)
        return {};
    return wide;
}

void CrLfToLf(WString& text) {
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] == TEXT('\r') && in + 1 < text.size() && text[in + 1] == TEXT('\n'))
            continue;
        text[out++] = text[in];
    }
    text.resize(out);
}

// Every "\n" not already preceded by "\r" gets one.
WString LfToCrLf(const WCHAR* text) {
    WString out;
    if (!text)
        return out;
    for (size_t i = 0; text[i]; ++i) {
        if (text[i] == TEXT('\n') && (i == 0 || text[i - 1] != TEXT('\r')))
            out += TEXT('\r');
        out += text[i];
    }
    return out;
}

std::string Utf16Bytes(const WString& text) {
    std::string bytes(text.size() * 2, '\0');
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return bytes;
}

// The bytes of text in codePage; false when a non-empty text converts to nothing.
bool ToCodePage(const WString& text, UINT codePage, std::string& bytes) {
    bytes.clear();
    if (text.empty())
        return true;
    if (text.size() > INT_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const int count = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(codePage, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return false;
    bytes.assign(static_cast<size_t>(needed), '\0');
    const int converted = WideCharToMultiByte(codePage, 0, text.data(), count, bytes.data(), needed,
                                              nullptr, nullptr);
    if (converted <= 0)
        return false;
    bytes.resize(static_cast<size_t>(converted));
    return true;
}

void WarnSavingAsUtf16() {
    const DWORD error = GetLastError();
    try {
        const HRESULT asHresult = static_cast<HRESULT>(0x80070000u | (error & 0xFFFF));
        CEReportEventF(
            LogWarning, TEXT("SaveEncodedTextFile"),
            TEXT("Failed to convert unicode data to multibyte, saving as 16-bit unicode: ")
                TEXT("%ls (%d)"),
            GetErrorText(error), asHresult);
    } catch (...) {
    }
    SetLastError(error);
}

}  // namespace

bool ReadTextFile(const WCHAR* path, WString& text, UINT codePage) {
    try {
        std::vector<uint8_t> bytes;
        uint32_t size = 0;
        if (!ReadFileWithRetries(path, bytes, size))
            return false;
        WString read;
        if (StartsWith(bytes, size, kUtf16Mark, 2)) {
            read = Utf16FromBytes(bytes.data() + 2, size / 2 - 1);
        } else {
            size_t start = 0;
            if (StartsWith(bytes, size, kUtf8Mark, 3)) {
                codePage = CP_UTF8;
                start = 3;
            }
            read = FromCodePage(bytes.data() + start, codePage);
        }
        CrLfToLf(read);
        text = std::move(read);
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
}

bool SaveEncodedTextFile(const WCHAR* path, const WCHAR* text, UINT codePage) {
    try {
        const WString lines = LfToCrLf(text);
        std::string data;
        const char* prefix = nullptr;
        if (codePage != kCodePageUtf16 && ToCodePage(lines, codePage, data)) {
            prefix = codePage == CP_UTF8 ? kUtf8Mark : nullptr;
        } else {
            if (codePage != kCodePageUtf16)
                WarnSavingAsUtf16();
            data = Utf16Bytes(lines);
            prefix = kUtf16Mark;
        }
        if (data.size() > UINT32_MAX) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return false;
        }
        return WriteFileWithRetries(path, data.data(), static_cast<uint32_t>(data.size()), prefix,
                                    GENERIC_WRITE, 0);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return false;
    }
}
