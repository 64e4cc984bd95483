#include "UpdateProcess.h"
#include "Cipher.h"
#include "ContentSwap.h"
#include "FileUtils.h"
#include "FolderInstall.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
std::string Deciphered(const std::string& strPath)
{
    std::string text = ReadFileText(strPath);
    CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    return text;
}

// Every file under a folder, relative to it.
std::vector<std::string> FilesUnder(const std::string& strFolder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strFolder))
        if (!entry.is_directory())
            files.push_back(std::filesystem::relative(entry.path(), strFolder).string());
    std::sort(files.begin(), files.end());
    return files;
}

class UpdateProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strContent = m_dir.File("profile/Content/");
        std::filesystem::create_directories(m_strContent);
        m_target = {m_strContent, m_strContent + "Content/online/styles/style.css.win",
                    m_strContent + "Content/online/styles/style.css"};
    }

    bool Unpack(const CZipBuilder& zip, bool bDeleteAfter = false, const CUnpackLimits& limits = {},
                std::vector<unsigned>* pProgress = nullptr)
    {
        CUnpackJob job;
        job.m_strZipPath = m_dir.File("package.zip");
        EXPECT_TRUE(zip.Write(job.m_strZipPath));
        job.m_bDeleteAfter = bDeleteAfter;
        job.m_limits = limits;
        return CUpdateProcess::Process(m_target, job, [&](unsigned n) {
            if (pProgress)
                pProgress->push_back(n);
        });
    }

    CTempDir m_dir;
    std::string m_strContent;
    CUnpackTarget m_target;
};
} // namespace

TEST_F(UpdateProcessTest, PagesAreEncipheredAsDatAndOtherFilesKeptAsTheyAre)
{
    CZipBuilder zip;
    zip.Add("Content/docs/a.html", "<html>страница</html>");
    zip.Add("/encyclopedia.xml", "<catalogue/>");
    zip.Add("Content\\images\\b.png", "\x89PNG-bytes");
    zip.Add("Content/docs/", "");
    zip.Add("\xCD\xEE\xE2\xEE\xF1\xF2\xE8.txt", "windows name",
            false); // "Новости.txt" in Windows-1251
    zip.Add("Content/online/styles/style.css.win", "body{}");
    std::vector<unsigned> progress;
    ASSERT_TRUE(Unpack(zip, true, {}, &progress));

    EXPECT_EQ(Deciphered(m_strContent + "Content/docs/a.dat"), "<html>страница</html>");
    EXPECT_EQ(Deciphered(m_strContent + "encyclopedia.dat"), "<catalogue/>");
    EXPECT_EQ(ReadFileText(m_strContent + "Content/images/b.png"), "\x89PNG-bytes");
    EXPECT_EQ(ReadFileText(m_strContent + "Новости.txt"), "windows name");
    EXPECT_EQ(ReadFileText(m_strContent + "Content/online/styles/style.css"), "body{}")
        << "the Windows style sheet is moved over the one in use";
    EXPECT_FALSE(CFileUtils::FileExists(m_target.m_strStyleSheetSourcePath));
    EXPECT_FALSE(CFileUtils::FileExists(m_dir.File("package.zip"))) << "deleted once installed";
    EXPECT_EQ(progress, (std::vector<unsigned>{0, 16, 33, 50, 66, 83}));
    for (const auto& file : FilesUnder(m_strContent))
        EXPECT_EQ(file.find(".kalimor-unpack"), std::string::npos) << file;
}

TEST_F(UpdateProcessTest, RemovalListRemovesNamedFilesButNothingOutside)
{
    WriteFileText(m_strContent + "old/one.dat", "1");
    WriteFileText(m_strContent + "old/two.png", "2");
    WriteFileText(m_dir.File("profile/bookmarks.xml"), "mine");
    CZipBuilder zip;
    zip.Add("new.html", "n");
    zip.Add("remove.files", "old/one.dat\r\n\\old\\two.png\n../bookmarks.xml\nmissing.dat\n");
    ASSERT_TRUE(Unpack(zip));
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "old/one.dat"));
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "old/two.png"));
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "remove.files"))
        << "the list itself goes too";
    EXPECT_TRUE(CFileUtils::FileExists(m_strContent + "new.dat"));
    EXPECT_EQ(ReadFileText(m_dir.File("profile/bookmarks.xml")), "mine");
    EXPECT_TRUE(CFileUtils::FileExists(m_dir.File("package.zip")))
        << "kept: this run was not told to delete it";
}

