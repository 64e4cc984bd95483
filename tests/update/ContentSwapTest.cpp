// The content folder is replaced whole: what a crash leaves is mended at the
// next start, the swap works with and without the exchange system call, files
// held open keep their old bytes, a killed kalimorctl leaves the old or the
// new library, and a full disk leaves the old one.
#include "ContentSwap.h"
#include "FakeUpdateService.h"
#include "FileUtils.h"
#include "FolderInstall.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "TestSupport.h"
#include "UpdateProcess.h"
#include "UpdateTestSupport.h"
#include "WorkerThreads.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace
{
// Every file under a folder, by relative path, with its bytes.
using CTree = std::map<std::string, std::string>;

CTree ReadTree(const std::string& strFolder)
{
    CTree tree;
    std::error_code error;
    for (fs::recursive_directory_iterator it(strFolder, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file())
            tree[fs::relative(it->path(), strFolder).string()] = ReadFileText(it->path().string());
    return tree;
}

void WriteTree(const std::string& strFolder, const CTree& tree)
{
    for (const auto& [strName, bytes] : tree)
        WriteFileText(strFolder + "/" + strName, bytes);
}

std::vector<std::string> Names(const std::string& strFolder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(strFolder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What an install may leave beside the content folder: nothing of its own.
std::vector<std::string> Leftovers(const std::string& strFolder)
{
    std::vector<std::string> left;
    for (const auto& strName : Names(strFolder))
        if (strName.find(".kalimor-") != std::string::npos)
            left.push_back(strName);
    return left;
}

const CTree kOld{{"index.dat", "old index"}, {"docs/a.dat", "old a"}, {"docs/b.dat", "old b"}};
const CTree kNew{{"index.dat", "new index"}, {"docs/a.dat", "new a"}, {"sections/c.dat", "new c"}};
const CTree kPartial{{"index.dat", "new index"}};

TEST(ContentSwap, WhatACrashLeftIsMendedToTheOldOrTheNewTree)
{
    // The folders as a crash at each step of an install leaves them, and the
    // content once RemoveLeftovers has run.
    struct CCase
    {
        const char* m_szWhen;
        std::optional<CTree> m_content; // unset: no content folder at all
        std::optional<CTree> m_staging;
        std::optional<CTree> m_old;
        CTree m_expected;
    };
    const CCase cases[] = {
        {"nothing was left", kOld, {}, {}, kOld},
        {"killed while the staging folder was built", kOld, kPartial, {}, kOld},
        {"killed after the exchange, before the old tree went", kNew, kOld, {}, kNew},
        {"killed between the fallback's two renames", {}, kNew, kOld, kOld},
        {"the same, and the profile loader made an empty content folder since", CTree{}, kNew, kOld,
         kOld},
        {"killed while the fallback removed the old tree", kNew, {}, kPartial, kNew},
    };
    for (const auto& test : cases)
    {
        CTempDir dir;
        const std::string strContent = dir.File("Content/");
        if (test.m_content)
        {
            fs::create_directories(strContent);
            WriteTree(strContent, *test.m_content);
        }
        if (test.m_staging)
            WriteTree(CContentSwap::StagingPathFor(strContent), *test.m_staging);
        if (test.m_old)
            WriteTree(CContentSwap::OldPathFor(strContent), *test.m_old);
        CContentSwap swap(strContent);
        ASSERT_TRUE(swap.Lock()) << test.m_szWhen;
        EXPECT_TRUE(swap.RemoveLeftovers()) << test.m_szWhen;
        EXPECT_EQ(ReadTree(strContent), test.m_expected) << test.m_szWhen;
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"Content"}) << test.m_szWhen;
    }
}

TEST(ContentSwap, TheStagingTreeIsSwappedInWithOrWithoutTheExchange)
{
    struct CCase
    {
        const char* m_szName;
        int m_nExchangeError; // 0: the real call
        bool m_bInstalled;
    };
    const CCase cases[] = {
        {"renameat2 exchanges", 0, true},
        {"the file system cannot exchange: two renames", EINVAL, true},
        {"the exchange fails for another reason", EIO, false},
    };
    for (const auto& test : cases)
    {
        CTempDir dir;
        const std::string strContent = dir.File("Content/");
        fs::create_directories(strContent);
        WriteTree(strContent, kOld);
        if (test.m_nExchangeError)
            CContentSwap::SetExchangeForTest([&](int, const char*, const char*) {
                errno = test.m_nExchangeError;
                return -1;
            });
        {
            CContentSwap swap(strContent);
            ASSERT_TRUE(swap.Lock());
            const std::string strStaging = swap.Prepare();
            ASSERT_EQ(strStaging, CContentSwap::StagingPathFor(strContent) + "/") << test.m_szName;
            EXPECT_EQ(ReadTree(strStaging), kOld) << "carried over: " << test.m_szName;
            struct stat oldFile
            {
            }, stagedFile{};
            ASSERT_EQ(::stat((strContent + "docs/b.dat").c_str(), &oldFile), 0);
            ASSERT_EQ(::stat((strStaging + "docs/b.dat").c_str(), &stagedFile), 0);
            EXPECT_EQ(oldFile.st_ino, stagedFile.st_ino)
                << "an unchanged file is a hard link, not a copy";
            // What an install does in the staging folder.
            fs::remove_all(strStaging);
            fs::create_directories(strStaging);
            WriteTree(strStaging, kNew);
            EXPECT_EQ(swap.Commit(), test.m_bInstalled) << test.m_szName;
        }
        CContentSwap::SetExchangeForTest(nullptr);
        EXPECT_EQ(ReadTree(strContent), test.m_bInstalled ? kNew : kOld) << test.m_szName;
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"Content"}) << test.m_szName;
    }
}

