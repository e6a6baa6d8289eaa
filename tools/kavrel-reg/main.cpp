// kavrel-reg: reads and writes the registry store of the state root in use.
//
//   kavrel-reg query KEY [/v NAME | /ve]
//   kavrel-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   kavrel-reg delete KEY [/v NAME | /ve | /va] [/f]
//   kavrel-reg export KEY FILE|-
//   kavrel-reg import FILE|-
//   kavrel-reg reset-store HKLM|HKCU|HKU [/f]
//   kavrel-reg register|unregister MODULE
//   kavrel-reg declarations MODULE FILE|-
//   kavrel-reg --where | --help
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kvwin/registry_key.h"
#include "kvwin/registry_store.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "module_registration.h"
#include "output_file.h"
#include "reg_file.h"
#include "reg_values.h"
#include "win/registry.h"

using namespace kavrel_reg;

namespace {

constexpr const char* kUsage =
    "usage: kavrel-reg query KEY [/v NAME | /ve]\n"
    "       kavrel-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       kavrel-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       kavrel-reg export KEY FILE|-\n"
    "       kavrel-reg import FILE|-\n"
    "       kavrel-reg reset-store HKLM|HKCU|HKU [/f]\n"
    "       kavrel-reg register|unregister MODULE\n"
    "       kavrel-reg declarations MODULE FILE|-\n"
    "       kavrel-reg --where\n"
    "KEY starts with HKLM, HKCU, HKCR or HKU (or their long names).\n"
    "TYPE is REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ (items separated by \\0),\n"
    "REG_DWORD, REG_QWORD (decimal or 0x hex), REG_BINARY or REG_NONE (hex digits).\n"
    "export writes KEY and everything below it as .reg text (- is standard output);\n"
    "import applies a .reg file (- is standard input), only if all of it is valid.\n"
    "reset-store moves a damaged store file (and its log) aside to <file>.corrupt-<time>\n"
    "and starts a fresh store with the defaults; /f does so to a sound store too.\n"
    "register writes the class registrations a component module declares (under\n"
    "HKCR\\CLSID and its ProgIDs, naming the module by its path); unregister removes them.\n"
    "declarations writes the module's registration file (- is standard output).\n";

struct Options {
    std::string command;
    std::string key;
    bool has_value = false;  // /v or /ve given
    std::string value;       // empty with /ve: the default value
    bool all_values = false;
    std::string type = "REG_SZ";
    std::string data;
    bool force = false;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "kavrel-reg: %s\n", message.c_str());
    return 1;
}

struct HiveStore {
    const char* root;  // the root key that names it for reset-store
    kvwin::registry::Hive hive;
};
constexpr HiveStore kHiveStores[] = {
    {"HKLM", kvwin::registry::Hive::Machine},
    {"HKCU", kvwin::registry::Hive::User},
    {"HKU", kvwin::registry::Hive::Users},
};

// Which store files are damaged, and how to start afresh.
std::string DamagedStores() {
    std::string text = "the registry store is damaged or is not a registry store";
    for (const HiveStore& store : kHiveStores) {
        const std::string path = kvwin::registry::HiveFile(store.hive);
        if (kvwin::registry::CheckStoreFile(path) == ERROR_BADDB) {
            text += std::string("\n  ") + path +
                    " (move it aside and start a fresh one: " + "kavrel-reg reset-store " +
                    store.root + ")";
        }
    }
    return text;
}

std::string Describe(LSTATUS status) {
    switch (status) {
        case ERROR_FILE_NOT_FOUND:
            return "the key or value does not exist";
        case ERROR_ACCESS_DENIED:
            return "access is denied";
        case ERROR_REGISTRY_CORRUPT:
            return "the registry store is corrupt";
        case ERROR_REGISTRY_IO_FAILED:
            return "the registry store could not be read or written";
        case ERROR_BUSY:
            return "the registry store is held by another process; try again";
        case ERROR_INVALID_DATA:
            return "a key or value name has a line break, which .reg text cannot hold";
        case ERROR_BADDB:
            return DamagedStores();
        default:
            return "error " + std::to_string(status);
    }
}

