// Query documents built to hurt, through the whole in-process road: a WQL filter nested far
// too deep is a failed query, on a host thread with a small stack.
#include <gtest/gtest.h>

#include <string>

#include "entry/query_driver.h"
#include "kvtest/com_support.h"
#include "kvtest/small_stack.h"
#include "win/oleauto.h"

namespace {

std::u16string Repeat(std::u16string_view piece, size_t count) {
    std::u16string text;
    for (size_t i = 0; i < count; ++i)
        text += piece;
    return text;
}

std::u16string Document(const std::u16string& where) {
    return u"<query namespace=\"root\\cimv2\" class=\"Win32_OperatingSystem\"><properties>"
           u"<property mapsTo=\"0\">Caption</property></properties><filter clause=\"where " +
           where + u"\"/></query>";
}

TEST(HostileDocuments, AFilterNestedTooDeepFailsTheQueryOnASmallStack) {
    ASSERT_TRUE(kvtest::RunOnSmallStack([] {
        kvtest::ScopedApartment apartment;
        for (const std::u16string& where :
             {Repeat(u"(", 30000) + u"Caption &lt;&gt; ''" + Repeat(u")", 30000),
              Repeat(u"NOT ", 100000) + u"Caption = ''"}) {
            BSTR result = nullptr;
            EXPECT_TRUE(FAILED(RunQueryDocument(Document(where).c_str(), &result)));
            EXPECT_EQ(result, nullptr);
            SysFreeString(result);
        }
        // Within the limit the same road answers.
        BSTR result = nullptr;
        EXPECT_EQ(
            RunQueryDocument(
                Document(Repeat(u"(", 50) + u"Caption &lt;&gt; ''" + Repeat(u")", 50)).c_str(),
                &result),
            S_OK);
        SysFreeString(result);
    }));
}

}  // namespace
