#include "reg_values.h"

#include <gtest/gtest.h>

using namespace kavrel_reg;

namespace {

TEST(RegValues, KeyPathsAndTypeNames) {
    std::string subkey;
    auto root = SplitKeyPath("hklm\\Software\\Quillon\\", subkey);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->key, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(subkey, "Software\\Quillon");
    EXPECT_TRUE(SplitKeyPath("HKEY_CURRENT_USER", subkey));
    EXPECT_EQ(subkey, "");
    EXPECT_FALSE(SplitKeyPath("HKXX\\a", subkey));
    EXPECT_EQ(TypeFromName("reg_qword"), std::optional<DWORD>(REG_QWORD));
    EXPECT_FALSE(TypeFromName("REG_FLOAT"));
}

TEST(RegValues, EncodeAndRenderEveryType) {
    std::vector<BYTE> bytes;
    std::string error;
    ASSERT_TRUE(EncodeData(REG_SZ, "A\xC3\xA9", bytes, error));
    EXPECT_EQ(bytes, (std::vector<BYTE>{'A', 0, 0xE9, 0, 0, 0})) << "UTF-16 with its terminator";
    EXPECT_EQ(RenderData(REG_SZ, bytes), "A\xC3\xA9");

    ASSERT_TRUE(EncodeData(REG_MULTI_SZ, "one\\0two", bytes, error));
    EXPECT_EQ(bytes.size(), 18u) << "two items, their terminators and the final one";
    EXPECT_EQ(RenderData(REG_MULTI_SZ, bytes), "one\\0two");

    ASSERT_TRUE(EncodeData(REG_DWORD, "0x2A", bytes, error));
    EXPECT_EQ(bytes, (std::vector<BYTE>{42, 0, 0, 0}));
    EXPECT_EQ(RenderData(REG_DWORD, bytes), "0x2a");
    EXPECT_FALSE(EncodeData(REG_DWORD, "4294967296", bytes, error)) << "does not fit 32 bits";
    ASSERT_TRUE(EncodeData(REG_QWORD, "18446744073709551615", bytes, error));
    EXPECT_EQ(RenderData(REG_QWORD, bytes), "0xffffffffffffffff");
    EXPECT_FALSE(EncodeData(REG_DWORD, "12z", bytes, error));

    ASSERT_TRUE(EncodeData(REG_BINARY, "00ff10", bytes, error));
    EXPECT_EQ(RenderData(REG_BINARY, bytes), "00FF10");
    EXPECT_FALSE(EncodeData(REG_BINARY, "abc", bytes, error));
    EXPECT_FALSE(EncodeData(REG_BINARY, "zz", bytes, error));
    EXPECT_EQ(RenderData(REG_DWORD, {1, 2, 3}), "010203") << "a DWORD of odd size shows its bytes";
}

}  // namespace
