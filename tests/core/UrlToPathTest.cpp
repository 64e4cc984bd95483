#include "UrlToPath.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(PercentDecoding, DecodesOnlyTheEscapesPagesNeed)
{
    EXPECT_EQ(PercentDecodeUrl("%D0%90"), "А");
    EXPECT_EQ(PercentDecodeUrl("a%20b"), "a b");
    EXPECT_EQ(PercentDecodeUrl("%41"), "%41") << "plain letters stay escaped";
    EXPECT_EQ(PercentDecodeUrl("%d0%b0%D0%B1"), "аб");
    EXPECT_EQ(PercentDecodeUrl("%2F%3a%7e%5B%25"), "/:~[%25")
        << "%25 is neither unsafe nor reserved";
    EXPECT_EQ(PercentDecodeUrl("%0A%1E%1F%7F"), std::string("\n\x1E%1F\x7F"));
    EXPECT_EQ(PercentDecodeUrl("%%41%"), "%%41%");
    EXPECT_EQ(PercentDecodeUrl("%zz%4"), "%zz%4");
    EXPECT_EQ(PercentDecodeUrl("%D0"), "%D0") << "half a pair";
    EXPECT_EQ(PercentDecodeUrl("%41%42"), "%41%42") << "not a two-byte UTF-8 pair";
    EXPECT_EQ(PercentDecodeUrl("%252F"), "%252F") << "no double decoding";
    EXPECT_EQ(PercentDecodeUrl("x%D1%8F%20y.png"), "xя y.png");
}

TEST(UrlToPath, FileUrlsBecomeLocalPaths)
{
    std::string path;
    ASSERT_TRUE(UrlToPath("devider.png", path));
    EXPECT_EQ(path, "devider.png");
    ASSERT_TRUE(UrlToPath("FILE:///home/u/%D0%BA%D0%B0%D1%80%D1%82%D0%B0%20x.png", path));
    EXPECT_EQ(path, "/home/u/карта x.png");
    ASSERT_TRUE(UrlToPath("file://localhost/a%41\\b.png", path));
    EXPECT_EQ(path, "/aA/b.png") << "the conversion decodes the rest and uses /";

    CLogCapture log;
    EXPECT_FALSE(UrlToPath("file://server/share/x.png", path));
    EXPECT_FALSE(UrlToPath("file:///a%00b.png", path)) << "a zero byte has no path";
    EXPECT_TRUE(log.Contains("UrlToPath PathCreateFromUrl failed"));
}