TEST(ContentSwap, ASecondInstallerIsRefusedWhileOneRuns)
{
    CTempDir dir;
    const std::string strContent = dir.File("Content/");
    fs::create_directories(strContent);
    CContentSwap first(strContent);
    ASSERT_TRUE(first.Lock());
    ASSERT_FALSE(first.Prepare().empty());

    CZipBuilder zip;
    zip.Add("a.html", "a");
    ASSERT_TRUE(zip.Write(dir.File("1.zip")));
    CUnpackJob job;
    job.m_strZipPath = dir.File("1.zip");
    EXPECT_FALSE(CUpdateProcess::Process({strContent, "", ""}, job, nullptr));
    EXPECT_FALSE(fs::exists(strContent + "a.dat")) << "nothing of the package is installed";
    // The start of a second client leaves the running install's folder alone.
    CContentSwap::CleanUpAtStart(strContent);
    EXPECT_TRUE(fs::is_directory(CContentSwap::StagingPathFor(strContent)));
    first.Discard();
}

class AtomicInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strContent = m_dir.File("profile/Content/");
        fs::create_directories(m_strContent);
        m_target = {m_strContent, m_strContent + "Content/online/styles/style.css.win",
                    m_strContent + "Content/online/styles/style.css"};
    }

    CTempDir m_dir;
    std::string m_strContent;
    CUnpackTarget m_target;
};

TEST_F(AtomicInstallTest, FilesHeldOpenKeepTheirOldBytesUntilReopened)
{
    WriteFileText(m_strContent + "fulltextsearch/index.bin", std::string(8192, 'o'));
    WriteFileText(m_strContent + "keep.png", "unchanged");
    const int nFd =
        ::open((m_strContent + "fulltextsearch/index.bin").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(nFd, 0);
    void* pMap = ::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, nFd, 0);
    ASSERT_NE(pMap, MAP_FAILED);

    CZipBuilder zip;
    zip.Add("fulltextsearch/index.bin", std::string(8192, 'n'));
    zip.Add("remove.files", "keep.png.none\n");
    ASSERT_TRUE(zip.Write(m_dir.File("1.zip")));
    CUnpackJob job;
    job.m_strZipPath = m_dir.File("1.zip");
    job.m_lastPause = std::chrono::milliseconds(0);
    ASSERT_TRUE(CUpdateProcess::Process(m_target, job, nullptr));

    EXPECT_EQ(static_cast<const char*>(pMap)[4000], 'o')
        << "the loaded map still reads the old index";
    char c = 0;
    EXPECT_EQ(::pread(nFd, &c, 1, 100), 1);
    EXPECT_EQ(c, 'o');
    EXPECT_EQ(ReadFileText(m_strContent + "fulltextsearch/index.bin"), std::string(8192, 'n'))
        << "reopened: new";
    EXPECT_EQ(ReadFileText(m_strContent + "keep.png"), "unchanged");
    ::munmap(pMap, 8192);
    ::close(nFd);
    EXPECT_EQ(Names(m_dir.File("profile")), std::vector<std::string>{"Content"});
}

