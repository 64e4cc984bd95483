#include "CommandLineInfo.h"
#include "FileUtils.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace
{
class RegistryConfigTest : public ::testing::Test
{
protected:
    CTempDir m_home;
    CScopedEnv m_config{"XDG_CONFIG_HOME", m_home.Path()};
    std::string IniPath() const { return m_home.File("Kalimor/KalimorClnt.ini"); }
};
} // namespace

TEST_F(RegistryConfigTest, FreshUserGetsEveryDefault)
{
    CRegistryConfig config;
    config.SetRegistryKey("Kalimor");
    EXPECT_EQ(config.GetFilePath(), IniPath());
    ASSERT_TRUE(config.LoadSettings());
    EXPECT_FALSE(config.m_bAutoStart);
    EXPECT_FALSE(config.m_bAutoUpdate);
    EXPECT_EQ(config.m_strLogin, "");
    EXPECT_EQ(config.m_strPassword, "");
    EXPECT_TRUE(config.m_bMaximizeWindow);
    EXPECT_EQ(config.m_nLogLevel, 0);
    EXPECT_FALSE(config.m_bActualVersion);
    EXPECT_EQ(config.GetLastUpdateDay() + config.GetLastUpdateMonth() + config.GetLastUpdateYear(),
              0);
    EXPECT_EQ(config.GetContentVersion(), 0);
    EXPECT_EQ(config.m_nFontSize, 14);
    EXPECT_EQ(config.m_nProxyType, 2);
    EXPECT_EQ(config.m_nProxyPort, 0);
    EXPECT_EQ(CRegistryConfig::EncodePassword(config.m_strPassword), "");
}

