#include "AutostartEntry.h"
#include "GLibPtr.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace
{
// The command line a desktop would run for the entry: the string value
// unescaped, split by the shell's quoting rules, "%%" taken as "%".
std::vector<std::string> ExecArguments(const std::string& strPath)
{
    const GKeyFilePtr pFile(g_key_file_new());
    if (!g_key_file_load_from_file(pFile.get(), strPath.c_str(), G_KEY_FILE_NONE, nullptr))
        return {"<unreadable>"};
    const GCharPtr pExec(
        g_key_file_get_string(pFile.get(), G_KEY_FILE_DESKTOP_GROUP, "Exec", nullptr));
    gchar** argv = nullptr;
    if (!pExec || !g_shell_parse_argv(pExec.get(), nullptr, &argv, nullptr))
        return {"<no command line>"};
    std::vector<std::string> args;
    for (gchar** p = argv; *p; ++p)
    {
        std::string arg = *p;
        for (std::size_t n = 0; (n = arg.find("%%", n)) != std::string::npos; ++n)
            arg.erase(n, 1);
        args.push_back(arg);
    }
    g_strfreev(argv);
    return args;
}

struct CAutostartFixture : ::testing::Test
{
    CAutostartFixture() : config("XDG_CONFIG_HOME", home.Path() + "/config") {}

    CTempDir home;
    CScopedEnv config;
};
} // namespace

TEST_F(CAutostartFixture, TheEntryStartsTheProgramWhereverItLies)
{
    for (const std::string strProgram :
         {"/usr/bin/KalimorClnt", "/home/u/My Programs/KalimorClnt", "/opt/a\"b/c'd/KalimorClnt",
          "/opt/$HOME/`x`/K", "/opt/100%/K", "/opt/back\\slash/K", "/opt/Калимор;&|<>*?#()~/K",
          "/opt/tab\there/K"})
    {
        SCOPED_TRACE(strProgram);
        const CAutostartEntry entry("test.kalimor.Client", strProgram);
        ASSERT_TRUE(entry.Apply(true));
        EXPECT_EQ(ExecArguments(entry.GetPath()),
                  (std::vector<std::string>{strProgram, "--autostart"}));
        if (::access("/usr/bin/desktop-file-validate", X_OK) == 0)
        {
            const CProcessResult result =
                RunProcess({"/usr/bin/desktop-file-validate", entry.GetPath()});
            EXPECT_EQ(result.m_nExitCode, 0) << result.m_strOut << result.m_strErr;
            EXPECT_EQ(result.m_strOut + result.m_strErr, "") << "no error, no warning, no hint";
        }
    }
}

TEST_F(CAutostartFixture, TheSwitchWritesAndRemovesTheEntryInTheUsersAutostartFolder)
{
    const CAutostartEntry entry("test.kalimor.Client", "/usr/bin/KalimorClnt");
    EXPECT_EQ(entry.GetPath(), home.Path() + "/config/autostart/test.kalimor.Client.desktop");
    ASSERT_TRUE(entry.Apply(true)) << "the folder is made when missing";
    struct stat info
    {
    };
    ASSERT_EQ(::stat(entry.GetPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    const std::string strText = ReadFileText(entry.GetPath());
    EXPECT_NE(strText.find("Name[ru]=Калимор\n"), std::string::npos);
    EXPECT_NE(strText.find("Icon=test.kalimor.Client\n"), std::string::npos);
    // Written through a temporary file renamed over it: nothing else is left.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.Path() + "/config/autostart"),
                            std::filesystem::directory_iterator()),
              1);
    ASSERT_TRUE(entry.Apply(false));
    EXPECT_FALSE(entry.Exists());
    EXPECT_TRUE(entry.Apply(false)) << "removing what is not there is no failure";

    // Only an absolute XDG_CONFIG_HOME counts.
    CScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
    CScopedEnv homeEnv("HOME", home.Path());
    EXPECT_EQ(CAutostartEntry::GetAutostartFolder(), home.Path() + "/.config/autostart");
}

TEST_F(CAutostartFixture, AtStartTheSwitchAndTheEntryAgreeAndTheDesktopsOffWins)
{
    struct CCase
    {
        const char* m_szName;
        const char* m_szEntry; // nullptr: no entry
        bool m_bSwitch;
        bool m_bSwitchAfter;
        bool m_bChanged;
        const char* m_szEntryAfter; // nullptr: no entry; "" ours; else this text
    };
    const std::string strHidden =
        "[Desktop Entry]\nType=Application\nName=Kalimor\nExec=KalimorClnt "
        "--autostart\nHidden=true\n";
    const std::string strGnomeOff =
        "[Desktop Entry]\nType=Application\nName=Kalimor\nExec=KalimorClnt "
        "--autostart\nX-GNOME-Autostart-enabled=false\n";
    const std::string strMateOff =
        "[Desktop Entry]\nType=Application\nName=Kalimor\nExec=KalimorClnt "
        "--autostart\nX-MATE-Autostart-enabled=false\n";
    const std::string strEdited =
        "[Desktop Entry]\nType=Application\nName=Kalimor\nExec=KalimorClnt --autostart --x\n";
    const std::vector<CCase> cases{
        {"switch on, no entry: written", nullptr, true, true, false, ""},
        {"switch off, an entry: removed", strEdited.c_str(), false, false, false, nullptr},
        {"switch off, no entry: nothing", nullptr, false, false, false, nullptr},
        {"switch on, an entry the user edited: kept", strEdited.c_str(), true, true, false,
         strEdited.c_str()},
        {"hidden on the desktop: the switch goes off", strHidden.c_str(), true, false, true,
         strHidden.c_str()},
        {"off in GNOME's settings", strGnomeOff.c_str(), true, false, true, strGnomeOff.c_str()},
        {"off in MATE's settings", strMateOff.c_str(), true, false, true, strMateOff.c_str()},
        {"hidden and already off", strHidden.c_str(), false, false, false, strHidden.c_str()},
    };
    const CAutostartEntry entry("test.kalimor.Client", "/usr/bin/KalimorClnt");
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.m_szName);
        entry.Apply(false);
        if (c.m_szEntry)
            WriteFileText(entry.GetPath(), c.m_szEntry);
        bool bSwitch = c.m_bSwitch;
        EXPECT_EQ(entry.Sync(bSwitch), c.m_bChanged);
        EXPECT_EQ(bSwitch, c.m_bSwitchAfter);
        if (!c.m_szEntryAfter)
            EXPECT_FALSE(entry.Exists());
        else
            EXPECT_EQ(ReadFileText(entry.GetPath()),
                      *c.m_szEntryAfter ? c.m_szEntryAfter : entry.BuildText());
    }

    // Turned on again in the client: the desktop's "off" is replaced.
    WriteFileText(entry.GetPath(), strHidden);
    ASSERT_TRUE(entry.Apply(true));
    EXPECT_FALSE(entry.IsDisabledByDesktop());
}

TEST(AutostartEntry, ForThisProgramStartsTheRunningExecutable)
{
    const CAutostartEntry entry = CAutostartEntry::ForThisProgram("test.kalimor.Client");
    const std::string strSelf = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_NE(entry.BuildText().find("Exec=" + CAutostartEntry::QuoteExecArgument(strSelf) +
                                     " --autostart\n"),
              std::string::npos);
}