// ---- Killed at random moments: kalimorctl install-updates as a process.

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// A library of a few thousand pages (the old one) and a package that turns
// it into another: every page changed, pages added, some removed.
void WriteLibraryPackages(const std::string& strFolder)
{
    std::mt19937 random(7);
    const auto page = [&](int n, const char* szEdition) {
        std::string text =
            "<html><body><h1>" + std::string(szEdition) + " " + std::to_string(n) + "</h1>";
        for (int k = 0; k < 40; ++k)
            text += "<p>" + std::to_string(random()) + " строка</p>";
        return text + "</body></html>";
    };
    CZipBuilder first, second;
    std::string strRemoved;
    for (int n = 0; n < 600; ++n)
        first.Add("Content/docs/" + std::to_string(n / 100) + "/" + std::to_string(n) + ".html",
                  page(n, "old"));
    first.Add("fulltextsearch/index.bin", std::string(300000, 'o'));
    for (int n = 0; n < 720; ++n)
        if (n % 10 != 3)
            second.Add("Content/docs/" + std::to_string(n / 100) + "/" + std::to_string(n) +
                           ".html",
                       page(n, "new"));
        else if (n < 600)
            strRemoved +=
                "Content/docs/" + std::to_string(n / 100) + "/" + std::to_string(n) + ".dat\n";
    second.Add("fulltextsearch/index.bin", std::string(300000, 'n'));
    second.Add("remove.files", strRemoved);
    fs::create_directories(strFolder + "/1");
    fs::create_directories(strFolder + "/2");
    ASSERT_TRUE(first.Write(strFolder + "/1/1.zip"));
    ASSERT_TRUE(second.Write(strFolder + "/2/2.zip"));
}

class KilledInstallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteLibraryPackages(m_dir.File("packages"));
        // The old library and the new one, installed without a kill.
        ASSERT_EQ(Install("reference"), 0);
        m_old = ReadTree(m_dir.File("reference/Content"));
        fs::copy(m_dir.File("reference/Content"), m_dir.File("reference-old"),
                 fs::copy_options::recursive);
        ASSERT_EQ(Install("reference", "2"), 0);
        m_new = ReadTree(m_dir.File("reference/Content"));
        ASSERT_NE(m_old, m_new);
    }

    std::vector<std::string> Command(const std::string& strProfile,
                                     const std::string& strPackage) const
    {
        return {KALIMORCTL_PATH, "--profile", m_dir.File(strProfile), "install-updates",
                m_dir.File("packages/" + strPackage)};
    }
    int Install(const std::string& strProfile, const std::string& strPackage = "1") const
    {
        return RunProcess(Command(strProfile, strPackage)).m_nExitCode;
    }
    // The account's settings are one file for every profile of these tests;
    // the installs run one after another, so it holds the last one's version.
    static int Version()
    {
        CRegistryConfig config;
        config.LoadSettings();
        return config.GetContentVersion();
    }

    void CopyOld(const std::string& strProfile) const
    {
        fs::create_directories(m_dir.File(strProfile));
        fs::copy(m_dir.File("reference-old"), m_dir.File(strProfile + "/Content"),
                 fs::copy_options::recursive);
    }
    static void SetVersion(int nVersion)
    {
        CRegistryConfig config;
        config.LoadSettings();
        config.SetContentVersion(nVersion);
        config.SaveSettings();
    }

    CTempDir m_dir;
    CScopedEnv m_configHome{"XDG_CONFIG_HOME", m_dir.File("config")};
    CTree m_old, m_new;
};

