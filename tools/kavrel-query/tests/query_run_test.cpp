// kavrel-query's pieces: options, documents in their encodings, naming failures.
#include <gtest/gtest.h>

#include <fstream>

#include "kvtest/test_env.h"
#include "query_run.h"

namespace {

TEST(QueryToolOptions, ReadsOptionsAndDocuments) {
    struct Case {
        std::vector<std::string> arguments;
        bool ok;
        std::vector<std::string> documents;
        bool inProcess, showLog, where;
    };
    const Case cases[] = {
        {{}, true, {"-"}, false, false, false},
        {{"--where"}, true, {}, false, false, true},
        {{"-i", "--log", "a.xml", "-", "b.xml"}, true, {"a.xml", "-", "b.xml"}, true, true, false},
        {{"--", "--odd-name.xml"}, true, {"--odd-name.xml"}, false, false, false},
        {{"--verbose"}, false, {}, false, false, false},
        {{"-", "-"}, false, {}, false, false, false},
    };
    for (const Case& c : cases) {
        QueryToolOptions options;
        std::string problem;
        ASSERT_EQ(ParseQueryToolOptions(c.arguments, options, problem), c.ok) << problem;
        if (!c.ok) {
            EXPECT_FALSE(problem.empty());
            continue;
        }
        EXPECT_EQ(options.documents, c.documents);
        EXPECT_EQ(options.inProcess, c.inProcess);
        EXPECT_EQ(options.showLog, c.showLog);
        EXPECT_EQ(options.where, c.where);
    }
}

TEST(QueryDocuments, AreReadInUtf8OrMarkedUtf16) {
    const std::string folder = kvtest::MakeTempFolder("documents");
    const std::pair<std::string, std::string> files[] = {
        {"plain.xml", "<q a=\"\xC3\xBC\"/>"},
        {"marked.xml", "\xEF\xBB\xBF<q a=\"\xC3\xBC\"/>"},
        {"wide.xml", std::string("\xFF\xFE<\0q\0 \0a\0=\0\"\0\xFC\0\"\0/\0>\0", 22)},
    };
    for (const auto& [name, bytes] : files) {
        std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
        std::u16string document;
        std::string problem;
        ASSERT_TRUE(ReadQueryDocument(folder + "/" + name, document, problem)) << problem;
        EXPECT_EQ(document, u"<q a=\"\u00FC\"/>") << name;
    }
    std::ofstream(folder + "/blank.xml") << " \n";
    std::u16string document;
    std::string problem;
    EXPECT_FALSE(ReadQueryDocument(folder + "/blank.xml", document, problem));
    EXPECT_NE(problem.find("is empty"), std::string::npos) << problem;
    EXPECT_FALSE(ReadQueryDocument(folder + "/missing.xml", document, problem));
    EXPECT_NE(problem.find("cannot read"), std::string::npos) << problem;
    EXPECT_NE(problem.find("No such file or directory"), std::string::npos) << problem;
}

TEST(QueryFailures, AreNamedByCodeNameAndText) {
    EXPECT_EQ(DescribeHResult(E_FAIL).rfind("0x80004005 E_FAIL (", 0), 0u)
        << DescribeHResult(E_FAIL);
    EXPECT_EQ(DescribeHResult(static_cast<HRESULT>(0x80041000)).substr(0, 10), "0x80041000");
}

}  // namespace
