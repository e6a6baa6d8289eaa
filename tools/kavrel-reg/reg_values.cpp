#include "reg_values.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "kvwin/utf.h"

namespace kavrel_reg {

namespace {

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void AppendWide(std::vector<BYTE>& bytes, const std::u16string& text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

bool ParseNumber(const std::string& text, unsigned long long limit, unsigned long long& value) {
    if (text.empty())
        return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty())
        return false;
    unsigned long long result = 0;
    for (char c : digits) {
        const int base = hex ? 16 : 10;
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (hex && std::isxdigit(static_cast<unsigned char>(c))) {
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        } else {
            return false;
        }
        if (result > (limit - static_cast<unsigned long long>(digit)) / base)
            return false;
        result = result * base + static_cast<unsigned long long>(digit);
    }
    value = result;
    return true;
}

std::u16string WideAt(const std::vector<BYTE>& bytes, size_t begin, size_t end) {
    std::u16string text;
    for (size_t i = begin; i + 1 < end; i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
}

}  // namespace

std::optional<RootKey> SplitKeyPath(const std::string& path, std::string& subkey) {
    const size_t slash = path.find('\\');
    const std::string root = Upper(path.substr(0, slash));
    subkey = slash == std::string::npos ? "" : path.substr(slash + 1);
    while (!subkey.empty() && subkey.back() == '\\')
        subkey.pop_back();
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
        return RootKey{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"};
    }
    if (root == "HKCU" || root == "HKEY_CURRENT_USER") {
        return RootKey{HKEY_CURRENT_USER, "HKEY_CURRENT_USER"};
    }
    if (root == "HKCR" || root == "HKEY_CLASSES_ROOT") {
        return RootKey{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"};
    }
    if (root == "HKU" || root == "HKEY_USERS")
        return RootKey{HKEY_USERS, "HKEY_USERS"};
    return std::nullopt;
}

std::optional<DWORD> TypeFromName(const std::string& name) {
    const std::string upper = Upper(name);
    for (DWORD type :
         {REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD, REG_NONE}) {
        if (TypeName(type) == upper)
            return type;
    }
    return std::nullopt;
}

std::string TypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return "REG_NONE";
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_QWORD:
            return "REG_QWORD";
        default:
            return "REG_TYPE_" + std::to_string(type);
    }
}

bool EncodeData(DWORD type, const std::string& data, std::vector<BYTE>& bytes, std::string& error) {
    bytes.clear();
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            AppendWide(bytes, kvwin::FromUtf8(data));
            return true;
        case REG_MULTI_SZ: {
            size_t start = 0;
            while (start <= data.size() && !data.empty()) {
                const size_t sep = data.find("\\0", start);
                const std::string item =
                    data.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
                if (item.empty()) {
                    error = "REG_MULTI_SZ items may not be empty";
                    return false;
                }
                AppendWide(bytes, kvwin::FromUtf8(item));
                if (sep == std::string::npos)
                    break;
                start = sep + 2;
            }
            bytes.push_back(0);
            bytes.push_back(0);
            return true;
        }
        case REG_DWORD:
        case REG_QWORD: {
            unsigned long long value = 0;
            const unsigned long long limit = type == REG_DWORD ? 0xFFFFFFFFull : ~0ull;
            if (!ParseNumber(data.empty() ? "0" : data, limit, value)) {
                error = "'" + data + "' is not a " + TypeName(type) +
                        " number (decimal, or hex with 0x)";
                return false;
            }
            const size_t size = type == REG_DWORD ? 4 : 8;
            for (size_t i = 0; i < size; ++i)
                bytes.push_back(static_cast<BYTE>(value >> (8 * i)));
            return true;
        }
        case REG_BINARY:
        case REG_NONE: {
            if (data.size() % 2) {
                error = "binary data needs an even number of hex digits";
                return false;
            }
            for (size_t i = 0; i < data.size(); i += 2) {
                unsigned long long value = 0;
                if (!ParseNumber("0x" + data.substr(i, 2), 0xFF, value)) {
                    error = "'" + data.substr(i, 2) + "' is not a hex byte";
                    return false;
                }
                bytes.push_back(static_cast<BYTE>(value));
            }
            return true;
        }
        default:
            error = "unsupported type";
            return false;
    }
}

std::string RenderData(DWORD type, const std::vector<BYTE>& bytes) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::u16string text = WideAt(bytes, 0, bytes.size());
            if (const size_t nul = text.find(u'\0'); nul != std::u16string::npos)
                text.resize(nul);
            return kvwin::ToUtf8(text);
        }
        case REG_MULTI_SZ: {
            const std::u16string all = WideAt(bytes, 0, bytes.size());
            std::string out;
            size_t start = 0;
            while (start < all.size()) {
                size_t nul = all.find(u'\0', start);
                if (nul == std::u16string::npos)
                    nul = all.size();
                if (nul == start)
                    break;
                if (!out.empty())
                    out += "\\0";
                out += kvwin::ToUtf8(all.substr(start, nul - start));
                start = nul + 1;
            }
            return out;
        }
        case REG_DWORD:
        case REG_QWORD:
            if (bytes.size() == 4 || bytes.size() == 8) {
                unsigned long long value = 0;
                for (size_t i = 0; i < bytes.size(); ++i)
                    value |= static_cast<unsigned long long>(bytes[i]) << (8 * i);
                char text[32];
                std::snprintf(text, sizeof text, "0x%llx", value);
                return text;
            }
            [[fallthrough]];
        default: {
            std::string out;
            char hex[3];
            for (BYTE b : bytes) {
                std::snprintf(hex, sizeof hex, "%02X", b);
                out += hex;
            }
            return out;
        }
    }
}

}  // namespace kavrel_reg