TEST_F(KilledInstallTest, AKillLeavesTheOldOrTheNewLibraryAndTheNextInstallCompletesIt)
{
    // How long an install takes here, so that the kills fall inside it.
    CopyOld("timed");
    const auto tStart = std::chrono::steady_clock::now();
    ASSERT_EQ(Install("timed", "2"), 0);
    const auto nMicros = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now() - tStart)
                             .count();

    std::mt19937 random(20261207);
    std::uniform_int_distribution<long long> moment(0, nMicros);
    int nOld = 0, nNew = 0;
    for (int nKill = 0; nKill < 5; ++nKill)
    {
        // The old library, copied rather than installed: quicker, and the same.
        const std::string strProfile = "killed" + std::to_string(nKill);
        CopyOld(strProfile);
        SetVersion(1);
        const long long nAt = moment(random);
        const pid_t pid = Spawn(Command(strProfile, "2"));
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(nAt));
        ::kill(pid, SIGKILL);
        int nStatus = 0;
        ::waitpid(pid, &nStatus, 0);

        const CTree content = ReadTree(m_dir.File(strProfile + "/Content"));
        const bool bOld = content == m_old, bNew = content == m_new;
        EXPECT_TRUE(bOld || bNew) << "killed after " << nAt << " us: a mixed library of "
                                  << content.size() << " files";
        EXPECT_FALSE(bOld && Version() == 2) << "the old library under the new version";
        nOld += bOld;
        nNew += bNew;
        // The next install completes it, and leaves nothing beside it.
        ASSERT_EQ(Install(strProfile, "2"), 0);
        EXPECT_TRUE(ReadTree(m_dir.File(strProfile + "/Content")) == m_new)
            << "after the kill at " << nAt << " us";
        EXPECT_EQ(Leftovers(m_dir.File(strProfile)), std::vector<std::string>{});
        fs::remove_all(m_dir.File(strProfile));
    }
    RecordProperty("old", nOld);
    RecordProperty("new", nNew);
}

// ---- A full disk: a small tmpfs in a mount namespace of a child process.

// Runs the body in a child with a private tmpfs of nMiB at strFolder; the
// child's own test failures make its exit code. 77: no namespace here.
int InTmpfs(const std::string& strFolder, int nMiB, const std::function<void()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", strFolder.c_str(), "tmpfs", 0,
                    ("size=" + std::to_string(nMiB) + "m").c_str()) != 0)
            ::_exit(77);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

// Text that deflate shrinks but not past the unpacker's ratio bound.
std::string Filler(std::size_t nBytes, unsigned nSeed)
{
    std::mt19937 random(nSeed);
    std::string text;
    while (text.size() < nBytes)
        text += std::to_string(random() % 1000) + ' ';
    text.resize(nBytes);
    return text;
}

TEST_F(AtomicInstallTest, AFullDiskLeavesTheOldContentAndNoStagingFolder)
{
    const std::string strDisk = m_dir.File("disk");
    fs::create_directories(strDisk);
    CZipBuilder tooBig, fits;
    for (unsigned n = 0; n < 24; ++n)
        tooBig.Add("big/" + std::to_string(n) + ".bin", Filler(512 << 10, n));
    for (unsigned n = 0; n < 10; ++n)
        fits.Add("docs/" + std::to_string(n) + ".html", Filler(512 << 10, n));
    fs::create_directories(m_dir.File("big"));
    ASSERT_TRUE(tooBig.Write(m_dir.File("big/1.zip")));
    ASSERT_TRUE(fits.Write(m_dir.File("fits.zip")));

    const int nExit = InTmpfs(strDisk, 8, [&] {
        const std::string strContent = strDisk + "/profile/Content/";
        WriteTree(strContent, kOld);
        const CUnpackTarget target{strContent, "", ""};
        CUnpackJob job;
        job.m_lastPause = std::chrono::milliseconds(0);

        // Too big from the start: refused before anything is touched, with
        // the size it needs.
        job.m_strZipPath = m_dir.File("big/1.zip");
        CUnpackResult result;
        EXPECT_FALSE(CUpdateProcess::Process(target, job, nullptr, nullptr, nullptr, &result));
        EXPECT_TRUE(result.m_bOutOfSpace);
        EXPECT_GT(result.m_nNeededBytes, 12u << 20);
        EXPECT_NE(result.m_strErrorText.find(
                      "Недостаточно места на диске для установки обновления: нужно 1"),
                  std::string::npos)
            << result.m_strErrorText;
        const auto ctl = RunProcess({KALIMORCTL_PATH, "--profile", strDisk + "/profile",
                                     "install-updates", m_dir.File("big")});
        EXPECT_EQ(ctl.m_nExitCode, 1);
        EXPECT_NE(ctl.m_strErr.find("Недостаточно места на диске"), std::string::npos)
            << ctl.m_strErr;
        EXPECT_NE(ctl.m_strErr.find(" МБ"), std::string::npos) << ctl.m_strErr;

        // It fits, but the disk fills while it unpacks (another program
        // writes): ENOSPC, the old content as it was, the staging folder gone.
        job.m_strZipPath = m_dir.File("fits.zip");
        bool bFilled = false;
        const std::string strHog = strDisk + "/hog";
        const auto fill = [&](unsigned nPercent) {
            if (bFilled || nPercent < 30)
                return;
            bFilled = true;
            const int nFd = ::open(strHog.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            const std::string block(1 << 16, 'h');
            while (::write(nFd, block.data(), block.size()) > 0)
            {
            }
            ::close(nFd);
        };
        result = {};
        EXPECT_FALSE(CUpdateProcess::Process(target, job, fill, nullptr, nullptr, &result));
        EXPECT_TRUE(bFilled);
        EXPECT_TRUE(result.m_bOutOfSpace);
        EXPECT_NE(result.m_strErrorText.find("Недостаточно места"), std::string::npos);
        EXPECT_EQ(ReadTree(strContent), kOld);
        EXPECT_EQ(Leftovers(strDisk + "/profile"), std::vector<std::string>{});

        // Room again: the same package goes in.
        ::unlink(strHog.c_str());
        EXPECT_TRUE(CUpdateProcess::Process(target, job, nullptr));
        EXPECT_EQ(ReadTree(strContent).size(), kOld.size() + 10);
    });
    if (nExit == 77)
        GTEST_SKIP() << "no private mount namespace here (unshare -m needs root or CAP_SYS_ADMIN)";
    EXPECT_EQ(nExit, 0) << "the child's failures are printed above";
}
} // namespace