bool ParseOptions(int argc, char** argv, Options& options, std::string& error) {
    if (argc < 3) {
        error = "a command and a key are needed";
        return false;
    }
    options.command = argv[1];
    options.key = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = arg + " needs an argument";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "/v") {
            if (!next(options.value))
                return false;
            options.has_value = true;
        } else if (arg == "/ve") {
            options.has_value = true;
            options.value.clear();
        } else if (arg == "/va") {
            options.all_values = true;
        } else if (arg == "/t") {
            if (!next(options.type))
                return false;
        } else if (arg == "/d") {
            if (!next(options.data))
                return false;
        } else if (arg == "/f") {
            options.force = true;
        } else {
            error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

using Key = kvwin::RegistryKey;

bool ReadValue(HKEY key, const std::u16string& name, DWORD& type, std::vector<BYTE>& bytes,
               LSTATUS& status) {
    status = kvwin::QueryRegistryValue(key, name.c_str(), type, bytes);
    return status == ERROR_SUCCESS;
}

void PrintValue(const std::u16string& name, DWORD type, const std::vector<BYTE>& bytes) {
    const std::string shown = name.empty() ? "(Default)" : kvwin::ToUtf8(name);
    std::printf("    %s    %s    %s\n", shown.c_str(), TypeName(type).c_str(),
                RenderData(type, bytes).c_str());
}

int Query(const Options& options, const RootKey& root, const std::u16string& subkey) {
    Key key;
    LSTATUS status = RegOpenKeyExW(root.key, subkey.c_str(), 0, KEY_READ, key.out());
    if (status != ERROR_SUCCESS)
        return Fail(options.key + ": " + Describe(status));
    std::printf("\n%s%s%s\n", root.name.c_str(), subkey.empty() ? "" : "\\",
                kvwin::ToUtf8(subkey).c_str());
    if (options.has_value) {
        DWORD type = 0;
        std::vector<BYTE> bytes;
        const std::u16string name = kvwin::FromUtf8(options.value);
        if (!ReadValue(key.get(), name, type, bytes, status)) {
            return Fail(options.key + " /v " + options.value + ": " + Describe(status));
        }
        PrintValue(name, type, bytes);
        return 0;
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[16384];
        DWORD length = 16384;
        DWORD type = 0;
        DWORD size = 0;
        status = RegEnumValueW(key.get(), index, name, &length, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return Fail(Describe(status));
        std::vector<BYTE> bytes;
        if (ReadValue(key.get(), std::u16string(name, length), type, bytes, status)) {
            PrintValue(std::u16string(name, length), type, bytes);
        }
    }
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        status = RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return Fail(Describe(status));
        std::printf("%s%s%s\\%s\n", root.name.c_str(), subkey.empty() ? "" : "\\",
                    kvwin::ToUtf8(subkey).c_str(),
                    kvwin::ToUtf8(std::u16string(name, length)).c_str());
    }
    return 0;
}

int Add(const Options& options, const RootKey& root, const std::u16string& subkey) {
    std::vector<BYTE> bytes;
    std::string error;
    const auto type = TypeFromName(options.type);
    if (!type)
        return Fail("unknown type '" + options.type + "'");
    if (options.has_value && !EncodeData(*type, options.data, bytes, error))
        return Fail(error);
    Key key;
    LSTATUS status = RegCreateKeyExW(root.key, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, key.out(), nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(options.key + ": " + Describe(status));
    if (!options.has_value)
        return 0;
    const std::u16string name = kvwin::FromUtf8(options.value);
    if (!options.force) {
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &size) ==
            ERROR_SUCCESS) {
            return Fail("the value exists; give /f to overwrite it");
        }
    }
    status = RegSetValueExW(key.get(), name.c_str(), 0, *type, bytes.data(),
                            static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS)
        return Fail(Describe(status));
    return 0;
}

int Delete(const Options& options, const RootKey& root, const std::u16string& subkey) {
    if (!options.has_value && !options.all_values) {
        if (subkey.empty())
            return Fail("a root key cannot be deleted");
        if (!options.force)
            return Fail("deleting a whole key needs /f");
        const LSTATUS status = RegDeleteTreeW(root.key, subkey.c_str());
        if (status != ERROR_SUCCESS)
            return Fail(options.key + ": " + Describe(status));
        Key parent;
        const size_t slash = subkey.rfind(u'\\');
        const std::u16string parent_path =
            slash == std::u16string::npos ? u"" : subkey.substr(0, slash);
        const std::u16string leaf =
            slash == std::u16string::npos ? subkey : subkey.substr(slash + 1);
        if (RegOpenKeyExW(root.key, parent_path.c_str(), 0, KEY_ALL_ACCESS, parent.out()) ==
            ERROR_SUCCESS) {
            RegDeleteKeyW(parent.get(), leaf.c_str());
        }
        return 0;
    }
    Key key;
    LSTATUS status = RegOpenKeyExW(root.key, subkey.c_str(), 0, KEY_ALL_ACCESS, key.out());
    if (status != ERROR_SUCCESS)
        return Fail(options.key + ": " + Describe(status));
    if (options.all_values) {
        for (;;) {
            WCHAR name[16384];
            DWORD length = 16384;
            status = RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS)
                break;
            if (RegDeleteValueW(key.get(), std::u16string(name, length).c_str()) != ERROR_SUCCESS) {
                return Fail("a value could not be deleted");
            }
        }
        return 0;
    }
    status = RegDeleteValueW(key.get(), kvwin::FromUtf8(options.value).c_str());
    if (status != ERROR_SUCCESS)
        return Fail(options.key + " /v " + options.value + ": " + Describe(status));
    return 0;
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool HasLineBreak(const std::u16string& name) {
    return name.find_first_of(u"\r\n") != std::u16string::npos;
}

