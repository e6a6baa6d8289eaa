#include "kvwin/dpkg_status.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <charconv>
#include <climits>
#include <cstring>

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

// The fields a package keeps; every other field (Depends, Conffiles, ...) is skipped with
// its continuation lines unread.
enum class Field {
    kOther,
    kPackage,
    kArchitecture,
    kVersion,
    kStatus,
    kMaintainer,
    kSource,
    kInstalledSize,
    kHomepage,
    kDescription,
    kMultiArch
};

Field FieldOf(std::string_view name) {
    switch (name.size()) {
        case 6:
            return name == "Status"   ? Field::kStatus
                   : name == "Source" ? Field::kSource
                                      : Field::kOther;
        case 7:
            return name == "Package"   ? Field::kPackage
                   : name == "Version" ? Field::kVersion
                                       : Field::kOther;
        case 8:
            return name == "Homepage" ? Field::kHomepage : Field::kOther;
        case 10:
            return name == "Maintainer"   ? Field::kMaintainer
                   : name == "Multi-Arch" ? Field::kMultiArch
                                          : Field::kOther;
        case 11:
            return name == "Description" ? Field::kDescription : Field::kOther;
        case 12:
            return name == "Architecture" ? Field::kArchitecture : Field::kOther;
        case 14:
            return name == "Installed-Size" ? Field::kInstalledSize : Field::kOther;
        default:
            return Field::kOther;
    }
}

void Apply(DpkgPackage& pkg, Field field, std::string_view value) {
    switch (field) {
        case Field::kPackage:
            pkg.name.assign(value);
            break;
        case Field::kArchitecture:
            pkg.architecture.assign(value);
            break;
        case Field::kVersion:
            pkg.version.assign(value);
            break;
        case Field::kStatus: {
            std::string_view words[3];
            if (kvwin::SplitAsciiWords(value, words) == 3) {
                pkg.want.assign(words[0]);
                pkg.flag.assign(words[1]);
                pkg.state.assign(words[2]);
            }
            break;
        }
        case Field::kMaintainer:
            pkg.maintainer.assign(value);
            break;
        case Field::kSource:
            pkg.source.assign(TrimAsciiSpace(value.substr(0, value.find('('))));
            break;
        case Field::kInstalledSize:
            pkg.installed_size_kib = Unsigned(value);
            break;
        case Field::kHomepage:
            pkg.homepage.assign(value);
            break;
        case Field::kMultiArch:
            pkg.multi_arch.assign(value);
            break;
        case Field::kDescription:  // the parser fills summary and description itself
        case Field::kOther:
            break;
    }
}

// Splits `text` into lines one at a time (a final '\r' dropped).
class Lines {
  public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool Next(std::string_view& line) {
        if (at_ >= text_.size())
            return false;
        const char* start = text_.data() + at_;
        const void* newline = std::memchr(start, '\n', text_.size() - at_);
        const size_t length =
            newline ? size_t(static_cast<const char*>(newline) - start) : text_.size() - at_;
        line = std::string_view(start, length);
        at_ += length + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

  private:
    std::string_view text_;
    size_t at_ = 0;
};

bool IsContinuation(std::string_view line) {
    return !line.empty() && (line.front() == ' ' || line.front() == '\t') &&
           !TrimAsciiSpace(line).empty();
}

// Empties every field and keeps the strings' storage for the next stanza.
void Clear(DpkgPackage& pkg) {
    for (std::string* text : {&pkg.name, &pkg.architecture, &pkg.version, &pkg.want, &pkg.flag,
                              &pkg.state, &pkg.maintainer, &pkg.source, &pkg.summary,
                              &pkg.description, &pkg.homepage, &pkg.multi_arch})
        text->clear();
    pkg.installed_size_kib.reset();
}

}  // namespace

