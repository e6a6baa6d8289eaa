// CIM date-time text: the fixed-width form with microseconds and a signed offset in minutes.
#include <gtest/gtest.h>

#include "kvwin/utf.h"
#include "provider/cim_datetime.h"

namespace {

TEST(CimDateTime, Formats) {
    struct Case {
        std::int64_t seconds;
        std::int32_t micros;
        std::int32_t offset;
        const char* text;
    } cases[] = {
        {0, 0, 0, "19700101000000.000000+000"},
        {1765053461, 123456, 0, "20251206203741.123456+000"},
        {1765053461, 0, 60, "20251206213741.000000+060"},
        {1765053461, 0, -300, "20251206153741.000000-300"},
        {1765053461, 0, 330, "20251207020741.000000+330"},  // the date moves forward
        {951782400, 0, 0, "20000229000000.000000+000"},     // a leap day
        {-86400, 0, 0, "19691231000000.000000+000"},
        {1765053461, 999999, 1440, "20251207203741.999999+440"},    // offsets keep 3 digits
        {1765053461, -5, 0, "20251206203741.-00005+000"},           // as the C library pads it
        {-62167219200 - 86400, 0, 0, "00001231000000.000000+000"},  // years stop at 0
        {253402300800, 7, 0, "99990101000000.000007+000"},          // and at 9999
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kvwin::ToUtf8(kvwmi::FormatCimDateTime(c.seconds, c.micros, c.offset)), c.text);
    }
}

TEST(CimDateTime, DmiDates) {
    EXPECT_EQ(kvwin::ToUtf8(kvwmi::CimDateFromDmiDate("11/23/2021").value()),
              "20211123000000.000000+000");
    for (const char* bad : {"", "2021-11-23", "13/01/2021", "02/30/2021", "11/23/2021x"})
        EXPECT_EQ(kvwmi::CimDateFromDmiDate(bad), std::nullopt) << bad;
}

}  // namespace