TEST_F(UpdateProcessTest, EntriesThatWouldLeaveTheContentFolderFailThePackage)
{
    WriteFileText(m_strContent + "keep.dat", "installed");
    struct CCase
    {
        std::string m_strName;
        bool m_bLink = false;
    };
    const CCase cases[] = {
        {"../outside.txt"},
        {"Content/../../outside.txt"},
        {"//etc/outside.txt"},
        {"C:/outside.txt"},
        {"c:\\outside.txt"},
        {"Content/CON.html"},
        {"lpt1"},
        {"link", true},
    };
    for (const auto& test : cases)
    {
        CZipBuilder zip;
        zip.Add("first.txt", "written before the bad entry");
        if (test.m_bLink)
            zip.AddSymlink(test.m_strName, "/etc");
        else
            zip.Add(test.m_strName, "evil");
        zip.Add("after.txt", "never written");
        EXPECT_FALSE(Unpack(zip, true)) << test.m_strName;
        EXPECT_FALSE(CFileUtils::FileExists(m_dir.File("package.zip")))
            << "a failed package is removed";
    }
    // The package went in whole or not at all: not even its first entry, and
    // nothing anywhere else (no staging folder left).
    EXPECT_EQ(FilesUnder(m_dir.Path()), (std::vector<std::string>{"profile/Content/keep.dat"}));
}

TEST_F(UpdateProcessTest, ASymbolicLinkInsideTheContentIsNotFollowed)
{
    std::filesystem::create_directories(m_dir.File("elsewhere"));
    std::filesystem::create_directory_symlink(m_dir.File("elsewhere"), m_strContent + "docs");
    CZipBuilder zip;
    zip.Add("docs/a.html", "x");
    EXPECT_FALSE(Unpack(zip));
    EXPECT_TRUE(FilesUnder(m_dir.File("elsewhere")).empty());
}

TEST_F(UpdateProcessTest, CorruptAndTruncatedArchivesFailWithTheirMessages)
{
    CLogCapture log(1);
    CUnpackJob job;
    job.m_strZipPath = m_dir.File("missing.zip");
    EXPECT_FALSE(CUpdateProcess::Process(m_target, job, nullptr));
    EXPECT_TRUE(log.Contains("Cannot open zip file " + job.m_strZipPath));

    job.m_strZipPath = m_dir.File("garbage.zip");
    WriteFileText(job.m_strZipPath, std::string(5000, 'g'));
    EXPECT_FALSE(CUpdateProcess::Process(m_target, job, nullptr));
    EXPECT_TRUE(log.Contains("Cannot open zip file " + job.m_strZipPath));

    // An archive cut short has lost its directory at the end.
    CZipBuilder big;
    big.Add("a.html", std::string(100000, 'a'));
    std::string bytes = big.Bytes();
    job.m_strZipPath = m_dir.File("cut.zip");
    WriteFileText(job.m_strZipPath, bytes.substr(0, bytes.size() / 2));
    EXPECT_FALSE(CUpdateProcess::Process(m_target, job, nullptr));
    EXPECT_TRUE(log.Contains("Cannot open zip file " + job.m_strZipPath));

    // A damaged entry: the package is refused whole, the entry before it
    // included, and no half-written file is left behind.
    WriteFileText(m_strContent + "b.dat", "old b");
    std::string noise(60000, '\0');
    std::uint32_t nSeed = 12345;
    for (char& c : noise)
        c = static_cast<char>((nSeed = nSeed * 1103515245 + 12345) >> 24);
    CZipBuilder two;
    two.Add("a.txt", "first");
    two.Add("b.html", noise);
    bytes = two.Bytes();
    // The middle of the archive lies in b's compressed bytes.
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x55);
    job.m_strZipPath = m_dir.File("damaged.zip");
    job.m_bDeleteAfter = true;
    WriteFileText(job.m_strZipPath, bytes);
    EXPECT_FALSE(CUpdateProcess::Process(m_target, job, nullptr));
    EXPECT_TRUE(log.Contains("Cannot unzip file " + CContentSwap::StagingPathFor(m_strContent) +
                             "/b.dat from " + job.m_strZipPath))
        << log.Text();
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "a.txt"));
    EXPECT_TRUE(ReadFileText(m_strContent + "b.dat") == "old b")
        << "the installed file stays whole";
    EXPECT_FALSE(CFileUtils::FileExists(job.m_strZipPath));
    EXPECT_EQ(FilesUnder(m_dir.File("profile")), (std::vector<std::string>{"Content/b.dat"}));
}