void ForEachDpkgPackage(std::string_view content,
                        const std::function<void(const DpkgPackage&)>& visit,
                        DpkgDescription wanted) {
    DpkgPackage current;
    bool in_stanza = false;
    std::string joined;  // a kept field's value with its continuation lines
    auto flush_stanza = [&] {
        if (in_stanza && !current.name.empty())
            visit(current);
        Clear(current);
        in_stanza = false;
    };
    Lines lines(content);
    std::string_view line;
    while (lines.Next(line)) {
        if (TrimAsciiSpace(line).empty()) {
            flush_stanza();
            continue;
        }
        if (line.front() == ' ' || line.front() == '\t')
            continue;  // a continuation with nothing to continue, or of a skipped field
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        in_stanza = true;
        const Field field = FieldOf(line.substr(0, colon));
        if (field == Field::kOther)
            continue;
        std::string_view value = TrimAsciiSpace(line.substr(colon + 1));
        // A continuation line adds a line break and its text after the first blank; " ."
        // stands for an empty line. The description (the lines after the summary) is
        // written straight into the package.
        const bool description = field == Field::kDescription;
        if (description) {
            current.summary.assign(value);
            current.description.clear();
            if (wanted == DpkgDescription::kSummaryOnly)
                continue;  // its lines are skipped as a skipped field's are
        }
        std::string& text = description ? current.description : joined;
        bool continued = false;
        std::string_view next;
        for (Lines ahead = lines; ahead.Next(next) && IsContinuation(next); lines = ahead) {
            const std::string_view more = next.substr(1);
            if (!description && !continued)
                joined.assign(value);
            if (continued || !description)
                text += '\n';
            continued = true;
            if (TrimAsciiSpace(more) != ".")
                text += more;
        }
        if (description)
            continue;
        if (continued)
            value = joined;
        Apply(current, field, value);
    }
    flush_stanza();
}

std::vector<DpkgPackage> ParseDpkgStatus(std::string_view content) {
    std::vector<DpkgPackage> packages;
    ForEachDpkgPackage(content, [&packages](const DpkgPackage& pkg) { packages.push_back(pkg); });
    return packages;
}

std::vector<DpkgPackage> ReadDpkgStatus(const std::string& admin_dir) {
    auto text = ReadSmallFile(admin_dir + "/status", size_t{256} << 20);
    return text ? ParseDpkgStatus(*text) : std::vector<DpkgPackage>{};
}

DpkgInfoFolder::DpkgInfoFolder(const std::string& admin_dir)
    : fd_(::open((admin_dir + "/info").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

std::optional<std::int64_t> DpkgInfoFolder::InstallTime(const DpkgPackage& package) const {
    if (!fd_.valid())
        return std::nullopt;
    // "<name>:<arch>.list" for packages installable beside themselves for other
    // architectures ("Multi-Arch: same"), else "<name>.list"; the other name is tried next
    // for a database written by an older dpkg.
    const bool same = package.multi_arch == "same";
    for (int qualified : {same ? 1 : 0, same ? 0 : 1}) {
        char name[NAME_MAX + 1];
        const size_t length =
            package.name.size() + (qualified ? 1 + package.architecture.size() : 0) + 5;
        if (length > NAME_MAX)
            continue;
        char* at = name;
        auto put = [&at](std::string_view text) {
            std::memcpy(at, text.data(), text.size());
            at += text.size();
        };
        put(package.name);
        if (qualified) {
            put(":");
            put(package.architecture);
        }
        put(".list");
        *at = 0;
        if (std::strlen(name) != length || std::memchr(name, '/', length))
            continue;  // not a file name of the folder
        struct statx st;
        if (::statx(fd_.get(), name, AT_STATX_SYNC_AS_STAT, STATX_MTIME, &st) == 0 &&
            (st.stx_mask & STATX_MTIME))
            return static_cast<std::int64_t>(st.stx_mtime.tv_sec);
    }
    return std::nullopt;
}

std::optional<std::int64_t> PackageInstallTime(const std::string& admin_dir,
                                               const DpkgPackage& package) {
    return DpkgInfoFolder(admin_dir).InstallTime(package);
}

}  // namespace kvwin
