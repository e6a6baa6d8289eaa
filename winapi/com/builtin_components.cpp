// The built-in registrations of the project's components, read from the registration files
// the build writes beside the layer: the layer itself names no component, and no module is
// loaded to learn what it serves.
#include "builtin_components.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "kvwin/com_guid_text.h"
#include "kvwin/component_module.h"
#include "kvwin/os_release.h"
#include "kvwin/utf.h"

namespace kvwin::com_detail {

namespace {

constexpr std::string_view kSuffix = ".classes";
// Bounds on what a registration file may hold: files, lines and bytes read.
constexpr size_t kMaxFiles = 256;
constexpr size_t kMaxLines = 256;
constexpr size_t kMaxLine = 1024;
constexpr off_t kMaxFileBytes = 64 * 1024;

// The tab-separated fields of a line; empty fields are kept. (The threading model, the last
// field, is written to the registry by registration; activation does not look at it.)
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

void ReadClassFile(const std::string& path, const std::u16string& module,
                   std::vector<BuiltinClass>& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes)
        return;
    const std::optional<std::string> text = ReadSmallFile(path, static_cast<size_t>(kMaxFileBytes));
    if (!text)
        return;
    std::string_view rest = *text;
    for (size_t count = 0; count < kMaxLines && !rest.empty(); ++count) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.size() > kMaxLine)
            continue;
        auto fields = Fields(line);
        BuiltinClass entry;
        if (fields.size() != 4 || !GuidFromText(FromUtf8(fields[0]), entry.clsid))
            continue;
        entry.prog_id = FromUtf8(fields[1]);
        entry.version_independent_prog_id = FromUtf8(fields[2]);
        entry.module = module;
        out.push_back(std::move(entry));
    }
}

}  // namespace

std::vector<BuiltinClass> ReadClassFiles(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            std::string_view name = item->d_name;
            if (name.size() > kSuffix.size() && name.ends_with(kSuffix) && names.size() < kMaxFiles)
                names.emplace_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<BuiltinClass> classes;
    for (const std::string& name : names) {
        ReadClassFile(folder + "/" + name,
                      FromUtf8(std::string_view(name).substr(0, name.size() - kSuffix.size())),
                      classes);
    }
    return classes;
}

std::vector<BuiltinClass> ComponentClasses() {
    return ReadClassFiles(ComponentDirectory() + "/" + kClassFileFolder);
}

}  // namespace kvwin::com_detail
