// The operating-system code from the version, the server flag and the release id.
#include <gtest/gtest.h>

#include "kvtest/registry_values.h"
#include "kvtest/test_env.h"
#include "kvwin/wide_string.h"
#include "platform/os_detector.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

TEST(OSCode, TableLookupWithReleaseIds) {
    EXPECT_EQ(OSDetector::LookupOSCode(10, 0, false, 0), 28u);
    EXPECT_EQ(OSDetector::LookupOSCode(6, 2, false, 0), 24u);  // a host without a manifest
    EXPECT_EQ(OSDetector::LookupOSCode(6, 0, false, 0), 20u);
    EXPECT_EQ(OSDetector::LookupOSCode(5, 1, false, 0), 18u);
    EXPECT_EQ(OSDetector::LookupOSCode(10, 0, true, 1607), 29u);
    EXPECT_EQ(OSDetector::LookupOSCode(10, 0, true, 1809), 30u);
    EXPECT_EQ(OSDetector::LookupOSCode(10, 0, true, 2009), 30u);  // the last candidate wins
    EXPECT_EQ(OSDetector::LookupOSCode(10, 0, true, 0), 27u);
    EXPECT_EQ(OSDetector::LookupOSCode(10, 0, true, 16), 27u);
    EXPECT_EQ(OSDetector::LookupOSCode(5, 0, true, 0), 17u);
}

constexpr const WCHAR* kCurrentVersion = TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");

TEST(OSCode, TheDefaultIdentityIsAWindows10Workstation) {
    EXPECT_EQ(OSDetector::GetOSCode(), 28u);
    EXPECT_GE(OSDetector::GetOSCode(), 20u);  // Vista or later: the agent folders of today
}

// The product type comes from the layer's release, the release id from the registry.
TEST(OSCode, AServerReleasePresentedThroughTheLayerAndTheRegistry) {
    kvtest::ScopedEnvironmentVariable server("KAVREL_WINDOWS_PRODUCT_TYPE", "ServerNT");
    kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kCurrentVersion, TEXT("ReleaseId"), TEXT("1809"));
    EXPECT_EQ(OSDetector().Code(), 30u);
    kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kCurrentVersion, TEXT("ReleaseId"),
                            TEXT("16xx"));  // two digits, then letters: no warning
    EXPECT_EQ(OSDetector().Code(), 27u);
    kvtest::SetRegistryText(HKEY_LOCAL_MACHINE, kCurrentVersion, TEXT("ReleaseId"), TEXT("x1607"));
    EXPECT_EQ(OSDetector().Code(), 27u);
}

TEST(OSCode, AnOlderReleasePresentedThroughTheLayer) {
    kvtest::ScopedEnvironmentVariable windows7("KAVREL_WINDOWS_VERSION", "6.1.7601");
    EXPECT_EQ(OSDetector().Code(), 22u);
}

}  // namespace
