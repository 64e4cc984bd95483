#include "KalimorHTMLayoutDataLoader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

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

    ASSERT_TRUE(
        loader.LoadImage("file://" + content.File("%D1%84%D0%BE%D1%80%D0%BC%D0%B0%201.png"), data));
    EXPECT_EQ(Text(data), "picture");
    EXPECT_TRUE(CKalimorHTMLayoutDataLoader::IsAbsoluteFileUrl("file:///x.png"));
    EXPECT_FALSE(CKalimorHTMLayoutDataLoader::IsAbsoluteFileUrl("x.png"));
    ASSERT_TRUE(loader.LoadImage("./x.png", data));
    EXPECT_EQ(Text(data), "relative");

    for (const char* url : {"../../secret.txt", "..%2F..%2Fsecret.txt", "a/../../../secret.txt",
                            "..\\..\\secret.txt", "x.png%00.htm", "/etc/passwd"})
    {
        EXPECT_FALSE(loader.LoadImage(url, data)) << url;
        EXPECT_FALSE(loader.LoadHtml(url, data)) << url;
    }
}
