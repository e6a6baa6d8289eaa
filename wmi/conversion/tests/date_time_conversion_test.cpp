// The three date-time conversions, in zones picked through TZ: five hours behind UTC with
// daylight time (New York, as a zone file and as a POSIX rule), east of UTC without it
// (Kolkata), and UTC itself.
#include <stdexcept>

#include "conversion_test_support.h"
#include "kvtest/log_capture.h"
#include "win/comdef.h"

namespace {

using convtest::Convert;
using convtest::ScopedTimeZone;

struct DateCase {
    const char* zone;
    const char* function;
    const char* value;
    const char* expected;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.zone << " " << c.function << " '" << c.value << "'";
}

class DateTimeConversion : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTimeConversion, GivesTheExpectedText) {
    const DateCase& c = GetParam();
    ScopedTimeZone zone(c.zone);
    EXPECT_EQ(Convert(c.function, c.value), c.expected) << c.function << " " << c.value;
}

constexpr const char* kNewYork = "America/New_York";
constexpr const char* kNewYorkRule = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kKolkata = "Asia/Kolkata";
constexpr const char* kMask = "**************.******+***";

INSTANTIATE_TEST_SUITE_P(
    Digits, DateTimeConversion,
    ::testing::Values(
        // No range checks, no zone: the digits as they are.
        DateCase{kNewYork, "GetSystemTimeFormat", "20230704090503.000000-300",
                 "2023-07-04T09:05:03"},
        DateCase{kNewYork, "GetSystemTimeFormat", "19600101000000.000000+000",
                 "1960-01-01T00:00:00"},
        DateCase{kNewYork, "GetSystemTimeFormat", "20230431120000.000000+000",
                 "2023-04-31T12:00:00"},
        DateCase{kNewYork, "GetSystemTimeFormat", "202307040905", "2023-07-04T09:05:00"},
        DateCase{kNewYork, "GetSystemTimeFormat", "2023070409051", "2023-07-04T09:05:01"},
        // Fields as _wtoi reads them, narrowed to 16 bits: a month of -1 is 65535, blanks
        // lead, letters read as 0.
        DateCase{kNewYork, "GetSystemTimeFormat", "2023-1011223344", "2023-65535-01T12:23:34"},
        DateCase{kNewYork, "GetSystemTimeFormat", "  23070409x503", "23-07-04T09:00:03"},
        DateCase{kNewYork, "GetSystemTimeFormat", kMask, ""},
        DateCase{kNewYork, "getsystemtimeformat", "20230704090503.000000-300",
                 "2023-07-04T09:05:03"}));

INSTANTIATE_TEST_SUITE_P(
    LocalTime, DateTimeConversion,
    ::testing::Values(
        DateCase{kNewYork, "GetAsSystemTimeFormat", "20230115100000.000000-300",
                 "2023-01-15T10:00:00"},
        DateCase{kNewYork, "GetAsSystemTimeFormat", "20230704090503.000000-240",
                 "2023-07-04T09:05:03"},
        // The 31st of April is the first of May.
        DateCase{kNewYork, "GetAsSystemTimeFormat", "20230431120000.000000+000",
                 "2023-05-01T12:00:00"},
        // 02:30 on the second Sunday of March does not exist in New York: it moves by the gap.
        DateCase{kNewYork, "GetAsSystemTimeFormat", "20230312023000.000000-300",
                 "2023-03-12T03:30:00"},
        DateCase{kNewYorkRule, "GetAsSystemTimeFormat", "20230312023000.000000-300",
                 "2023-03-12T03:30:00"},
        DateCase{kNewYork, "GetAsSystemTimeFormat", "202301151000", "2023-01-15T10:00:00"},
        DateCase{kNewYork, "GetAsSystemTimeFormat", "19700101000000.000000+000",
                 "1970-01-01T00:00:00"},
        DateCase{kNewYork, "GetAsSystemTimeFormat", kMask, ""}));

