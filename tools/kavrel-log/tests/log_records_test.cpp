// Reading log files, damaged ones included.
#include <gtest/gtest.h>

#include <sstream>

#include "log_records.h"
#include "record_table.h"

namespace {

const std::string kRecord =
    "\r\n<event date='07/04/2023 09:05:03.0420000 -05:00' severity='2' hostName='h' "
    "source='C&lt;x&gt;' module='Kavrel.dll' process='keldrin.exe' pid='42' thread='7' "
    "tickCount='99' >\r\n  <![CDATA[line one\r\nx ]]&gt; y ]]&amp;gt;]]>\r\n</event>";

TEST(LogRecords, ReadsRecordsAndUndoesTheCDataEscapes) {
    const auto records = ParseLogText(kRecord + kRecord);
    ASSERT_EQ(records.size(), 2u);
    const LogRecord& r = records[0];
    ASSERT_TRUE(r.wellFormed) << r.problem;
    EXPECT_EQ(r.severity, 2u);
    EXPECT_EQ(r.source, "C<x>");
    EXPECT_EQ(r.process, "keldrin.exe");
    EXPECT_EQ(r.pid, 42u);
    EXPECT_EQ(r.message, "line one\nx ]]> y ]]&gt;");  // line ends as parsed: LF
    EXPECT_EQ(RecordTimeUtc(r.date), 1688479503);      // 14:05:03 UTC
}

TEST(LogRecords, DamageIsReportedPerRecordAndNeverStopsTheRest) {
    const std::string cut = kRecord.substr(0, 90);
    const std::string badXml = "<event date='x' severity='1' <<</event>";
    const auto records = ParseLogText("garbage" + cut + kRecord + badXml + kRecord);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_FALSE(records[0].wellFormed);
    EXPECT_EQ(records[0].problem, "text outside any event record");
    EXPECT_FALSE(records[1].wellFormed);
    EXPECT_EQ(records[1].problem, "record without its closing </event>");
    EXPECT_TRUE(records[2].wellFormed);
    EXPECT_FALSE(records[3].wellFormed);
    EXPECT_TRUE(records[4].wellFormed);
}

TEST(LogRecords, AnUnfinishedLastRecordIsPendingForAFollower) {
    std::string pending;
    const auto records = ParseLogText(kRecord + kRecord.substr(0, 50), &pending);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(pending, kRecord.substr(2, 48));
}

TEST(RecordTable, FiltersAndShowsContinuationLines) {
    const LogRecord r = ParseLogText(kRecord)[0];
    RecordFilter filter;
    filter.severities = {1};
    EXPECT_FALSE(filter.Accepts(r));
    filter.severities = {*ParseSeverityName("warning")};
    filter.source = "c<X";
    filter.process = "KELDRIN.EXE";
    filter.since = 1688479503;
    EXPECT_TRUE(filter.Accepts(r));
    filter.since = 1688479504;
    EXPECT_FALSE(filter.Accepts(r));

    std::ostringstream out;
    PrintRecord(out, r);
    EXPECT_EQ(out.str(),
              "07/04/2023 09:05:03 -05:00  warning  keldrin.exe:42        C<x>  line one\n"
              "    | x ]]> y ]]&gt;\n");
}

}  // namespace
