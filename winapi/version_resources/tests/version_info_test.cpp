#include "win/version.h"

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "pe_builder.h"
#include "version_block.h"
#include "win/errors.h"
#include "win/modules.h"

namespace {

std::u16string W(const std::string& s) {
    return kvwin::FromUtf8(s);
}

std::vector<uint8_t> ReadVersionInfo(const std::string& path, DWORD* error = nullptr) {
    SetLastError(0);
    DWORD handle = 77;
    const DWORD size = GetFileVersionInfoSizeW(W(path).c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (error)
        *error = size ? 0 : GetLastError();
    if (size == 0)
        return {};
    std::vector<uint8_t> block(size);
    EXPECT_TRUE(GetFileVersionInfoW(W(path).c_str(), 0, size, block.data()));
    return block;
}

std::u16string QueryText(const std::vector<uint8_t>& block, const char16_t* path) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path, &value, &length))
        return u"<none>";
    // The length counts the terminator.
    const auto* text = static_cast<const char16_t*>(value);
    EXPECT_GT(length, 0u);
    EXPECT_EQ(text[length - 1], u'\0');
    return std::u16string(text, length ? length - 1 : 0);
}

const VS_FIXEDFILEINFO* QueryFixed(const std::vector<uint8_t>& block) {
    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), u"\\", &value, &length))
        return nullptr;
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    return static_cast<const VS_FIXEDFILEINFO*>(value);
}

std::string PlatformLibraryPath() {
    HMODULE module = nullptr;
    EXPECT_TRUE(GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&VerQueryValueW), &module));
    WCHAR path[4096];
    const DWORD n = GetModuleFileNameW(module, path, 4096);
    return kvwin::ToUtf8(std::u16string_view(path, n));
}

kvvr::VersionRecord SampleRecord() {
    kvvr::VersionRecord record;
    const uint16_t file[4] = {10, 4, 1234, 56};
    const uint16_t product[4] = {10, 4, 0, 0};
    std::memcpy(record.file_version, file, sizeof file);
    std::memcpy(record.product_version, product, sizeof product);
    record.file_flags = VS_FF_PRERELEASE;
    record.file_type = VFT_APP;
    record.language = 0x0407;
    record.code_page = 0x04E4;
    record.strings = {{u"CompanyName", u"Beispiel GmbH"},
                      {u"FileVersion", u"10.4.1234.56"},
                      {u"Comments", u""},
                      {u"ProductName", u"Zähler"}};
    return record;
}

std::vector<uint8_t> SamplePe(bool pe32plus = true) {
    std::vector<kvtest::PeResource> resources;
    resources.push_back({11, 1, 0x0409, {1, 0, 0, 0}});  // a message table before it
    resources.push_back({16, 1, 0x0407, kvvr::BuildVersionBlock(SampleRecord())});
    return kvtest::PeBuilder::Build(resources, {pe32plus, true});
}

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = kvtest::MakeTempFolder("version") + "/" + name;
    kvtest::WriteBytes(path, bytes);
    return path;
}

TEST(VersionResources, OurSharedObjectsCarryTheProjectVersion) {
    const std::string expected = std::to_string(KV_VERSION_MAJOR) + "." +
                                 std::to_string(KV_VERSION_MINOR) + "." +
                                 std::to_string(KV_VERSION_PATCH) + ".0";
    for (const auto& [path, file_name] :
         {std::pair<std::string, std::u16string>{PlatformLibraryPath(), u"libkavrel-win.so"},
          {KV_KAVREL_LIBRARY, u"libkavrel.so"}}) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> block = ReadVersionInfo(path);
        ASSERT_FALSE(block.empty());
        const VS_FIXEDFILEINFO* fixed = QueryFixed(block);
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
        EXPECT_EQ(fixed->dwFileVersionMS, (DWORD(KV_VERSION_MAJOR) << 16) | KV_VERSION_MINOR);
        EXPECT_EQ(fixed->dwFileVersionLS, DWORD(KV_VERSION_PATCH) << 16);
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040904b0\\FileVersion"), W(expected));
        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040904b0\\OriginalFilename"), file_name);
        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040904b0\\ProductName"), u"Kavrel");
    }
}

TEST(VersionResources, ReadsTheVersionResourceOfAWindowsImage) {
    for (bool pe32plus : {true, false}) {
        SCOPED_TRACE(pe32plus ? "PE32+" : "PE32");
        const std::string path = WriteTemp("sample.exe", SamplePe(pe32plus));
        const std::vector<uint8_t> block = ReadVersionInfo(path);
        ASSERT_FALSE(block.empty());

        const VS_FIXEDFILEINFO* fixed = QueryFixed(block);
        ASSERT_NE(fixed, nullptr);
        EXPECT_EQ(fixed->dwFileVersionMS, (10u << 16) | 4u);
        EXPECT_EQ(fixed->dwFileVersionLS, (1234u << 16) | 56u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0u);
        EXPECT_EQ(fixed->dwFileFlags, VS_FF_PRERELEASE);
        EXPECT_EQ(fixed->dwFileType, VFT_APP);

        LPVOID value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), u"\\VarFileInfo\\Translation", &value, &length));
        ASSERT_EQ(length, 4u);
        const auto* pair = static_cast<const WORD*>(value);
        EXPECT_EQ(pair[0], 0x0407);
        EXPECT_EQ(pair[1], 0x04E4);

        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040704e4\\CompanyName"), u"Beispiel GmbH");
        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040704e4\\ProductName"), u"Zähler");
        // Names compare without case; repeated separators count once.
        EXPECT_EQ(QueryText(block, u"\\\\stringfileinfo\\040704E4\\\\fileversion"),
                  u"10.4.1234.56");
        // An empty text is there, with just its terminator.
        ASSERT_TRUE(
            VerQueryValueW(block.data(), u"\\StringFileInfo\\040704e4\\Comments", &value, &length));
        EXPECT_EQ(length, 1u);
        // Absent values and tables.
        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040704e4\\LegalCopyright"), u"<none>");
        EXPECT_EQ(QueryText(block, u"\\StringFileInfo\\040904b0\\CompanyName"), u"<none>");
        EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
    }
}