INSTANTIATE_TEST_SUITE_P(
    ShiftedByTheZone, DateTimeConversion,
    ::testing::Values(
        // The wall-clock digits taken as UTC and shown in local time: five hours back in
        // New York's winter, four in its summer.
        DateCase{kNewYork, "GetHubTimeFormat", "20230115100000.000000-300", "2023-01-15T05:00:00"},
        DateCase{kNewYorkRule, "GetHubTimeFormat", "20230115100000.000000-300",
                 "2023-01-15T05:00:00"},
        DateCase{kNewYork, "GetHubTimeFormat", "20230704090503.000000-240", "2023-07-04T05:05:03"},
        DateCase{kNewYork, "GetHubTimeFormat", "20230115030000.000000-300", "2023-01-14T22:00:00"},
        // Normalised first, then shifted.
        DateCase{kNewYork, "GetHubTimeFormat", "20230431120000.000000+000", "2023-05-01T08:00:00"},
        // The gap's 02:30 becomes 03:30, which as UTC is still the evening before, in winter time.
        DateCase{kNewYork, "GetHubTimeFormat", "20230312023000.000000-300", "2023-03-11T22:30:00"},
        DateCase{kKolkata, "GetHubTimeFormat", "20230115100000.000000+330", "2023-01-15T15:30:00"},
        DateCase{"UTC", "GetHubTimeFormat", "20230115100000.000000+000", "2023-01-15T10:00:00"},
        DateCase{kNewYork, "GetHubTimeFormat", kMask, ""},
        DateCase{kNewYork, "GETHUBTIMEFORMAT", "20230115100000.000000-300",
                 "2023-01-15T05:00:00"}));

// What each failing value raises: the out-of-range error of a too-short text, E_FAIL for a
// field outside its range, E_INVALIDARG when the time cannot be placed.
struct FailureCase {
    const char* zone;
    const char* function;
    const char* value;
    HRESULT hr;  // 0: std::out_of_range
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.zone << " " << c.function << " '" << c.value << "'";
}

class DateTimeFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DateTimeFailure, Raises) {
    const FailureCase& c = GetParam();
    ScopedTimeZone zone(c.zone);
    if (c.hr == 0) {
        EXPECT_THROW(Convert(c.function, c.value), std::out_of_range) << c.value;
        return;
    }
    try {
        Convert(c.function, c.value);
        ADD_FAILURE() << c.function << " " << c.value << " did not raise";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), c.hr) << c.function << " " << c.value;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TooShort, DateTimeFailure,
    ::testing::Values(FailureCase{kNewYork, "GetSystemTimeFormat", "20230704090", 0},
                      FailureCase{kNewYork, "GetSystemTimeFormat", "", 0},
                      FailureCase{kNewYork, "GetAsSystemTimeFormat", "20230704090", 0},
                      FailureCase{kNewYork, "GetAsSystemTimeFormat", "", 0},
                      FailureCase{kNewYork, "GetHubTimeFormat", "20230704090", 0},
                      FailureCase{kNewYork, "GetHubTimeFormat", "", 0},
                      // Almost the mask is no mask.
                      FailureCase{kNewYork, "GetHubTimeFormat", "**********", 0}));

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, DateTimeFailure,
    ::testing::Values(
        FailureCase{kNewYork, "GetAsSystemTimeFormat", "19600101000000.000000+000", E_FAIL},
        FailureCase{kNewYork, "GetHubTimeFormat", "19691231235959.000000+000", E_FAIL},
        FailureCase{kNewYork, "GetAsSystemTimeFormat", "20231301000000", E_FAIL},
        FailureCase{kNewYork, "GetAsSystemTimeFormat", "20230001000000", E_FAIL},
        FailureCase{kNewYork, "GetAsSystemTimeFormat", "20230132000000", E_FAIL},
        FailureCase{kNewYork, "GetAsSystemTimeFormat", "20230100000000", E_FAIL},
        FailureCase{kNewYork, "GetHubTimeFormat", "20230101240000", E_FAIL},
        FailureCase{kNewYork, "GetHubTimeFormat", "20230101-10000", E_FAIL},
        FailureCase{kNewYork, "GetHubTimeFormat", "20230101006000", E_FAIL},
        FailureCase{kNewYork, "GetHubTimeFormat", "20230101000060", E_FAIL},
        FailureCase{kNewYork, "GetAsSystemTimeFormat", "202301010000-1", E_FAIL}));

// One hour east of UTC, 00:59:59 on 1 January 1970 is the second before the epoch: mktime's
// -1, which cannot be told from its failure.
INSTANTIATE_TEST_SUITE_P(NotPlaceable, DateTimeFailure,
                         ::testing::Values(FailureCase{"<+01>-1", "GetAsSystemTimeFormat",
                                                       "19700101005959", E_INVALIDARG},
                                           FailureCase{"<+01>-1", "GetHubTimeFormat",
                                                       "19700101005959", E_INVALIDARG}));

TEST(DateTimeConversionLog, TheDigitsFunctionLogsItsOwnTraceLine) {
    kvtest::ClearLoggedLines();
    Convert("GetSystemTimeFormat", "20230704090503.000000-300");
    const std::vector<std::string> expected = {
        "8|CDataConversion::Process()|Starting the DataConversion",
        "8|CDataConversion::GetSystemIimeFormat()|Getting the data in systeime format"};
    EXPECT_EQ(kvtest::Lines(), expected);
}

}  // namespace
