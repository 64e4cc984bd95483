#include "KalimorHTMLayoutDataLoader.h"
#include "TestSupport.h"
#include "UrlToPath.h"

#include <gtest/gtest.h>

TEST(PercentDecoding, DecodesOnlyTheEscapesPagesNeed)
{
    EXPECT_EQ(PercentDecodeUrl("%D0%90"), "А");
    EXPECT_EQ(PercentDecodeUrl("a%20b"), "a b");
    EXPECT_EQ(PercentDecodeUrl("%41"), "%41") << "plain letters stay escaped";
    EXPECT_EQ(PercentDecodeUrl("%d0%b0%D0%B1"), "аб");
    EXPECT_EQ(PercentDecodeUrl("%2F%3a%7e%5B%25"), "/:~[%25") << "%25 is neither unsafe nor reserved";
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

namespace
{
std::string Text(const CByteArray& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
} // namespace

TEST(ResourceLoader, FilesBesideTheProgramOverrideTheBuiltInCopies)
{
    CTempDir app;
    const CResourceConfig config(app.Path());
    CKalimorHTMLayoutDataLoader loader(config);
    CByteArray data;

    ASSERT_TRUE(loader.LoadImage("devider.png", data));
    EXPECT_EQ(Text(data).substr(1, 3), "PNG");
    ASSERT_TRUE(loader.LoadStyle("dialog.css", data));
    EXPECT_NE(Text(data).find(".dialog_title"), std::string::npos);

    WriteFileText(app.File("ui/images/devider.png"), "mine");
    WriteFileText(app.File("ui/styles/dialog.css"), "body{}");
    WriteFileText(app.File("ui/dialog_title.htm"), "<div>title</div>");
    ASSERT_TRUE(loader.LoadImage("devider.png", data));
    EXPECT_EQ(Text(data), "mine");
    ASSERT_TRUE(loader.LoadStyle("dialog.css", data));
    EXPECT_EQ(Text(data), "body{}");
    ASSERT_TRUE(loader.LoadHtml("dialog_title.htm", data));
    EXPECT_EQ(Text(data), "<div>title</div>");
    EXPECT_EQ(config.GetSectionLevel2TemplatePath(), app.File("ui/templates/section_level2.tmpl"));

    EXPECT_FALSE(loader.LoadCursor("arrow.cur", data));
    EXPECT_FALSE(loader.LoadScript("x.js", data));
    CLogCapture log;
    EXPECT_FALSE(loader.LoadImage("nothing.png", data));
    EXPECT_TRUE(log.Contains("CFileUtils::LoadResource FindResource error "));
}

TEST(ResourceLoader, AbsoluteFileUrlsAndPathsThatLeaveTheFolder)
{
    CTempDir app;
    CTempDir content;
    const CResourceConfig config(app.Path());
    CKalimorHTMLayoutDataLoader loader(config);
    WriteFileText(content.File("форма 1.png"), "picture");
    WriteFileText(app.File("secret.txt"), "secret");
    WriteFileText(app.File("ui/images/x.png"), "relative");
    CByteArray data;

    ASSERT_TRUE(loader.LoadImage("file://" + content.File("%D1%84%D0%BE%D1%80%D0%BC%D0%B0%201.png"),
                                 data));
    EXPECT_EQ(Text(data), "picture");
    EXPECT_TRUE(CKalimorHTMLayoutDataLoader::IsAbsoluteFileUrl("file:///x.png"));
    EXPECT_FALSE(CKalimorHTMLayoutDataLoader::IsAbsoluteFileUrl("x.png"));
    ASSERT_TRUE(loader.LoadImage("./x.png", data));
    EXPECT_EQ(Text(data), "relative");

    CLogCapture log;
    for (const char* url : {"../../secret.txt", "..%2F..%2Fsecret.txt", "a/../../../secret.txt",
                            "..\\..\\secret.txt", "x.png%00.htm", "/etc/passwd"})
    {
        EXPECT_FALSE(loader.LoadImage(url, data)) << url;
        EXPECT_FALSE(loader.LoadHtml(url, data)) << url;
    }
    EXPECT_TRUE(log.Contains("CKalimorHTMLayoutDataLoader::LoadData refused"));
}
