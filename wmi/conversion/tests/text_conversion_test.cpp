// The conversions that rewrite text, and the choice of function by name.
#include "conversion_test_support.h"
#include "kvtest/log_capture.h"
#include "kvwin/wide_string.h"

namespace {

using convtest::Convert;

struct TextCase {
    const char* function;
    const char* value;
    const char* expected;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.function << " '" << c.value << "'";
}

class TextConversion : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextConversion, GivesTheExpectedText) {
    const TextCase& c = GetParam();
    EXPECT_EQ(Convert(c.function, c.value), c.expected) << c.function << " '" << c.value << "'";
}

INSTANTIATE_TEST_SUITE_P(Booleans, TextConversion,
                         ::testing::Values(TextCase{"GetSQLBooleantoBit", "True", "1"},
                                           TextCase{"getsqlbooleantobit", "true", "1"},
                                           TextCase{"GetSQLBooleantoBit", "FALSE", "0"},
                                           TextCase{"GetSQLBooleantoBit", "Yes", "Yes"},
                                           TextCase{"GetSQLBooleantoBit", " True", " True"},
                                           TextCase{"GetSQLBooleantoBit", "", ""}));

INSTANTIATE_TEST_SUITE_P(
    OperatingSystemNames, TextConversion,
    ::testing::Values(
        TextCase{"GetOperatingSystemName",
                 "Microsoft Windows 10 Pro|C:\\WINDOWS|\\Device\\Harddisk0\\Partition4",
                 "Microsoft Windows 10 Pro"},
        TextCase{"GetOperatingSystemName", "|C:\\WINDOWS|\\Device\\Harddisk0\\Partition4", ""},
        TextCase{"GetOperatingSystemName", "a||b", "a"},
        TextCase{"GetOperatingSystemName", "No bar here", "No bar here"}));

INSTANTIATE_TEST_SUITE_P(
    DnsVersions, TextConversion,
    ::testing::Values(TextCase{"FormatDNSVersion", "1", "1.0.0"},
                      TextCase{"FormatDNSVersion", "4294967295", "255.255.65535"},
                      TextCase{"FormatDNSVersion", "1342373893", "5.0.20483"},
                      TextCase{"FormatDNSVersion", "  258", "2.1.0"},
                      TextCase{"FormatDNSVersion", "65536x", "0.0.1"},
                      // Read as the C runtime reads %lu into 32 bits: negated, wrapped.
                      TextCase{"FormatDNSVersion", "-1", "255.255.65535"},
                      TextCase{"FormatDNSVersion", "4294967296", "0.0.0"},
                      TextCase{"FormatDNSVersion", "not a number", "0.0.0"},
                      TextCase{"FormatDNSVersion", "", "0.0.0"}));

INSTANTIATE_TEST_SUITE_P(Jobs, TextConversion,
                         ::testing::Values(TextCase{"GetJobName", "1", "At1"},
                                           TextCase{"GetJobName", "", "At"},
                                           TextCase{"GetJobCreatorName", "Administrator", "SYSTEM"},
                                           TextCase{"GetJobCreatorName", "", "SYSTEM"}));

// Names that are not in the table, including near misses, leave the value alone.
INSTANTIATE_TEST_SUITE_P(UnknownNames, TextConversion,
                         ::testing::Values(TextCase{"NoSuchFunction", "True", "True"},
                                           TextCase{"GetJobNameX", "1", "1"},
                                           TextCase{"GetSQLBooleanToBits", "True", "True"},
                                           TextCase{"", "True", "True"}));

TEST(ConversionLog, AnUnknownNameIsReportedOncePerValue) {
    kvtest::ClearLoggedLines();
    EXPECT_EQ(Convert("NoSuchFunction", "first"), "first");
    EXPECT_EQ(Convert("NoSuchFunction", "second"), "second");
    const std::vector<std::string> expected = {
        "8|CDataConversion::Process()|Starting the DataConversion",
        "2|CDataConversion::Process()|Unknown conversion function NoSuchFunction",
        "8|CDataConversion::Process()|Starting the DataConversion",
        "2|CDataConversion::Process()|Unknown conversion function NoSuchFunction"};
    EXPECT_EQ(kvtest::Lines(), expected);
}

TEST(ConversionLog, AKnownNameLogsOnlyTheStart) {
    kvtest::ClearLoggedLines();
    EXPECT_EQ(Convert("GetJobName", "7"), "At7");
    const std::vector<std::string> expected = {
        "8|CDataConversion::Process()|Starting the DataConversion"};
    EXPECT_EQ(kvtest::Lines(), expected);
}

TEST(ConversionArguments, NullTextsCountAsEmpty) {
    WString result = TEXT("kept");
    CDataConversion::Process(nullptr, TEXT("GetJobName"), nullptr, result);
    EXPECT_EQ(result, TEXT("At"));
    result = TEXT("kept");
    CDataConversion::Process(TEXT("True"), nullptr, nullptr, result);
    EXPECT_EQ(result, TEXT("kept"));
}

}  // namespace