TEST_F(UpdateProcessTest, AZipBombIsStopped)
{
    CZipBuilder ratio;
    ratio.Add("zeros.bin", std::string(8 << 20, '\0'));
    EXPECT_FALSE(Unpack(ratio));
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "zeros.bin"));

    CUnpackLimits limits;
    limits.m_nMaxTotalBytes = 150000;
    CZipBuilder total;
    total.Add("one.txt", std::string(100000, 'x'));
    total.Add("two.txt", std::string(100000, 'y'));
    EXPECT_FALSE(Unpack(total, false, limits));
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "two.txt"));

    limits = {};
    limits.m_nMaxEntries = 2;
    CZipBuilder many;
    for (int n = 0; n < 3; ++n)
        many.Add("f" + std::to_string(n), "x");
    EXPECT_FALSE(Unpack(many, false, limits));
    EXPECT_FALSE(CFileUtils::FileExists(m_strContent + "f0"));
}

TEST(PackageEntry, NamesAreMadeRelativeOrRefused)
{
    std::string strName, strReason;
    const std::pair<const char*, const char*> accepted[] = {
        {"/docs/a.html", "docs/a.html"},
        {"\\docs\\a.html", "docs/a.html"},
        {"a\\b\\c", "a/b/c"},
        {"docs//./a.png", "docs/a.png"},
        {"docs/", "docs/"},
        {"console.txt", "console.txt"},
        {"Новости/файл.xml", "Новости/файл.xml"},
    };
    for (const auto& [szRaw, szName] : accepted)
    {
        EXPECT_TRUE(CPackageEntry::NormalizeName(szRaw, strName, strReason))
            << szRaw << ": " << strReason;
        EXPECT_EQ(strName, szName);
    }
    const std::pair<const char*, const char*> refused[] = {
        {"..", "a parent folder"},
        {"a/../../b", "a parent folder"},
        {"Content/../../outside.txt", "a parent folder"},
        {"//x", "an absolute path"},
        {"/\\x", "an absolute path"},
        {"D:x", "a drive or stream name"},
        {"c:\\outside.txt", "a drive or stream name"},
        {"a/b:stream", "a drive or stream name"},
        {"nul.txt", "a device name"},
        {"COM9", "a device name"},
        {"Content/CON.html", "a device name"},
        {"a\tb", "a control character"},
    };
    for (const auto& [szRaw, szReason] : refused)
    {
        EXPECT_FALSE(CPackageEntry::NormalizeName(szRaw, strName, strReason)) << szRaw;
        EXPECT_EQ(strReason, szReason) << szRaw;
    }

    bool bEncipher = false;
    EXPECT_EQ(CPackageEntry::GetInstalledName("a/b.html", bEncipher), "a/b.dat");
    EXPECT_TRUE(bEncipher);
    EXPECT_EQ(CPackageEntry::GetInstalledName("b.xml", bEncipher), "b.dat");
    EXPECT_EQ(CPackageEntry::GetInstalledName("b.htm", bEncipher), "b.htm");
    EXPECT_FALSE(bEncipher);
    EXPECT_TRUE(CPackageEntry::IsRemovalList("remove.files"));
    EXPECT_FALSE(CPackageEntry::IsRemovalList("docs/remove.files"));
}

namespace
{
class FolderInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_config.LoadSettings();
        m_profile.LoadSettings(m_dir.File("profile"));
        std::filesystem::create_directories(m_dir.File("packages"));
    }
    void WritePackage(int nVersion, const std::string& strName, const std::string& strText)
    {
        CZipBuilder zip;
        zip.Add("pages/" + strName + ".html", strText);
        zip.Add("version.txt", std::to_string(nVersion));
        ASSERT_TRUE(zip.Write(m_dir.File("packages/" + std::to_string(nVersion) + ".zip")));
    }

    CTempDir m_dir;
    CScopedEnv m_config_home{"XDG_CONFIG_HOME", m_dir.File("config")};
    CRegistryConfig m_config;
    CProfileConfig m_profile;
};
} // namespace