TEST_F(RegistryConfigTest, EveryValueRoundTripsAndThePasswordIsStoredAsHex)
{
    CRegistryConfig config;
    config.SetRegistryKey("Kalimor");
    config.m_bAutoStart = true;
    config.m_bAutoUpdate = true;
    config.SetLogin("buh@example.org");
    config.SetPassword("Ab1");
    config.m_bMaximizeWindow = false;
    config.SetActualVersion(true);
    config.SetLastUpdateDate(6, 12, 2026);
    config.SetContentVersion(17);
    config.m_nFontSize = 16;
    config.m_nProxyType = 3;
    config.m_strProxyHost = "proxy.local";
    config.m_nProxyPort = 3128;
    config.m_strProxyLogin = "иван";
    config.m_strProxyPassword = " secret with\nnewline";
    ASSERT_TRUE(config.SaveSettings());

    const std::string ini = ReadFileText(IniPath());
    EXPECT_NE(ini.find("[UserConfig]"), std::string::npos);
    EXPECT_NE(ini.find("Password=410062003100\n"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("LogLevel"), std::string::npos) << "the log level is never written";
    EXPECT_EQ(ini.find("\nnewline"), std::string::npos) << "a value can never start a new line";
    struct stat st
    {
    };
    ASSERT_EQ(::stat(IniPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds a password";

    CRegistryConfig loaded;
    loaded.SetRegistryKey("Kalimor");
    ASSERT_TRUE(loaded.LoadSettings());
    EXPECT_TRUE(loaded.m_bAutoStart);
    EXPECT_TRUE(loaded.m_bAutoUpdate);
    EXPECT_EQ(loaded.GetLogin(), "buh@example.org");
    EXPECT_EQ(loaded.GetPassword(), "Ab1");
    EXPECT_FALSE(loaded.m_bMaximizeWindow);
    EXPECT_TRUE(loaded.m_bActualVersion);
    EXPECT_EQ(loaded.GetLastUpdateDay(), 6);
    EXPECT_EQ(loaded.GetLastUpdateMonth(), 12);
    EXPECT_EQ(loaded.GetLastUpdateYear(), 2026);
    EXPECT_EQ(loaded.GetContentVersion(), 17);
    EXPECT_EQ(loaded.m_nFontSize, 16);
    EXPECT_EQ(loaded.m_nProxyType, 3);
    EXPECT_EQ(loaded.m_strProxyHost, "proxy.local");
    EXPECT_EQ(loaded.m_nProxyPort, 3128);
    EXPECT_EQ(loaded.m_strProxyLogin, "иван");
    EXPECT_EQ(loaded.m_strProxyPassword, " secret with\nnewline");
}

TEST_F(RegistryConfigTest, HandSetLogLevelSurvivesEverySaveAndBadValuesKeepDefaults)
{
    WriteFileText(IniPath(), "# set by support\n[UserConfig]\nLogLevel=5\nFontSize=abc\n"
                             "ProxyPort=-4\nContentVersion=99999999999\nAutoRun=7\n"
                             "[Other]\nKeep=yes\n");
    CRegistryConfig config;
    config.SetRegistryKey("Kalimor");
    ASSERT_TRUE(config.LoadSettings());
    EXPECT_EQ(config.m_nLogLevel, 5);
    EXPECT_EQ(config.m_nFontSize, 14);
    EXPECT_EQ(config.m_nProxyPort, 0);
    EXPECT_EQ(config.GetContentVersion(), 0);
    EXPECT_TRUE(config.m_bAutoStart) << "any number above 0 is true";

    for (int i = 0; i < 3; ++i)
    {
        config.m_nLogLevel = 1; // a running client never writes its level back
        config.SetContentVersion(i);
        ASSERT_TRUE(config.SaveSettings());
    }
    const std::string ini = ReadFileText(IniPath());
    EXPECT_NE(ini.find("LogLevel=5"), std::string::npos) << ini;
    EXPECT_NE(ini.find("# set by support"), std::string::npos);
    EXPECT_NE(ini.find("Keep=yes"), std::string::npos);
    EXPECT_NE(ini.find("AutoRun=1"), std::string::npos) << "booleans are written as 0 or 1";

    CRegistryConfig reloaded;
    reloaded.SetRegistryKey("Kalimor");
    reloaded.LoadSettings();
    EXPECT_EQ(reloaded.m_nLogLevel, 5);
    EXPECT_EQ(reloaded.GetContentVersion(), 2);
}

TEST(PasswordEncoding, AsciiCyrillicAndMalformedHex)
{
    EXPECT_EQ(CRegistryConfig::EncodePassword("a"), "6100");
    EXPECT_EQ(CRegistryConfig::EncodePassword("z9"), "7a003900");
    EXPECT_EQ(CRegistryConfig::EncodePassword("Я"), "2f04");
    for (const char* password : {"", "p@ss word", "пароль", "a😀b"})
        EXPECT_EQ(CRegistryConfig::DecodePassword(CRegistryConfig::EncodePassword(password)),
                  password);
    EXPECT_EQ(CRegistryConfig::DecodePassword("610"), "") << "odd length";
    EXPECT_EQ(CRegistryConfig::DecodePassword("61zz"), "") << "not hex";
    EXPECT_EQ(CRegistryConfig::DecodePassword("6100000062006300"), "a") << "ends at a zero";
    EXPECT_EQ(CRegistryConfig::DecodePassword("41"), "") << "a lone byte is no character";
}

// A child process saves settings with a large value over and over and is
// killed at a random moment; each time the file must hold the old settings or
// the new ones, never a part.
TEST_F(RegistryConfigTest, SettingsSurviveACrashInTheMiddleOfASave)
{
    CRegistryConfig config;
    config.SetRegistryKey("Kalimor");
    config.SetLogin("old");
    ASSERT_TRUE(config.SaveSettings());
    const std::string strNewLogin(std::size_t{8} << 20, 'n');

    for (int round = 0; round < 24; ++round)
    {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
        {
            CRegistryConfig writer;
            writer.SetRegistryKey("Kalimor");
            writer.SetLogin(strNewLogin);
            for (;;)
                writer.SaveSettings();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + (round * 37) % 60));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);

        CRegistryConfig reader;
        reader.SetRegistryKey("Kalimor");
        reader.LoadSettings();
        const std::string& login = reader.GetLogin();
        EXPECT_TRUE(login == "old" || login == strNewLogin)
            << "round " << round << ": a login of " << login.size() << " characters";
    }
}

TEST_F(RegistryConfigTest, AFullDiskLeavesThePreviousFileWhole)
{
    CRegistryConfig config;
    config.SetRegistryKey("Kalimor");
    config.SetLogin("kept");
    ASSERT_TRUE(config.SaveSettings());
    const std::string before = ReadFileText(IniPath());

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        CRegistryConfig writer;
        writer.SetRegistryKey("Kalimor");
        writer.SetLogin(std::string(4096, 'x'));
        ::_exit(writer.SaveSettings() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed save must be reported";
    EXPECT_EQ(ReadFileText(IniPath()), before);
    for (const auto& entry : std::filesystem::directory_iterator(m_home.File("Kalimor")))
        EXPECT_EQ(entry.path().filename(), "KalimorClnt.ini") << "no temporary file is left";
}

TEST(ProfileConfig, EveryPathLiesUnderTheRootAndFoldersAreCreated)
{
    CTempDir dir;
    CScopedEnv profile("KALIMOR_PROFILE", dir.File("profile"));
    CProfileConfig config;
    ASSERT_TRUE(config.LoadSettings());
    const std::string root = dir.File("profile");
    EXPECT_EQ(config.m_strProfileRoot, root);
    EXPECT_EQ(config.m_strLogFilePath, root + "/KalimorClient.log");
    EXPECT_EQ(config.m_strContentDirPath, root + "/Content/");
    EXPECT_EQ(config.m_strDownloadDirPath, root + "/Download/");
    EXPECT_EQ(config.m_strEncyclopediaPath, root + "/Content/encyclopedia.dat");
    EXPECT_EQ(config.m_strDocumentsDirPath, root + "/Content/Content/");
    EXPECT_EQ(config.m_strMorphologyDirPath, root + "/Content/morphology/");
    EXPECT_EQ(config.m_strFullTextDirPath, root + "/Content/fulltextsearch/");
    EXPECT_EQ(config.m_strBookmarksPath, root + "/bookmarks.xml");
    EXPECT_EQ(config.m_strViewHistoryPath, root + "/history.xml");
    EXPECT_EQ(config.m_strSearchPrompts2Path, root + "/Content/search_prompts2.dat");
    EXPECT_TRUE(config.m_strStyleSheetPath.starts_with(config.m_strDocumentsDirPath))
        << "the style sheet lies in the documents folder";
    EXPECT_EQ(config.m_strStyleSheetSourcePath, config.m_strStyleSheetPath + ".win");
    EXPECT_TRUE(CFileUtils::DirectoryExists(root + "/Content"));
    EXPECT_TRUE(CFileUtils::DirectoryExists(root + "/Download"));
}

TEST(ProfileConfig, XdgDataFolderAndAnUncreatableRoot)
{
    CTempDir dir;
    CScopedEnv noProfile("KALIMOR_PROFILE", "");
    CScopedEnv data("XDG_DATA_HOME", dir.Path());
    EXPECT_EQ(CProfileConfig::GetDefaultProfileRoot(), dir.File("KalimorClient"));

    WriteFileText(dir.File("blocker"), "a file where a folder should be");
    CProfileConfig config;
    ASSERT_TRUE(config.LoadSettings(dir.File("blocker/profile")));
    EXPECT_EQ(config.m_strProfileRoot, "");
    EXPECT_EQ(config.m_strLogFilePath, "") << "no path may point anywhere else";
    EXPECT_EQ(config.m_strBookmarksPath, "");
}

namespace
{
CKalimorCommandLineInfo Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "KalimorClnt");
    CKalimorCommandLineInfo info;
    info.ParseCommandLine(static_cast<int>(args.size()), args.data());
    return info;
}
} // namespace

