#include "kvwin/dpkg_status.h"

#include <sys/stat.h>

#include <charconv>

#include "kvwin/ascii_space.h"
#include "kvwin/os_release.h"

namespace kvwin {

bool DpkgPackage::FilesPresent() const {
    return !state.empty() && state != "not-installed" && state != "config-files";
}

bool DpkgPackage::Configured() const {
    return state == "installed" || state == "triggers-awaited" || state == "triggers-pending";
}

namespace {

std::optional<std::uint64_t> Unsigned(std::string_view text) {
    text = TrimAsciiSpace(text);
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void Apply(DpkgPackage& pkg, const std::string& field, const std::string& value) {
    if (field == "Package") {
        pkg.name = value;
    } else if (field == "Architecture") {
        pkg.architecture = value;
    } else if (field == "Version") {
        pkg.version = value;
    } else if (field == "Status") {
        auto words = SplitAsciiWords(value);
        if (words.size() == 3) {
            pkg.want = words[0];
            pkg.flag = words[1];
            pkg.state = words[2];
        }
    } else if (field == "Maintainer") {
        pkg.maintainer = value;
    } else if (field == "Source") {
        pkg.source = TrimAsciiSpace(std::string_view(value).substr(0, value.find('(')));
    } else if (field == "Installed-Size") {
        pkg.installed_size_kib = Unsigned(value);
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
    while (!content.empty()) {
        size_t end = content.find('\n');
        std::string_view line = content.substr(0, end);
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (TrimAsciiSpace(line).empty()) {
            flush_stanza();
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            if (field.empty())
                continue;  // a continuation with nothing to continue
            std::string_view more = line.substr(1);
            value += '\n';
            if (TrimAsciiSpace(more) != ".")
                value += more;
            continue;
        }
        flush_field();
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        in_stanza = true;
        field = std::string(line.substr(0, colon));
        value = std::string(TrimAsciiSpace(line.substr(colon + 1)));
    }
    flush_stanza();
    return packages;
}

std::vector<DpkgPackage> ReadDpkgStatus(const std::string& admin_dir) {
    auto text = ReadSmallFile(admin_dir + "/status", size_t{256} << 20);
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

}  // namespace kvwin