TEST_F(FolderInstallTest, PackagesAreInstalledByNumberAndEachVersionIsSaved)
{
    // Written out of order, so the folder does not list them 1, 2, 3.
    WritePackage(3, "c", "third");
    WritePackage(1, "a", "first");
    WritePackage(2, "a", "second");
    WriteFileText(m_dir.File("packages/0.zip"), "not a package");
    WriteFileText(m_dir.File("packages/notes.zip"), "not a package");
    WriteFileText(m_dir.File("packages/4.zip.part"), "not a package");
    CLogCapture log(3);
    // Progress counts the bytes of the packages, one stage each.
    std::vector<std::string> stages;
    std::uint64_t nDone = 0, nTotal = 0;
    bool bBackwards = false;
    const ProgressFn progress = [&](const CProgress& p) {
        if (stages.empty() || stages.back() != p.m_stage)
            stages.emplace_back(p.m_stage);
        bBackwards = bBackwards || p.m_nDone < nDone || p.m_unit != "B";
        nDone = p.m_nDone;
        nTotal = p.m_nTotal;
    };
    ASSERT_TRUE(
        CFolderInstall::UpdateDataFrom(m_dir.File("packages"), m_config, m_profile, progress));
    EXPECT_EQ(stages,
              (std::vector<std::string>{"1.zip (1 of 3)", "2.zip (2 of 3)", "3.zip (3 of 3)"}));
    std::uintmax_t nBytes = 0;
    for (const char* szName : {"1.zip", "2.zip", "3.zip"})
        nBytes += std::filesystem::file_size(m_dir.File("packages/") + szName);
    EXPECT_EQ(nTotal, nBytes);
    EXPECT_EQ(nDone, nBytes) << "the last report is the whole";
    EXPECT_FALSE(bBackwards);
    EXPECT_EQ(Deciphered(m_profile.m_strContentDirPath + "pages/a.dat"), "second");
    EXPECT_EQ(ReadFileText(m_profile.m_strContentDirPath + "version.txt"), "3");
    const auto lines = log.Lines();
    std::vector<std::string> installs;
    for (const auto& line : lines)
        if (const auto nAt = line.find("Install update "); nAt != std::string::npos)
            installs.push_back(line.substr(line.rfind('/') + 1));
    EXPECT_EQ(installs, (std::vector<std::string>{"1.zip", "2.zip", "3.zip"}));
    EXPECT_TRUE(CFileUtils::FileExists(m_dir.File("packages/1.zip")))
        << "a folder's packages are kept";

    CRegistryConfig saved;
    saved.LoadSettings();
    EXPECT_EQ(saved.GetContentVersion(), 3);
    EXPECT_GT(saved.GetLastUpdateYear(), 2000);
}

TEST_F(FolderInstallTest, TheFirstFailureStopsAndKeepsWhatWasInstalled)
{
    WritePackage(1, "a", "first");
    WriteFileText(m_dir.File("packages/2.zip"), "broken");
    WritePackage(3, "c", "third");
    m_config.SetLastUpdateDate(1, 2, 2020);
    CLogCapture log(1);
    EXPECT_FALSE(CFolderInstall::UpdateDataFrom(m_dir.File("packages") + "/", m_config, m_profile));
    EXPECT_TRUE(log.Contains("Can't process update" + m_dir.File("packages/2.zip"))) << log.Text();
    EXPECT_TRUE(CFileUtils::FileExists(m_dir.File("packages/2.zip")))
        << "the user's file is not deleted";
    EXPECT_FALSE(CFileUtils::FileExists(m_profile.m_strContentDirPath + "pages/c.dat"));
    CRegistryConfig saved;
    saved.LoadSettings();
    EXPECT_EQ(saved.GetContentVersion(), 1);
    EXPECT_EQ(saved.GetLastUpdateYear(), 2020) << "a stored date is kept";

    EXPECT_FALSE(CFolderInstall::UpdateDataFrom(m_dir.File("no-such-folder"), m_config, m_profile));
    EXPECT_TRUE(log.Contains("Can' read files from directory"));
}

TEST_F(FolderInstallTest, KalimorctlInstallsTheSameWay)
{
    WritePackage(2, "b", "second");
    WritePackage(1, "a", "first");
    const auto result = RunProcess({KALIMORCTL_PATH, "--profile", m_dir.File("profile"),
                                    "install-updates", m_dir.File("packages")});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_NE(result.m_strOut.find("content version 2"), std::string::npos);
    EXPECT_EQ(Deciphered(m_profile.m_strContentDirPath + "pages/b.dat"), "second");
    CRegistryConfig saved;
    saved.LoadSettings();
    EXPECT_EQ(saved.GetContentVersion(), 2);

    WriteFileText(m_dir.File("packages/3.zip"), "broken");
    const auto failed = RunProcess({KALIMORCTL_PATH, "--profile", m_dir.File("profile"),
                                    "install-updates", m_dir.File("packages")});
    EXPECT_EQ(failed.m_nExitCode, 1);
    EXPECT_NE(failed.m_strErr.find("Cannot open zip file"), std::string::npos) << failed.m_strErr;
    EXPECT_EQ(RunProcess({KALIMORCTL_PATH, "install-updates"}).m_nExitCode, 2);
}