TEST(CommandLine, SwitchesInAnyCaseWithEitherPrefix)
{
    EXPECT_TRUE(Parse({"/AUTOSTART"}).IsAutoStart());
    EXPECT_TRUE(Parse({"-AutoStart"}).IsAutoStart());
    EXPECT_TRUE(Parse({"--autostart"}).IsAutoStart());
    EXPECT_FALSE(Parse({"autostart"}).IsAutoStart()) << "a plain word is no switch";
    EXPECT_TRUE(Parse({"-uninstall"}).IsUninstall());
    EXPECT_TRUE(Parse({"/Replace-Exe"}).IsReplaceExe());
    const auto none = Parse({});
    EXPECT_FALSE(none.IsAutoStart() || none.IsUninstall() || none.IsReplaceExe() ||
                 none.IsUpdates());
}

TEST(CommandLine, UpdateFolder)
{
    EXPECT_EQ(Parse({"/updates", "/x"}).GetUpdateFolder(), "/x");
    EXPECT_EQ(Parse({"-updates", "-x"}).GetUpdateFolder(), "x") << "an unknown flag's text";
    EXPECT_EQ(Parse({"-updates", "/home/u/pkgs"}).GetUpdateFolder(), "/home/u/pkgs");
    const auto mixed = Parse({"-updates", "-autostart", "pkgs", "other"});
    EXPECT_TRUE(mixed.IsAutoStart());
    EXPECT_EQ(mixed.GetUpdateFolder(), "pkgs");
    EXPECT_FALSE(Parse({"-updates"}).IsUpdates()) << "no folder after the switch: a normal start";
    EXPECT_FALSE(Parse({"-updates", ""}).IsUpdates());
}
