// The record text other agent components read: exact bytes, escaping, dates, levels.
#include <gtest/gtest.h>

#include <cstdlib>

#include "kvwin/wide_string.h"
#include "log/agent_log.h"
#include "log/event_record.h"
#include "log/severity.h"

namespace {

const RecordOrigin kOrigin{TEXT("host1"), TEXT("Kavrel.dll"), TEXT("keldrin.exe"), 42, 7, 1234};

std::string Record(const WString& source, const WString& message, uint32_t level = 4) {
    std::string record;
    WString sourceCopy, messageCopy;
    ComposeEventRecord(record, "07/04/2023 09:05:03.0420000 -05:00", level, kOrigin,
                       EncodeRecordIdentity(kOrigin), source, message, sourceCopy, messageCopy);
    return record;
}

TEST(EventRecord, ExactTextWithLineFeedsCDataEndAndEscapedSource) {
    EXPECT_EQ(Record(TEXT("C<x>::'y'"), TEXT("a\nb\r\nc ]]> d")),
              "\r\n<event date='07/04/2023 09:05:03.0420000 -05:00' severity='4' "
              "hostName='host1' source='C&lt;x&gt;::&apos;y&apos;' module='Kavrel.dll' "
              "process='keldrin.exe' pid='42' thread='7' tickCount='1234' >\r\n"
              "  <![CDATA[a\r\nb\r\nc ]]&gt; d]]>\r\n</event>");
}

TEST(EventRecord, LoneCarriageReturnsStayAndAmpersandAfterBracketsIsEscaped) {
    const std::string record = Record(TEXT("s&t"), TEXT("x\ry]]&gt;"));
    EXPECT_NE(record.find("source='s&amp;t'"), std::string::npos);
    EXPECT_NE(record.find("<![CDATA[x\ry]]&amp;gt;]]>"), std::string::npos);
}

TEST(EventRecord, TextBeyondAsciiIsUtf8WhateverItsLengthAndLoneSurrogatesAreReplaced) {
    // Runs of ASCII and of other characters alternate; a long run (one unit, then pairs, so
    // a piece of an even length would end inside a pair) is converted in pieces that never
    // split a surrogate pair.
    WString longRun;
    for (int i = 0; i < 40000; ++i)
        longRun += TEXT("\U0001F600");
    const std::string record =
        Record(TEXT("S\u00e9"), TEXT("caf\u00e9 \u20ac\xD800!\u00e9") + longRun + TEXT("end"));
    EXPECT_NE(record.find("source='S\xC3\xA9'"), std::string::npos);
    EXPECT_NE(record.find("caf\xC3\xA9 \xE2\x82\xAC\xEF\xBF\xBD!\xC3\xA9\xF0\x9F\x98\x80"),
              std::string::npos);
    EXPECT_EQ(record.find("\xEF\xBF\xBD", record.find("\xEF\xBF\xBD!") + 4), std::string::npos)
        << "a pair split between two pieces";
    EXPECT_NE(record.find("\x80"
                          "end]]>"),
              std::string::npos);
    EXPECT_EQ(record.size(),
              std::string("<![CDATA[").size() + record.find("<![CDATA[") +
                  std::string("caf\xC3\xA9 \xE2\x82\xAC\xEF\xBF\xBD!\xC3\xA9").size() + 4 * 40000 +
                  std::string("end]]>\r\n</event>").size());
}

TEST(EventRecord, AsciiCopiedInBlocksStopsAtTheFirstOtherCharacterWhereverItIs) {
    // ASCII goes eight units at a time: a character beyond it at any place of a block, or
    // in the tail after the last whole block, is converted all the same.
    for (size_t at = 0; at < 19; ++at) {
        WString message(19, TEXT('a'));
        message[at] = TEXT('\u00e9');
        std::string expected(19, 'a');
        expected.replace(at, 1, "\xC3\xA9");
        const std::string record = Record(TEXT("S"), message);
        EXPECT_NE(record.find("<![CDATA[" + expected + "]]>"), std::string::npos) << at;
    }
}

TEST(EventRecord, LineFeedsAndSectionEndsAreFoundAtEveryPlace) {
    // The message is searched four units at a time: what must change is found wherever it
    // falls, across the edge of a group too.
    for (size_t at = 0; at < 9; ++at) {
        const WString before(at, TEXT('a'));
        const std::string ascii(at, 'a');
        EXPECT_NE(Record(TEXT("S"), before + TEXT("]]>bcdefgh")).find(ascii + "]]&gt;bcdefgh]]>"),
                  std::string::npos)
            << at;
        EXPECT_NE(Record(TEXT("S"), before + TEXT("\nbcdefgh")).find(ascii + "\r\nbcdefgh]]>"),
                  std::string::npos)
            << at;
    }
}

TEST(EventRecord, TheCallersTextsAreLeftAsTheyWere) {
    const WString source = TEXT("a<b");
    const WString message = TEXT("x\ny]]>");
    const std::string record = Record(source, message);
    EXPECT_NE(record.find("source='a&lt;b'"), std::string::npos);
    EXPECT_NE(record.find("<![CDATA[x\r\ny]]&gt;]]>"), std::string::npos);
    EXPECT_EQ(source, TEXT("a<b"));
    EXPECT_EQ(message, TEXT("x\ny]]>"));
    // A lone "]" and a "\r\n" need no copy, and are written as they are.
    EXPECT_NE(Record(TEXT("S"), TEXT("a]b\r\nc")).find("<![CDATA[a]b\r\nc]]>"), std::string::npos);
}

TEST(EventRecord, HeaderHasNoLeadingBreakAndFailsOnWideCharacters) {
    std::string header;
    ASSERT_TRUE(ComposeHeaderRecord(header, TEXT("D"), kOrigin, TEXT("Agent 1.0 <raw>\n")));
    EXPECT_EQ(header,
              "<event date='D' severity='32' hostName='host1' source='Log File Start' "
              "module='Kavrel.dll' process='keldrin.exe' pid='42' thread='7' "
              "tickCount='1234'>\r\n <![CDATA[Agent 1.0 <raw>\n]]>\r\n</event>");
    EXPECT_TRUE(ComposeHeaderRecord(header, TEXT("D"), kOrigin, TEXT("caf\u00e9")));
    EXPECT_EQ(header.find("caf\xe9"), header.find("caf"));
    EXPECT_FALSE(ComposeHeaderRecord(header, TEXT("D"), kOrigin, TEXT("\u20ac")));
    EXPECT_FALSE(ComposeHeaderRecord(header, TEXT("D"), kOrigin, WString(2300, TEXT('x'))));
    EXPECT_TRUE(header.empty());
}

TEST(LogDate, OffsetSignHoursAndMinutes) {
    const SYSTEMTIME t{2023, 7, 2, 4, 9, 5, 3, 42};
    EXPECT_EQ(FormatLogDate(t, 300), TEXT("07/04/2023 09:05:03.0420000 -05:00"));
    EXPECT_EQ(FormatLogDate(t, 0), TEXT("07/04/2023 09:05:03.0420000 +00:00"));
    EXPECT_EQ(FormatLogDate(t, -330), TEXT("07/04/2023 09:05:03.0420000 +05:30"));
}

TEST(LogDate, BiasFollowsTheZoneInForce) {
    // Five and a half hours ahead, no daylight time.
    setenv("TZ", "IST-5:30", 1);
    EXPECT_EQ(CurrentUtcBias(), -330);
    // Three hours behind with daylight time all year: bias 180 - 60.
    setenv("TZ", "<-03>3<-02>,0/0,J365/25", 1);
    EXPECT_EQ(CurrentUtcBias(), 120);
    unsetenv("TZ");
}

TEST(Severity, LevelsAreClampedAndModesApplied) {
    EXPECT_EQ(ResolveSeverity(0, kNoLogOverride).level, 1u);
    EXPECT_EQ(ResolveSeverity(3, kNoLogOverride).level, 3u);
    EXPECT_EQ(ResolveSeverity(64, kNoLogOverride).level, 32u);
    EXPECT_EQ(ResolveSeverity(LogError | LogModeTrace, kNoLogOverride).level, 8u);
    EXPECT_EQ(ResolveSeverity(LogError | LogModeErrorAsInformation, kNoLogOverride).level, 4u);
    EXPECT_EQ(ResolveSeverity(LogWarning | LogModeErrorAsInformation, kNoLogOverride).level, 2u);
    EXPECT_EQ(ResolveSeverity(LogWarning | LogToConsole, kNoLogOverride).flags, LogToConsole);
    EXPECT_STREQ(reinterpret_cast<const char*>(SeverityTag(3)),
                 reinterpret_cast<const char*>(TEXT("?UNKN")));
    EXPECT_EQ(WString(SeverityTag(4)), TEXT(" INFO"));
}

TEST(Severity, OverrideReplacesFlagsAndModeAndAddsLevels) {
    const ResolvedSeverity r = ResolveSeverity(LogError | LogToConsole, 0x01100008);
    EXPECT_EQ(r.level, 8u);  // mode 1 from the override
    EXPECT_EQ(r.flags, LogToInstallLog);
    EXPECT_EQ(r.extraMask, 8u);
    EXPECT_EQ(ResolveSeverity(LogTrace, 0x00000000).flags, 0u);
}

TEST(Severity, OverrideTextParsesAsOneHexFieldAndIsMasked) {
    EXPECT_EQ(ParseLogOverride(TEXT("00000008")), 8u);
    EXPECT_EQ(ParseLogOverride(TEXT("FFFFFFFF")), 0x0FF000FFu);
    EXPECT_EQ(ParseLogOverride(TEXT("  1000000zz")), 0x01000000u);
    EXPECT_EQ(ParseLogOverride(TEXT("123456789")), 0x02300078u);  // eight digits at most
    EXPECT_EQ(ParseLogOverride(TEXT("zz")), kNoLogOverride);
    EXPECT_EQ(ParseLogOverride(TEXT("")), kNoLogOverride);
}

}  // namespace
