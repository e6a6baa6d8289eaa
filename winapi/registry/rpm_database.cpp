#include "kvwin/rpm_database.h"

#include "sqlite_library.h"

#include <memory>

namespace kvwin {

namespace {

constexpr std::uint32_t kTypeInt32 = 4;
constexpr std::uint32_t kTypeInt64 = 5;
constexpr std::uint32_t kTypeString = 6;
constexpr std::uint32_t kTypeI18nString = 9;

constexpr std::int32_t kTagName = 1000, kTagVersion = 1001, kTagRelease = 1002, kTagEpoch = 1003,
                       kTagSummary = 1004, kTagInstallTime = 1008, kTagSize = 1009,
                       kTagVendor = 1011, kTagUrl = 1020, kTagArch = 1022, kTagLongSize = 5009;

// rpm's own limits on a header: at most 0xffff entries and 256 MiB of data.
constexpr std::uint32_t kMaxEntries = 0xffff;
constexpr std::uint32_t kMaxData = 256u << 20;

std::uint32_t BigEndian32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

struct Entry {
    std::uint32_t type = 0, offset = 0, count = 0;
};

class Header {
  public:
    // False when the blob's counts do not fit its size.
    bool Load(std::string_view blob) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(blob.data());
        if (blob.size() < 8)
            return false;
        const std::uint32_t il = BigEndian32(bytes), dl = BigEndian32(bytes + 4);
        if (il == 0 || il > kMaxEntries || dl > kMaxData)
            return false;
        const std::uint64_t need = 8 + std::uint64_t{il} * 16 + dl;
        if (need > blob.size())
            return false;
        index_ = bytes + 8;
        entries_ = il;
        data_ = std::string_view(blob.data() + 8 + std::size_t{il} * 16, dl);
        return true;
    }

    std::optional<Entry> Find(std::int32_t tag) const {
        for (std::uint32_t i = 0; i < entries_; ++i) {
            const unsigned char* e = index_ + std::size_t{i} * 16;
            if (static_cast<std::int32_t>(BigEndian32(e)) != tag)
                continue;
            Entry entry{BigEndian32(e + 4), BigEndian32(e + 8), BigEndian32(e + 12)};
            if (entry.offset >= data_.size() || entry.count == 0)
                return std::nullopt;
            return entry;
        }
        return std::nullopt;
    }

    // The first string of a STRING or I18NSTRING entry; empty when absent or unterminated.
    std::string Text(std::int32_t tag) const {
        const auto entry = Find(tag);
        if (!entry || (entry->type != kTypeString && entry->type != kTypeI18nString))
            return {};
        const std::string_view rest = data_.substr(entry->offset);
        const size_t end = rest.find('\0');
        return end == std::string_view::npos ? std::string() : std::string(rest.substr(0, end));
    }

    // The first number of an INT32 or INT64 entry, when it lies inside the data.
    std::optional<std::uint64_t> Number(std::int32_t tag) const {
        const auto entry = Find(tag);
        if (!entry)
            return std::nullopt;
        const size_t width = entry->type == kTypeInt32 ? 4 : entry->type == kTypeInt64 ? 8 : 0;
        if (width == 0 || data_.size() < width || entry->offset > data_.size() - width)
            return std::nullopt;
        const auto* p = reinterpret_cast<const unsigned char*>(data_.data()) + entry->offset;
        if (width == 4)
            return BigEndian32(p);
        return (std::uint64_t{BigEndian32(p)} << 32) | BigEndian32(p + 4);
    }

  private:
    const unsigned char* index_ = nullptr;
    std::uint32_t entries_ = 0;
    std::string_view data_;
};

struct DatabaseCloser {
    void operator()(sqlite3* db) const { registry::Sqlite()->close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { registry::Sqlite()->finalize(statement); }
};

}  // namespace

std::string RpmPackage::FullVersion() const {
    std::string text = epoch ? std::to_string(*epoch) + ":" : std::string();
    text += version;
    if (!release.empty())
        text += "-" + release;
    return text;
}

std::optional<RpmPackage> ParseRpmHeader(std::string_view blob) {
    Header header;
    if (!header.Load(blob))
        return std::nullopt;
    RpmPackage package;
    package.name = header.Text(kTagName);
    if (package.name.empty())
        return std::nullopt;
    package.version = header.Text(kTagVersion);
    package.release = header.Text(kTagRelease);
    package.arch = header.Text(kTagArch);
    package.vendor = header.Text(kTagVendor);
    package.summary = header.Text(kTagSummary);
    package.url = header.Text(kTagUrl);
    if (auto epoch = header.Number(kTagEpoch))
        package.epoch = static_cast<std::uint32_t>(*epoch);
    if (auto time = header.Number(kTagInstallTime))
        package.install_time = static_cast<std::int64_t>(*time);
    if (auto size = header.Number(kTagLongSize))
        package.size = size;
    else if (auto small = header.Number(kTagSize))
        package.size = small;
    return package;
}

namespace {

// The packages through one way of opening the file; false when the table cannot be read.
bool ReadPackages(const std::string& uri, size_t limit, std::vector<RpmPackage>& packages) {
    const registry::SqliteLibrary* sql = registry::Sqlite();
    if (!sql)
        return false;
    sqlite3* raw = nullptr;
    const int rc = sql->open_v2(uri.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    const std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
    if (rc != SQLITE_OK)
        return false;
    sql->busy_timeout(db.get(), 2000);
    sqlite3_stmt* statement = nullptr;
    if (sql->prepare_v2(db.get(), "SELECT blob FROM Packages ORDER BY hnum", -1, &statement,
                        nullptr) != SQLITE_OK)
        return false;
    const std::unique_ptr<sqlite3_stmt, StatementFinalizer> select(statement);
    int step = SQLITE_ROW;
    for (size_t rows = 0; rows < limit && (step = sql->step(select.get())) == SQLITE_ROW; ++rows) {
        const void* data = sql->column_blob(select.get(), 0);
        const int size = sql->column_bytes(select.get(), 0);
        if (!data || size <= 0)
            continue;
        if (auto package =
                ParseRpmHeader(std::string_view(static_cast<const char*>(data), size_t(size))))
            packages.push_back(std::move(*package));
    }
    return step == SQLITE_ROW || step == SQLITE_DONE;
}

}  // namespace

std::vector<RpmPackage> ReadRpmDatabase(const std::string& path, size_t limit) {
    std::vector<RpmPackage> packages;
    if (path.empty() || path.find_first_of("?#") != std::string::npos)
        return packages;
    // Read-only, as any reader of a database in use; a file this process may not lock or
    // whose write-ahead log it may not map is read as a file that does not change.
    if (ReadPackages("file:" + path + "?mode=ro", limit, packages))
        return packages;
    packages.clear();
    ReadPackages("file:" + path + "?immutable=1", limit, packages);
    return packages;
}

}  // namespace kvwin