TEST(VersionResources, ReportsMissingUnreadableAndForeignFiles) {
    const std::string folder = kvtest::MakeTempFolder("version-errors");
    DWORD error = 0;

    ReadVersionInfo(folder + "/absent.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_FILE_NOT_FOUND));

    kvtest::WriteBytes(folder + "/empty.dll", {});
    ReadVersionInfo(folder + "/empty.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_BAD_FORMAT));

    const std::string text = "not an image at all";
    kvtest::WriteBytes(folder + "/text.dll", std::vector<uint8_t>(text.begin(), text.end()));
    ReadVersionInfo(folder + "/text.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_BAD_FORMAT));

    // An image without a resource directory, and one whose resources hold no version.
    kvtest::WriteBytes(folder + "/nores.dll",
                       kvtest::PeBuilder::Build({{16, 1, 0x409, {1, 2, 3, 4}}}, {true, false}));
    ReadVersionInfo(folder + "/nores.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
    kvtest::WriteBytes(folder + "/noversion.dll",
                       kvtest::PeBuilder::Build({{11, 1, 0x409, {0, 0, 0, 0}}}));
    ReadVersionInfo(folder + "/noversion.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));

    // A version resource that is not a version block.
    kvtest::WriteBytes(folder + "/garbage.dll",
                       kvtest::PeBuilder::Build({{16, 1, 0x409, std::vector<uint8_t>(64, 0x41)}}));
    ReadVersionInfo(folder + "/garbage.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));

    // A data entry pointing past the end of the section.
    std::vector<kvtest::PeResource> resources{
        {16, 1, 0x409, kvvr::BuildVersionBlock(SampleRecord())}};
    std::vector<uint8_t> image = kvtest::PeBuilder::Build(resources);
    kvtest::PeBuilder::Put32(image, kvtest::PeBuilder::DataEntryOffset(resources, 0), 0x00FFFF00);
    kvtest::WriteBytes(folder + "/outside.dll", image);
    ReadVersionInfo(folder + "/outside.dll", &error);
    EXPECT_EQ(error, DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));

    // An ELF object without a version record: this test program.
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    ASSERT_GT(n, 0);
    ReadVersionInfo(std::string(self, static_cast<size_t>(n)), &error);
    EXPECT_EQ(error, DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));

    // A buffer smaller than the block.
    const std::string good = WriteTemp("good.dll", SamplePe());
    const DWORD size = GetFileVersionInfoSizeW(W(good).c_str(), nullptr);
    std::vector<uint8_t> small(size);
    EXPECT_FALSE(GetFileVersionInfoW(W(good).c_str(), 0, size - 1, small.data()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST(VersionResources, ImagesCutAtAnyLengthFailCleanly) {
    const std::vector<uint8_t> image = SamplePe();
    const std::string folder = kvtest::MakeTempFolder("version-cut");
    const std::string path = folder + "/cut.dll";
    for (size_t length = 0; length < image.size(); length += (length < 0x260 ? 1 : 7)) {
        SCOPED_TRACE(length);
        kvtest::WriteBytes(path, std::vector<uint8_t>(image.begin(), image.begin() + length));
        DWORD error = 0;
        const std::vector<uint8_t> block = ReadVersionInfo(path, &error);
        if (!block.empty())
            continue;  // the cut fell in the padding after the block
        EXPECT_TRUE(error == ERROR_BAD_FORMAT || error == ERROR_RESOURCE_DATA_NOT_FOUND ||
                    error == ERROR_RESOURCE_TYPE_NOT_FOUND)
            << error;
    }
}

// A damaged block must never make VerQueryValueW read past its end: the block is put right
// before an inaccessible page, and every byte after the root length is spoilt in turn.
TEST(VersionResources, QueriesOfDamagedBlocksStayInsideTheBlock) {
    const std::vector<uint8_t> good = kvvr::BuildVersionBlock(SampleRecord());
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t span = ((good.size() + page - 1) / page) * page;
    void* memory =
        ::mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    ASSERT_EQ(::mprotect(static_cast<uint8_t*>(memory) + span, page, PROT_NONE), 0);
    uint8_t* block = static_cast<uint8_t*>(memory) + span - good.size();
    const char16_t* queries[] = {u"\\", u"\\VarFileInfo\\Translation",
                                 u"\\StringFileInfo\\040704e4\\ProductName",
                                 u"\\StringFileInfo\\040704e4\\Nothing"};
    for (size_t at = 2; at < good.size(); ++at) {
        for (uint8_t spoil : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
            std::memcpy(block, good.data(), good.size());
            block[at] = spoil;
            for (const char16_t* query : queries) {
                LPVOID value = nullptr;
                UINT length = 0;
                if (VerQueryValueW(block, query, &value, &length)) {
                    const auto* p = static_cast<const uint8_t*>(value);
                    EXPECT_GE(p, block);
                    EXPECT_LE(p, block + good.size());
                }
            }
        }
    }
    ::munmap(memory, span + page);
}

TEST(VersionResources, RejectsNullArguments) {
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValueW(nullptr, u"\\", &value, &length));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(GetFileVersionInfoSizeW(nullptr, nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetFileVersionInfoW(u"x.dll", 0, 10, nullptr));
}

}  // namespace