namespace
{
TEST(AtomicInstallInTheDialog, AFullDiskShowsTheSizeNeededAndKeepsTheContent)
{
    CTempDir dir;
    const std::string strDisk = dir.File("disk");
    fs::create_directories(strDisk);
    CZipBuilder big;
    for (unsigned n = 0; n < 24; ++n)
        big.Add("big/" + std::to_string(n) + ".html", Filler(512 << 10, n));
    const std::string bytes = big.Bytes();

    // Everything with a thread of its own is made in the child.
    const int nExit = InTmpfs(strDisk, 8, [&] {
        CScopedEnv configHome("XDG_CONFIG_HOME", dir.File("config"));
        CFakeUpdateService service;
        ASSERT_TRUE(service.Start());
        service.AddAccount("ivanov", "secret");
        service.AddPackage(1, bytes);
        CRegistryConfig config;
        config.LoadSettings();
        config.SetLogin("ivanov");
        config.SetPassword("secret");
        config.m_nProxyType = PROXY_DIRECT;
        CProfileConfig profile;
        profile.LoadSettings(strDisk + "/profile");
        WriteTree(profile.m_strContentDirPath, kOld);
        std::string strRegistered;
        CTestUiLoop loop;
        CTestUpdateView view(loop);
        std::unique_ptr<CUpdateFlow> pFlow;
        loop.Send([&] {
            pFlow = std::make_unique<CUpdateFlow>(
                CUpdateFlowContext{loop, view, config, profile, strRegistered,
                                   FastSettings("127.0.0.1", service.GetPort())},
                UPDATE_MODE_USER);
            pFlow->Start();
        });
        EXPECT_TRUE(view.WaitForState(10)) << ::testing::PrintToString(view.StateNumbers());
        const auto state = view.LastState().value_or(CUpdateViewState{});
        EXPECT_TRUE(state.m_bError);
        EXPECT_NE(
            state.m_strAction.find("Недостаточно места на диске для установки обновления: нужно 1"),
            std::string::npos)
            << state.m_strAction;
        EXPECT_NE(state.m_strAction.find(" МБ"), std::string::npos) << state.m_strAction;
        EXPECT_EQ(ReadTree(profile.m_strContentDirPath), kOld);
        EXPECT_EQ(Leftovers(strDisk + "/profile"), std::vector<std::string>{});
        loop.Send([&] { pFlow->OnButton("LEFT_BUTTON"); });
        EXPECT_EQ(view.WaitForEnd(), UPDATE_END_ERROR);
        loop.Send([&] { pFlow.reset(); });
        loop.Stop();
        EXPECT_TRUE(CWorkerThreads::WaitAll(10s));
        EXPECT_EQ(config.GetContentVersion(), 0);
        service.Stop();
    });
    if (nExit == 77)
        GTEST_SKIP() << "no private mount namespace here (unshare -m needs root or CAP_SYS_ADMIN)";
    EXPECT_EQ(nExit, 0) << "the child's failures are printed above";
}
} // namespace
