#include "kvwin/image_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kvtest/test_env.h"
#include "kvwin/utf.h"
#include "pe_builder.h"
#include "win/errors.h"
#include "win/handles.h"
#include "win/version.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

TEST(ImageFile, FindsAndGuardsTheVersionSectionOfAnElfObject) {
    std::vector<uint8_t> library = ReadAll(KV_KAVREL_LIBRARY);
    ASSERT_GT(library.size(), 1024u);
    kvwin::ByteSpan section;
    ASSERT_EQ(kvwin::FindElfSection(library, kvwin::kVersionSection, section), 0u);
    EXPECT_GT(section.size(), 92u);
    EXPECT_EQ(kvwin::FindElfSection(library, ".no_such_section", section),
              DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));
    // A name that is only a prefix of the one asked for does not match.
    EXPECT_EQ(kvwin::FindElfSection(library, ".kavrel_versio", section),
              DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));

    // The section headers sit at the end of the file: any cut loses them.
    const std::string folder = kvtest::MakeTempFolder("elf");
    for (size_t length : {size_t{4}, size_t{0x30}, library.size() / 2, library.size() - 1}) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> cut(library.begin(), library.begin() + length);
        EXPECT_EQ(kvwin::FindElfSection(cut, kvwin::kVersionSection, section),
                  DWORD(ERROR_BAD_FORMAT));
        kvtest::WriteBytes(folder + "/cut.so", cut);
        EXPECT_EQ(GetFileVersionInfoSizeW(kvwin::FromUtf8(folder + "/cut.so").c_str(), nullptr),
                  0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_FORMAT));
    }

    // A big-endian or unknown-class object is not read.
    std::vector<uint8_t> other = library;
    other[5] = 2;
    EXPECT_EQ(kvwin::FindElfSection(other, kvwin::kVersionSection, section),
              DWORD(ERROR_BAD_FORMAT));
    other = library;
    other[4] = 9;
    EXPECT_EQ(kvwin::FindElfSection(other, kvwin::kVersionSection, section),
              DWORD(ERROR_BAD_FORMAT));
}

TEST(ImageFile, ResourceDirectoriesThatPointAnywhereFailCleanly) {
    std::vector<kvtest::PeResource> resources{{16, 1, 0x0409, std::vector<uint8_t>(40, 7)},
                                              {16, 2, 0x0407, std::vector<uint8_t>(8, 9)},
                                              {11, 1, 0x0409, std::vector<uint8_t>(12, 1)}};
    const std::vector<uint8_t> good = kvtest::PeBuilder::Build(resources);
    std::vector<kvwin::ImageResource> found;
    ASSERT_EQ(kvwin::FindPeResources(good, 16, found), 0u);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].language, 0x0409);
    EXPECT_EQ(found[0].data.size(), 40u);
    EXPECT_EQ(found[1].language, 0x0407);
    EXPECT_EQ(found[1].data[0], 9);
    EXPECT_EQ(kvwin::FindPeResources(good, 3, found), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));

    // Every byte of the headers and of the resource tree spoilt in turn: an answer is
    // either an error or resources that lie inside the image.
    const size_t tree_end = kvtest::PeBuilder::DataEntryOffset(resources, resources.size());
    for (size_t at = 0; at < tree_end; ++at) {
        if (at >= 0x180 && at < kvtest::PeBuilder::kSectionFile)
            continue;  // zero padding
        for (uint8_t spoil : {uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x10}}) {
            std::vector<uint8_t> image = good;
            image[at] ^= spoil;
            const DWORD error = kvwin::FindPeResources(image, 16, found);
            if (error)
                continue;
            for (const kvwin::ImageResource& r : found) {
                EXPECT_GE(r.data.data(), image.data());
                EXPECT_LE(r.data.data() + r.data.size(), image.data() + image.size());
            }
        }
    }
}

TEST(ImageFile, MapsFilesAndReportsWhyNot) {
    const std::string folder = kvtest::MakeTempFolder("mapped");
    kvwin::MappedFile file;
    EXPECT_EQ(file.Open(folder + "/absent"), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(file.Open(folder), DWORD(ERROR_ACCESS_DENIED));
    kvtest::WriteBytes(folder + "/empty", {});
    EXPECT_EQ(file.Open(folder + "/empty"), 0u);
    EXPECT_TRUE(file.bytes().empty());
    kvtest::WriteBytes(folder + "/three", {1, 2, 3});
    ASSERT_EQ(file.Open(folder + "/three"), 0u);
    kvwin::MappedFile moved = std::move(file);
    ASSERT_EQ(moved.bytes().size(), 3u);
    EXPECT_EQ(moved.bytes()[2], 3);
    EXPECT_TRUE(file.bytes().empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
}

}  // namespace