// Writes `key` (named `path`) and its subkeys, depth first, each subkey after its parent.
// A name with a line break cannot be written as .reg text: ERROR_INVALID_DATA.
LSTATUS ExportKey(HKEY key, const std::string& path, std::string& out) {
    out += "\n" + RenderSectionLine(path) + "\n";
    for (DWORD index = 0;; ++index) {
        std::vector<WCHAR> name(16384);
        DWORD length = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status =
            RegEnumValueW(key, index, name.data(), &length, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return status;
        std::vector<BYTE> bytes;
        const std::u16string value_name(name.data(), length);
        if (HasLineBreak(value_name))
            return ERROR_INVALID_DATA;
        if (!ReadValue(key, value_name, type, bytes, status))
            return status;
        out += RenderValueLine(value_name, type, bytes) + "\n";
    }
    std::vector<std::u16string> subkeys;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD length = 256;
        LSTATUS status =
            RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return status;
        subkeys.emplace_back(name, length);
        if (HasLineBreak(subkeys.back()))
            return ERROR_INVALID_DATA;
    }
    for (const auto& subkey : subkeys) {
        Key child;
        LSTATUS status = RegOpenKeyExW(key, subkey.c_str(), 0, KEY_READ, child.out());
        if (status == ERROR_FILE_NOT_FOUND)
            continue;  // deleted by another process meanwhile
        if (status != ERROR_SUCCESS)
            return status;
        status = ExportKey(child.get(), path + "\\" + kvwin::ToUtf8(subkey), out);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
}

int Export(const std::string& key_path, const std::string& target) {
    std::string subkey_text;
    const auto root = SplitKeyPath(key_path, subkey_text);
    if (!root)
        return Fail("unknown root key in '" + key_path + "' (use HKLM, HKCU, HKCR or HKU)");
    const std::u16string subkey = kvwin::FromUtf8(subkey_text);
    Key key;
    LSTATUS status = RegOpenKeyExW(root->key, subkey.c_str(), 0, KEY_READ, key.out());
    if (status != ERROR_SUCCESS)
        return Fail(key_path + ": " + Describe(status));
    std::string text = std::string(kRegFileHeader) + "\n";
    status =
        ExportKey(key.get(), root->name + (subkey_text.empty() ? "" : "\\" + subkey_text), text);
    if (status != ERROR_SUCCESS)
        return Fail(key_path + ": " + Describe(status));
    if (target == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : Fail("standard output could not be written");
    }
    std::string why;
    if (!WriteOutputFile(target, text, why))
        return Fail(target + ": could not be written: " + why);
    return 0;
}

bool ReadAll(const std::string& source, std::string& bytes) {
    File owned;
    FILE* in = stdin;
    if (source != "-") {
        owned.reset(std::fopen(source.c_str(), "rb"));
        if (!owned)
            return false;
        in = owned.get();
    }
    char buffer[65536];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, in))
        bytes.append(buffer, n);
    return !std::ferror(in);
}

