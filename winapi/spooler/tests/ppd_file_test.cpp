// Reading a PPD's main keywords and its version.
#include <gtest/gtest.h>

#include "kvwin/ppd_file.h"
#include "kvwin/utf.h"

namespace {

TEST(PpdFile, ReadsMainKeywordsOnly) {
    const std::string ppd =
        "*PPD-Adobe: \"4.3\"\n"
        "*% *FileVersion: \"9.9\" in a comment\n"
        "*FileVersion: \"1.5\"\r\n"
        "*FileVersion: \"2.0\"\n"
        "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
        "*NickName: \"Two\n"
        "lines\"\n"
        "*ColorDevice: False\n";
    const auto keywords = kvwin::ReadPpdKeywords(ppd);
    EXPECT_TRUE(kvwin::LooksLikePpd(ppd));
    EXPECT_EQ(keywords.at("FileVersion"), u"1.5");
    EXPECT_EQ(keywords.at("NickName"), u"Two\nlines");
    EXPECT_EQ(keywords.at("ColorDevice"), u"False");
    EXPECT_EQ(keywords.count("PageSize"), 0u);
    EXPECT_EQ(keywords.count("PageSize A4/A4"), 0u);
}

TEST(PpdFile, ReadsLatin1WhenTheFileSaysSo) {
    const auto latin1 = kvwin::ReadPpdKeywords(
        "*PPD-Adobe: \"4.3\"\n*LanguageEncoding: ISOLatin1\n*Manufacturer: \"Caf\xe9\"\n");
    EXPECT_EQ(latin1.at("Manufacturer"), u"Caf\u00e9");
    const auto utf8 =
        kvwin::ReadPpdKeywords("*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Caf\xc3\xa9\"\n");
    EXPECT_EQ(utf8.at("Manufacturer"), u"Caf\u00e9");
    EXPECT_FALSE(kvwin::LooksLikePpd("*Manufacturer: \"x\"\n"));
}

TEST(PpdFile, VersionsHaveUpToFourParts) {
    struct Case {
        const char16_t* text;
        std::optional<std::array<uint16_t, 4>> parts;
    };
    const Case cases[] = {
        {u"2.7", std::array<uint16_t, 4>{2, 7, 0, 0}},
        {u"1.2.3.4.5", std::array<uint16_t, 4>{1, 2, 3, 4}},
        {u"3 (beta)", std::array<uint16_t, 4>{3, 0, 0, 0}},
        {u"65535.0", std::array<uint16_t, 4>{65535, 0, 0, 0}},
        {u"65536", std::nullopt},
        {u"", std::nullopt},
        {u"v1.0", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kvwin::ParsePpdVersion(c.text), c.parts) << kvwin::ToUtf8(c.text);
}

}  // namespace
