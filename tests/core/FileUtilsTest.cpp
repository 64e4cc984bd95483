#include "FileUtils.h"
#include "Cipher.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

TEST(FileUtils, TextFilesEndEveryLineWithALineFeed)
{
    CTempDir dir;
    std::string text;
    WriteFileText(dir.File("crlf.txt"), "one\r\ntwo\r\nthree");
    ASSERT_TRUE(CFileUtils::LoadAllTxtFile(dir.File("crlf.txt"), text));
    EXPECT_EQ(text, "one\ntwo\nthree\n");

    WriteFileText(dir.File("bom.txt"), "\xEF\xBB\xBFпривет\n");
    ASSERT_TRUE(CFileUtils::LoadAllUTF8TxtFile(dir.File("bom.txt"), text));
    EXPECT_EQ(text, "\xEF\xBB\xBFпривет\n") << "the byte-order mark stays";

    WriteFileText(dir.File("empty.txt"), "");
    ASSERT_TRUE(CFileUtils::LoadAllTxtFile(dir.File("empty.txt"), text));
    EXPECT_EQ(text, "");

    CLogCapture log;
    EXPECT_FALSE(CFileUtils::LoadAllTxtFile(dir.File("none.txt"), text));
    EXPECT_TRUE(log.Contains("CFileUtils::LoadAllTxtFile can't open file " + dir.File("none.txt")));
    EXPECT_FALSE(CFileUtils::LoadAllTxtFile(dir.Path(), text)) << "a folder is not a file";
}