int Import(const std::string& source) {
    std::string bytes;
    if (!ReadAll(source, bytes))
        return Fail(source + ": " + std::strerror(errno));
    std::vector<RegFileSection> sections;
    std::string error;
    // The whole file is checked before anything is changed.
    if (!ParseRegFile(bytes, sections, error))
        return Fail(source + ": " + error);
    for (const auto& section : sections) {
        auto failed = [&](int line, LSTATUS status) {
            return Fail(source + ": line " + std::to_string(line) + ": " + section.path + ": " +
                        Describe(status));
        };
        if (section.remove) {
            const LSTATUS status = RegDeleteTreeW(section.root, section.subkey.c_str());
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
                return failed(section.line, status);
            continue;
        }
        Key key;
        LSTATUS status = RegCreateKeyExW(section.root, section.subkey.c_str(), 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, key.out(), nullptr);
        if (status != ERROR_SUCCESS)
            return failed(section.line, status);
        for (const auto& value : section.values) {
            if (value.remove) {
                status = RegDeleteValueW(key.get(), value.name.c_str());
                if (status == ERROR_FILE_NOT_FOUND)
                    status = ERROR_SUCCESS;
            } else {
                status = RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                                        value.data.data(), static_cast<DWORD>(value.data.size()));
            }
            if (status != ERROR_SUCCESS)
                return failed(value.line, status);
        }
    }
    return 0;
}

int ResetStore(const std::string& key_path, bool force) {
    std::string subkey;
    const auto root = SplitKeyPath(key_path, subkey);
    if (!root || !subkey.empty())
        return Fail("reset-store needs a root key: HKLM, HKCU or HKU");
    // HKEY_CLASSES_ROOT is a part of the machine's hive.
    const kvwin::registry::Hive hive = root->key == HKEY_CURRENT_USER ? kvwin::registry::Hive::User
                                       : root->key == HKEY_USERS      ? kvwin::registry::Hive::Users
                                                                 : kvwin::registry::Hive::Machine;
    const std::string path = kvwin::registry::HiveFile(hive);
    const LSTATUS check = kvwin::registry::CheckStoreFile(path);
    if (check == ERROR_SUCCESS && !force)
        return Fail(path + " is a sound registry store; /f moves it aside all the same");
    if (check != ERROR_SUCCESS && check != ERROR_BADDB && check != ERROR_FILE_NOT_FOUND && !force)
        return Fail(path + ": " + Describe(check));
    if (check != ERROR_FILE_NOT_FOUND) {
        std::string moved_to;
        const LSTATUS status = kvwin::registry::MoveStoreAside(path, moved_to);
        if (status != ERROR_SUCCESS)
            return Fail(path + ": cannot move it aside: " + Describe(status));
        std::printf("moved %s to %s\n", path.c_str(), moved_to.c_str());
    }
    // The first use makes the new store and writes the defaults into it.
    DWORD subkeys = 0;
    const LSTATUS status = RegQueryInfoKeyW(root->key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return Fail(path + ": the fresh store could not be started: " + Describe(status));
    std::printf("started a fresh registry store at %s\n", path.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--where") == 0) {
        std::fputs(kvwin::DescribeStateLocations().c_str(), stdout);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "/?") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "export") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "kavrel-reg: export needs a key and a file (or -)\n%s", kUsage);
            return 2;
        }
        return Export(argv[2], argv[3]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "import") == 0) {
        if (argc != 3) {
            std::fprintf(stderr, "kavrel-reg: import needs a file (or -)\n%s", kUsage);
            return 2;
        }
        return Import(argv[2]);
    }
    if (argc >= 2 &&
        (std::strcmp(argv[1], "register") == 0 || std::strcmp(argv[1], "unregister") == 0)) {
        if (argc != 3) {
            std::fprintf(stderr, "kavrel-reg: %s needs a module\n%s", argv[1], kUsage);
            return 2;
        }
        return RegisterModule(argv[2], std::strcmp(argv[1], "register") == 0);
    }
    if (argc >= 2 && std::strcmp(argv[1], "declarations") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "kavrel-reg: declarations needs a module and a file (or -)\n%s",
                         kUsage);
            return 2;
        }
        return WriteClassFile(argv[2], argv[3]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "reset-store") == 0) {
        const bool force = argc == 4 && std::strcmp(argv[3], "/f") == 0;
        if (argc != 3 && !force) {
            std::fprintf(stderr, "kavrel-reg: reset-store needs a root key\n%s", kUsage);
            return 2;
        }
        return ResetStore(argv[2], force);
    }
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kavrel-reg: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    std::string subkey_text;
    const auto root = SplitKeyPath(options.key, subkey_text);
    if (!root)
        return Fail("unknown root key in '" + options.key + "' (use HKLM, HKCU, HKCR or HKU)");
    const std::u16string subkey = kvwin::FromUtf8(subkey_text);
    if (options.command == "query")
        return Query(options, *root, subkey);
    if (options.command == "add")
        return Add(options, *root, subkey);
    if (options.command == "delete")
        return Delete(options, *root, subkey);
    std::fprintf(stderr, "kavrel-reg: unknown command '%s'\n%s", options.command.c_str(), kUsage);
    return 2;
}
