#include "linux/dpkg_status.h"

#include <sys/stat.h>

#include "linux/text_util.h"

namespace kvlinux {

bool DpkgPackage::FilesPresent() const {
    return !state.empty() && state != "not-installed" && state != "config-files";
}

bool DpkgPackage::Configured() const {
    return state == "installed" || state == "triggers-awaited" || state == "triggers-pending";
}

namespace {

void Apply(DpkgPackage& pkg, const std::string& field, const std::string& value) {
    if (field == "Package") {
        pkg.name = value;
    } else if (field == "Architecture") {
        pkg.architecture = value;
    } else if (field == "Version") {
        pkg.version = value;
    } else if (field == "Status") {
        auto words = SplitFields(value);
        if (words.size() == 3) {
            pkg.want = words[0];
            pkg.flag = words[1];
            pkg.state = words[2];
        }
    } else if (field == "Maintainer") {
        pkg.maintainer = value;
    } else if (field == "Source") {
        pkg.source = Trim(std::string_view(value).substr(0, value.find('(')));
    } else if (field == "Installed-Size") {
        pkg.installed_size_kib = ParseUnsigned(value);
    } else if (field == "Homepage") {
        pkg.homepage = value;
    } else if (field == "Description") {
        size_t newline = value.find('\n');
        pkg.summary = value.substr(0, newline);
        pkg.description = newline == std::string::npos ? "" : value.substr(newline + 1);
    }
}

}  // namespace

std::vector<DpkgPackage> ParseDpkgStatus(std::string_view content) {
    std::vector<DpkgPackage> packages;
    DpkgPackage current;
    std::string field, value;
    bool in_stanza = false;
    auto flush_field = [&] {
        if (!field.empty())
            Apply(current, field, value);
        field.clear();
        value.clear();
    };
    auto flush_stanza = [&] {
        flush_field();
        if (in_stanza && !current.name.empty())
            packages.push_back(std::move(current));
        current = DpkgPackage{};
        in_stanza = false;
    };
    for (std::string_view line : SplitLines(content)) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (Trim(line).empty()) {
            flush_stanza();
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            if (field.empty())
                continue;  // a continuation with nothing to continue
            std::string_view more = line.substr(1);
            value += '\n';
            if (Trim(more) != ".")
                value += more;
            continue;
        }
        flush_field();
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        in_stanza = true;
        field = std::string(line.substr(0, colon));
        value = std::string(Trim(line.substr(colon + 1)));
    }
    flush_stanza();
    return packages;
}

std::vector<DpkgPackage> ReadDpkgStatus(const std::string& admin_dir) {
    auto text = ReadFileText(admin_dir + "/status");
    return text ? ParseDpkgStatus(*text) : std::vector<DpkgPackage>{};
}

std::optional<std::int64_t> PackageInstallTime(const std::string& admin_dir,
                                               const DpkgPackage& package) {
    // Multi-arch packages ("Multi-Arch: same") name their lists <name>:<arch>.list.
    for (const std::string& name : {package.name + ":" + package.architecture, package.name}) {
        struct stat st;
        if (::stat((admin_dir + "/info/" + name + ".list").c_str(), &st) == 0)
            return static_cast<std::int64_t>(st.st_mtim.tv_sec);
    }
    return std::nullopt;
}

}  // namespace kvlinux