TEST(FileUtils, BinaryFilesAndAtomicSaves)
{
    CTempDir dir;
    const CByteArray bytes = {0, 1, 2, 0xFF, '\r', '\n', 0};
    ASSERT_TRUE(CFileUtils::SaveBinFile(dir.File("b.bin"), bytes));
    CByteArray read;
    ASSERT_TRUE(CFileUtils::LoadAllBinFile(dir.File("b.bin"), read));
    EXPECT_EQ(read, bytes);

    ASSERT_TRUE(CFileUtils::SaveFileAtomically(dir.File("sub/dir/user.xml"), "<a/>", 0600));
    EXPECT_EQ(ReadFileText(dir.File("sub/dir/user.xml")), "<a/>");
    ASSERT_TRUE(CFileUtils::SaveFileAtomically(dir.File("sub/dir/user.xml"), "<b/>", 0600));
    EXPECT_EQ(ReadFileText(dir.File("sub/dir/user.xml")), "<b/>");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(dir.File("sub/dir/user.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // An unwritable folder: the save fails, says so, and the old file stays.
    ASSERT_EQ(::chmod(dir.File("sub/dir").c_str(), 0500), 0);
    if (::geteuid() != 0)
    {
        EXPECT_FALSE(CFileUtils::SaveFileAtomically(dir.File("sub/dir/user.xml"), "<c/>"));
        EXPECT_EQ(ReadFileText(dir.File("sub/dir/user.xml")), "<b/>");
    }
    ::chmod(dir.File("sub/dir").c_str(), 0700);

    ASSERT_TRUE(CFileUtils::CreateEmptyFile(dir.File("b.bin")));
    ASSERT_TRUE(CFileUtils::LoadAllBinFile(dir.File("b.bin"), read));
    EXPECT_TRUE(read.empty());
}

TEST(FileUtils, CopyDecryptAndMove)
{
    CTempDir dir;
    std::string plain;
    for (int i = 0; i < 10000; ++i)
        plain += static_cast<char>(i * 7);
    std::string enciphered = plain;
    CipherBuffer(reinterpret_cast<std::uint8_t*>(enciphered.data()), enciphered.size());
    WriteFileText(dir.File("page.dat"), enciphered);

    ASSERT_TRUE(CFileUtils::CopyFileAndDecrypt(dir.File("page.dat"), dir.File("out/a/page.html")));
    EXPECT_EQ(ReadFileText(dir.File("out/a/page.html")), plain) << "chunks of 4096 and a tail";
    ASSERT_TRUE(CFileUtils::CopyFileAndDecrypt(dir.File("out/a/page.html"), dir.File("again.dat")));
    EXPECT_EQ(ReadFileText(dir.File("again.dat")), enciphered) << "the cipher is its own inverse";

    WriteFileText(dir.File("zero.dat"), "");
    ASSERT_TRUE(CFileUtils::CopyFileAndDecrypt(dir.File("zero.dat"), dir.File("zero.html")));
    EXPECT_EQ(ReadFileText(dir.File("zero.html")), "");

    {
        CLogCapture log;
        WriteFileText(dir.File("target.html"), "keep me");
        EXPECT_FALSE(
            CFileUtils::CopyFileAndDecrypt(dir.File("missing.dat"), dir.File("target.html")));
        EXPECT_EQ(ReadFileText(dir.File("target.html")), "keep me");
        EXPECT_TRUE(log.Contains("File not found: " + dir.File("missing.dat")));
    }

    ASSERT_TRUE(CFileUtils::CopyFile(dir.File("page.dat"), dir.File("copy/page.dat")));
    EXPECT_EQ(ReadFileText(dir.File("copy/page.dat")), enciphered);

    WriteFileText(dir.File("old.txt"), "old");
    ASSERT_TRUE(CFileUtils::MoveFile(dir.File("copy/page.dat"), dir.File("old.txt")));
    EXPECT_EQ(ReadFileText(dir.File("old.txt")), enciphered);
    EXPECT_FALSE(CFileUtils::FileExists(dir.File("copy/page.dat")));
    CLogCapture log;
    EXPECT_FALSE(CFileUtils::MoveFile(dir.File("nothing"), dir.File("old.txt")));
    EXPECT_TRUE(log.Contains("Exception on CFileUtils::MoveFile: "));
}

TEST(FileUtils, NamesExtensionsAndAddresses)
{
    std::string file, anchor;
    EXPECT_TRUE(CFileUtils::ParseFileName("/a/b.html#s2#x", file, anchor));
    EXPECT_EQ(file, "/a/b.html");
    EXPECT_EQ(anchor, "s2#x");
    EXPECT_FALSE(CFileUtils::ParseFileName("/a/b.html", file, anchor));
    EXPECT_EQ(file, "/a/b.html");
    EXPECT_EQ(anchor, "");

    EXPECT_EQ(CFileUtils::GetFileExt("a.b.html"), ".html");
    EXPECT_EQ(CFileUtils::GetFileExt("README"), "");
    EXPECT_TRUE(CFileUtils::CheckExt("x.html", ".html"));
    EXPECT_FALSE(CFileUtils::CheckExt("x.html", ".htm"));
    EXPECT_FALSE(CFileUtils::CheckExt("x.htm.htm", ".htm")) << "the first occurrence counts";

    EXPECT_EQ(CFileUtils::NormalizePath("  /Docs\\A/./b/../Page.HTML/ "), "/docs/a/page.html");
    EXPECT_EQ(CFileUtils::NormalizePath("/ДОКУМЕНТЫ//Ёлка"), "/документы/ёлка");
    EXPECT_EQ(CFileUtils::GetContentRelativeAddress("/p/Content/Content/a\\b.html",
                                                    "/p/Content/Content/"),
              "/a/b.html");
    EXPECT_EQ(CFileUtils::GetContentRelativeAddress("ab", "/p/"), "ab") << "too short for a slash";
    EXPECT_EQ(CFileUtils::GetContentRelativeAddress("c:/x.html", "/p/"), "c:/x.html");
    EXPECT_EQ(CFileUtils::GetContentFilePath("/dir/page.html", "/p/Content/Content/"),
              "/p/Content/Content/dir/page.html");
    EXPECT_EQ(CFileUtils::GetContentFilePath("\\dir\\page.html", "/p/C"), "/p/C/dir/page.html");
}

TEST(FileUtils, FoldersAndListings)
{
    CTempDir dir;
    EXPECT_TRUE(CFileUtils::MakePathForFile("bare-name.txt")) << "no folder part, nothing created";
    ASSERT_TRUE(CFileUtils::MakePath(dir.Path() + "\\x\\\\y//z"));
    EXPECT_TRUE(CFileUtils::DirectoryExists(dir.File("x/y/z")));
    ASSERT_TRUE(CFileUtils::MakePathForFile(dir.File("p/q/file.txt")));
    EXPECT_TRUE(CFileUtils::DirectoryExists(dir.File("p/q")));
    WriteFileText(dir.File("blocker"), "");
    {
        CLogCapture log;
        EXPECT_FALSE(CFileUtils::MakePath(dir.File("blocker/sub")));
    }

    WriteFileText(dir.File("list/1.zip"), "");
    WriteFileText(dir.File("list/2.zip"), "");
    WriteFileText(dir.File("list/notes.txt"), "");
    std::vector<std::string> names;
    ASSERT_TRUE(CFileUtils::ReadDirectory(dir.File("list/*.zip"), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"1.zip", "2.zip"}));
    names.clear();
    ASSERT_TRUE(CFileUtils::ReadDirectory(dir.File("list/*"), names));
    EXPECT_EQ(names.size(), 5u) << "\".\" and \"..\" match \"*\"";
    EXPECT_FALSE(CFileUtils::ReadDirectory(dir.File("missing/*"), names));

    CLogCapture log;
    CFileUtils::RemoveFile(dir.File("list/1.zip"));
    EXPECT_FALSE(CFileUtils::FileExists(dir.File("list/1.zip")));
    CFileUtils::RemoveFile(dir.File("list/1.zip"));
    EXPECT_TRUE(log.Contains("CFileUtils::RemoveFile"));
}

TEST(FileUtils, FileOrResource)
{
    CTempDir dir;
    std::string text;
    // Not on disk: the built-in copy is found by the "/ui/" tail of the path.
    ASSERT_TRUE(
        CFileUtils::LoadTxtFileOrResource(dir.File("ui/templates/section_level3.tmpl"), text));
    EXPECT_NE(text.find("$(SECTION_NAME)"), std::string::npos);
    // On disk: the file wins.
    WriteFileText(dir.File("ui/templates/section_level3.tmpl"), "override $(ID)");
    ASSERT_TRUE(
        CFileUtils::LoadTxtFileOrResource(dir.File("ui/templates/section_level3.tmpl"), text));
    EXPECT_EQ(text, "override $(ID)\n");

    EXPECT_EQ(CFileUtils::GetResourceName("/opt/app/ui/top_panel.htm"), "UI\\TOP_PANEL.HTM");
    EXPECT_EQ(CFileUtils::GetResourceName("/opt/app/other.htm"), "\\OPT\\APP\\OTHER.HTM");
    // A folder named ui higher up does not hide the resources below the real one.
    EXPECT_EQ(CFileUtils::GetResourceName("/ui/app/ui/styles/dialog.css"),
              "UI\\STYLES\\DIALOG.CSS");
    CByteArray bytes;
    ASSERT_TRUE(CFileUtils::LoadBinFileOrResource("/ui/app/ui/images/devider.png", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "\x89PNG");

    CLogCapture log;
    EXPECT_FALSE(CFileUtils::LoadBinFileOrResource(dir.File("ui/images/none.png"), bytes));
    EXPECT_TRUE(log.Contains("CFileUtils::LoadResource FindResource error "));
}

TEST(FileUtils, LoginCharacters)
{
    EXPECT_FALSE(CFileUtils::ContainsRusLetters(""));
    EXPECT_FALSE(CFileUtils::ContainsRusLetters("user_01@mail.example"));
    EXPECT_FALSE(CFileUtils::ContainsRusLetters("a+b=c~"));
    EXPECT_TRUE(CFileUtils::ContainsRusLetters("user name")) << "a blank";
    EXPECT_TRUE(CFileUtils::ContainsRusLetters("пароль"));
    EXPECT_TRUE(CFileUtils::ContainsRusLetters("naïve")) << "a letter outside A-z";
    EXPECT_TRUE(CFileUtils::ContainsRusLetters("tab\there"));
}

TEST(FileUtils, CopyToDesktopUsesTheTitleAsAFileName)
{
    CTempDir dir;
    CScopedEnv documents("XDG_DOCUMENTS_DIR", dir.File("Docs"));
    WriteFileText(dir.File("form.xls"), "form");
    const std::string saved = CFileUtils::CopyToDesktop(dir.File("form.xls"), "Form 1.2");
    EXPECT_EQ(saved, dir.File("Docs/Калимор - формы и бланки/Form 1_2.xls"));
    EXPECT_EQ(ReadFileText(saved), "form");
    const std::string escaped = CFileUtils::CopyToDesktop(dir.File("form.xls"), "../../etc/x");
    EXPECT_EQ(escaped, dir.File("Docs/Калимор - формы и бланки/______etc_x.xls"));
    CLogCapture log;
    EXPECT_EQ(CFileUtils::CopyToDesktop(dir.File("none.xls"), "t"), "");
}
