#include "UpdateFlow.h"
#include "Cipher.h"
#include "FakeUpdateService.h"
#include "FileUtils.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "StringTable.h"
#include "TestSupport.h"
#include "UpdateApp.h"
#include "UpdateTestSupport.h"
#include "WorkerThreads.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
std::string PackageWith(const std::string& strPage, const std::string& strText)
{
    CZipBuilder zip;
    zip.Add("Content/docs/" + strPage + ".html", strText);
    zip.Add("Content/images/" + strPage + ".png", "image of " + strPage);
    return zip.Bytes();
}

class UpdateFlowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_service.Start());
        m_service.AddAccount("ivanov", "secret");
        m_config.LoadSettings();
        m_config.SetLogin("ivanov");
        m_config.SetPassword("secret");
        m_config.m_nProxyType = PROXY_DIRECT;
        m_profile.LoadSettings(m_dir.File("profile"));
        m_settings = FastSettings("127.0.0.1", m_service.GetPort());
    }

    void TearDown() override
    {
        m_loop.Stop();
        m_pFlow.reset();
        EXPECT_TRUE(CWorkerThreads::WaitAll(30s)) << "a worker thread was left running";
        EXPECT_TRUE(m_view.AllOnLoopThread()) << "the view was called from a worker thread";
        m_service.Stop();
    }

    void Begin(int nMode, const std::function<void(CUpdateFlow&)>& prepare = nullptr)
    {
        m_loop.Send([&] {
            m_pFlow = std::make_unique<CUpdateFlow>(
                CUpdateFlowContext{m_loop, m_view, m_config, m_profile, m_strRegisteredLogin,
                                   m_settings},
                nMode);
            if (prepare)
                prepare(*m_pFlow);
            m_pFlow->Start();
        });
    }
    void Click(const char* szId = "LEFT_BUTTON")
    {
        m_loop.Send([&] { m_pFlow->OnButton(szId); });
    }
    void Escape()
    {
        m_loop.Send([&] { m_pFlow->OnCancel(); });
    }
    // Waits for the state, then presses its button and returns the end code.
    int ConfirmState(int nState, const char* szId = "LEFT_BUTTON")
    {
        EXPECT_TRUE(m_view.WaitForState(nState))
            << "states so far: " << ::testing::PrintToString(m_view.StateNumbers());
        Click(szId);
        return m_view.WaitForEnd().value_or(-1);
    }
    std::string ContentFile(const std::string& strName) const
    {
        return m_profile.m_strContentDirPath + strName;
    }
    std::string Deciphered(const std::string& strName) const
    {
        std::string text = ReadFileText(ContentFile(strName));
        CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
        return text;
    }
    int SavedContentVersion() const
    {
        CRegistryConfig saved;
        saved.LoadSettings();
        return saved.GetContentVersion();
    }

    CTempDir m_dir;
    CScopedEnv m_configHome{"XDG_CONFIG_HOME", m_dir.File("config")};
    CRegistryConfig m_config;
    CProfileConfig m_profile;
    CFakeUpdateService m_service;
    CRequestSettings m_settings;
    std::string m_strRegisteredLogin;
    CTestUiLoop m_loop;
    CTestUpdateView m_view{m_loop};
    std::unique_ptr<CUpdateFlow> m_pFlow;
};
} // namespace

TEST(UpdateFlowProgress, EachPackageFillsItsShareHalfDownloadingHalfUnpacking)
{
    EXPECT_EQ(CUpdateFlow::ProgressValue(7, 1, 0, 0), 0);
    EXPECT_EQ(CUpdateFlow::ProgressValue(7, 1, 0, 100), 50);
    EXPECT_EQ(CUpdateFlow::ProgressValue(8, 1, 0, 0), 50);
    EXPECT_EQ(CUpdateFlow::ProgressValue(8, 1, 0, 100), 100);
    EXPECT_EQ(CUpdateFlow::ProgressValue(7, 3, 1, 0), 33) << "after the first of three packages";
    EXPECT_EQ(CUpdateFlow::ProgressValue(7, 3, 2, 0), 66) << "after the second";
    EXPECT_EQ(CUpdateFlow::ProgressValue(8, 3, 2, 99), 98);
    EXPECT_EQ(CUpdateFlow::ProgressValue(8, 3, 2, 100), 100) << "the last unpack ends at 100";
    EXPECT_EQ(CUpdateFlow::ProgressValue(8, 3, 0, 100), 33);
    EXPECT_EQ(CUpdateFlow::ProgressValue(4, 3, 1, 42), 42)
        << "client downloads show the percent itself";
    EXPECT_EQ(CUpdateFlow::ProgressValue(21, 0, 0, 130), 100) << "clamped";
    EXPECT_EQ(CUpdateFlow::ProgressValue(7, 1, 0, 300), 100);
}

TEST_F(UpdateFlowTest, SignInAndFullUpdateFromContentVersionZero)
{
    m_service.AddPackage(1, PackageWith("a", "первая"));
    m_service.AddPackage(2, PackageWith("b", "вторая"));
    Begin(UPDATE_MODE_USER);
    EXPECT_EQ(ConfirmState(9), UPDATE_END_DONE);
    EXPECT_EQ(m_view.StateNumbers(), (std::vector<int>{0, 2, 6, 7, 8, 7, 8, 9}));
    EXPECT_EQ(m_view.LastState()->m_strAction, "Обновления загружены");
    EXPECT_EQ(Deciphered("Content/docs/a.dat"), "первая");
    EXPECT_EQ(Deciphered("Content/docs/b.dat"), "вторая");
    EXPECT_EQ(ReadFileText(ContentFile("Content/images/b.png")), "image of b");
    EXPECT_TRUE(std::filesystem::is_empty(m_profile.m_strDownloadDirPath))
        << "packages are removed once installed";
    EXPECT_EQ(m_config.GetContentVersion(), 2);
    EXPECT_TRUE(m_config.m_bActualVersion);
    EXPECT_EQ(SavedContentVersion(), 2);

    const auto requests = m_service.GetRequests();
    ASSERT_GE(requests.size(), 5u);
    EXPECT_EQ(requests[0].m_strPath, "/distributor/salt");
    EXPECT_EQ(requests[1].m_strPath, "/distributor/client_versions");
    EXPECT_EQ(requests[1].m_lines[2], m_service.ExpectedPasswordField("ivanov"))
        << "the salted digest, never the password";
    EXPECT_EQ(requests[2].m_strPath, "/distributor/full_content");
    EXPECT_EQ(requests[3].m_strPath, "/packages/1.zip");
    EXPECT_EQ(requests[4].m_strPath, "/packages/2.zip");
}

TEST_F(UpdateFlowTest, IncrementalUpdateAsksForPackagesAfterTheInstalledVersion)
{
    m_config.SetContentVersion(1);
    for (int n = 1; n <= 3; ++n)
        m_service.AddPackage(n, PackageWith("p" + std::to_string(n), "page " + std::to_string(n)));
    Begin(UPDATE_MODE_USER);
    EXPECT_EQ(ConfirmState(9), UPDATE_END_DONE);
    const auto list = m_service.GetRequests("/distributor/update_content");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].m_lines.back(), "1");
    EXPECT_TRUE(m_service.GetRequests("/distributor/full_content").empty());
    EXPECT_TRUE(m_service.GetRequests("/packages/1.zip").empty());
    EXPECT_FALSE(CFileUtils::FileExists(ContentFile("Content/docs/p1.dat")));
    EXPECT_EQ(Deciphered("Content/docs/p3.dat"), "page 3");
    EXPECT_EQ(SavedContentVersion(), 3);
}

TEST_F(UpdateFlowTest, NothingNewEndsWithThree)
{
    m_config.SetContentVersion(5);
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(12));
    EXPECT_EQ(m_view.LastState()->m_strAction, "Ваша версия калимора актуальна");
    Escape();
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_NOTHING_NEW);
    EXPECT_EQ(m_config.GetContentVersion(), 5);
}

TEST_F(UpdateFlowTest, ANewerClientIsOfferedAndDownloaded)
{
    m_service.SetClient("1.4.0.1", "kalimor-setup-1.4.exe");
    m_view.m_strInstallerAnswer = m_dir.File("setup.exe");
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(3));
    const auto offer = *m_view.LastState();
    EXPECT_EQ(offer.m_left, EUpdateButton::Yes);
    EXPECT_EQ(offer.m_right, EUpdateButton::No);
    Click("LEFT_BUTTON");
    EXPECT_EQ(ConfirmState(5), UPDATE_END_CLIENT_DOWNLOADED);
    EXPECT_EQ(m_view.DefaultInstallerName(), "kalimor-setup-1.4.exe");
    EXPECT_TRUE(ReadFileText(m_dir.File("setup.exe")).starts_with("installer of 1.4.0.1"));
    EXPECT_EQ(m_pFlow->GetInstallerPath(), m_dir.File("setup.exe"));
    // The package is the user's to install: its folder is named and opened,
    // nothing is run.
    EXPECT_NE(m_view.LastState()->m_strDetail.find("«" + m_dir.Path() + "»"), std::string::npos);
    EXPECT_EQ(m_view.OpenedUrls(), std::vector<std::string>{m_dir.Path()});
    const auto progress = m_view.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), (std::pair<int, int>{4, 100}));
}

TEST_F(UpdateFlowTest, ADeclinedClientOfferGoesOnWithTheContent)
{
    m_service.SetClient("1.4.0.1", "kalimor-setup-1.4.exe");
    m_service.AddPackage(1, PackageWith("a", "x"));
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(3));
    Click("RIGHT_BUTTON");
    EXPECT_EQ(ConfirmState(9), UPDATE_END_DONE);
    EXPECT_TRUE(m_service.GetRequests("/client/kalimor-setup-1.4.exe").empty());
}

TEST_F(UpdateFlowTest, OfferModeEndsWithOneWhenDeclinedOrNoFileChosen)
{
    m_service.SetClient("1.4.0.1", "new.exe");
    Begin(UPDATE_MODE_CLIENT_OFFER,
          [&](CUpdateFlow& flow) { flow.SetClientUrl(m_service.GetUrl("/client/new.exe")); });
    EXPECT_TRUE(m_view.WaitForState(23));
    EXPECT_EQ(m_view.LastState()->m_title, std::string());
    Click("LEFT_BUTTON"); // the save dialog is cancelled: no path
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_STOPPED);
    EXPECT_TRUE(m_service.GetRequests().empty()) << "an offer asks nothing of the service";
}

TEST_F(UpdateFlowTest, OfferModeDownloadsTheInstaller)
{
    m_service.SetClient("1.4.0.1", "new.exe");
    m_view.m_strInstallerAnswer = m_dir.File("new.exe");
    Begin(UPDATE_MODE_CLIENT_OFFER,
          [&](CUpdateFlow& flow) { flow.SetClientUrl(m_service.GetUrl("/client/new.exe")); });
    EXPECT_TRUE(m_view.WaitForState(23));
    Click("LEFT_BUTTON");
    EXPECT_EQ(ConfirmState(25), UPDATE_END_CLIENT_DOWNLOADED);
    EXPECT_TRUE(CFileUtils::FileExists(m_dir.File("new.exe")));
}

TEST_F(UpdateFlowTest, SignUpAnswers)
{
    CRegistrationData data;
    data.SetName("Иван");
    data.SetFamilyName("Петров");
    data.SetEmail("ivan@example.org");
    data.SetLogin("petrov");
    data.SetPassword("secret1");
    struct CCase
    {
        int m_nCode;
        int m_nState;
        int m_nEnd;
    };
    for (const CCase& test :
         {CCase{204, 18, UPDATE_END_SIGN_UP_REFUSED}, CCase{206, 20, UPDATE_END_SIGN_UP_REFUSED},
          CCase{208, 19, UPDATE_END_CANCELLED}, CCase{300, 10, UPDATE_END_ERROR}})
    {
        CTestUpdateView view(m_loop);
        view.m_bOpenUrlResult = false;
        m_service.SetSignUpAnswer(test.m_nCode, "Логин занят");
        m_loop.Send([&] {
            m_pFlow =
                std::make_unique<CUpdateFlow>(CUpdateFlowContext{m_loop, view, m_config, m_profile,
                                                                 m_strRegisteredLogin, m_settings},
                                              UPDATE_MODE_SIGN_UP, data);
            m_pFlow->Start();
        });
        ASSERT_TRUE(view.WaitForState(test.m_nState)) << test.m_nCode;
        const auto state = *view.LastState();
        EXPECT_EQ(state.m_strAction, "Логин занят");
        EXPECT_TRUE(state.m_bError);
        EXPECT_EQ(state.m_bPasswordLink, test.m_nCode == 208);
        EXPECT_EQ(view.States().front().m_title, std::string("Регистрация"));
        if (test.m_nCode == 206)
        {
            Escape(); // ignored in this state
            EXPECT_FALSE(view.WaitForEnd(100ms).has_value());
        }
        if (test.m_nCode == 208)
        {
            Click("PASSWORD_LINK");
            EXPECT_EQ(view.OpenedUrls(),
                      std::vector<std::string>{m_settings.m_service.m_strPasswordReminderUrl});
            EXPECT_EQ(view.Messages(), std::vector<std::string>{"Ошибка при открытии гиперссылки"});
            EXPECT_FALSE(view.WaitForEnd(50ms).has_value()) << "the dialog stays";
        }
        Click("LEFT_BUTTON");
        EXPECT_EQ(view.WaitForEnd(), test.m_nEnd) << test.m_nCode;
        m_loop.Send([&] { m_pFlow.reset(); });
    }
    EXPECT_EQ(m_strRegisteredLogin, "");

    m_service.SetSignUpAnswer(0, "");
    m_loop.Send([&] {
        m_pFlow =
            std::make_unique<CUpdateFlow>(CUpdateFlowContext{m_loop, m_view, m_config, m_profile,
                                                             m_strRegisteredLogin, m_settings},
                                          UPDATE_MODE_SIGN_UP, data);
        m_pFlow->Start();
    });
    EXPECT_EQ(ConfirmState(14), UPDATE_END_NOTHING_NEW);
    EXPECT_EQ(m_view.LastState()->m_strAction, "Регистрация завершена");
    EXPECT_TRUE(m_service.GetRequests("/distributor/salt").empty())
        << "sign-up alone signs nobody in";
    EXPECT_EQ(m_strRegisteredLogin, "petrov");
}

TEST_F(UpdateFlowTest, SignUpThenUpdateRetriesTheSaltUntilTheAccountIsKnown)
{
    CRegistrationData data;
    data.SetName("Иван");
    data.SetFamilyName("Петров");
    data.SetEmail("ivan@example.org");
    data.SetLogin("petrov");
    data.SetPassword("новый-пароль");
    m_service.DelaySalt("petrov", 2);
    m_service.AddPackage(1, PackageWith("a", "x"));
    Begin(UPDATE_MODE_SIGN_UP_UPDATE, [&](CUpdateFlow& flow) { flow.SetRegistrationMode(data); });
    EXPECT_EQ(ConfirmState(9), UPDATE_END_DONE);
    EXPECT_EQ(m_service.GetRequests("/distributor/salt").size(), 3u);
    EXPECT_EQ(m_view.StateNumbers().front(), 13);
    const auto versions = m_service.GetRequests("/distributor/client_versions");
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(versions[0].m_lines[1], "petrov");
    EXPECT_EQ(versions[0].m_lines[2], m_service.ExpectedPasswordField("petrov"));
}

TEST_F(UpdateFlowTest, ARefusedSignInEndsWithEight)
{
    m_config.SetPassword("wrong");
    m_service.SetFault("/distributor/salt", EServiceFault::Error, 1, 101, "Пользователь не найден");
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(11));
    EXPECT_EQ(m_view.LastState()->m_strAction, "Пользователь не найден");
    EXPECT_FALSE(m_view.LastState()->m_bProgress);
    EXPECT_EQ(ConfirmState(11), UPDATE_END_SIGN_IN_REFUSED);
}

TEST_F(UpdateFlowTest, APasswordTheServiceRefusesIsAFailedSignInWhereverItShows)
{
    // The salt asks for the login only: a wrong password is refused by the
    // first request that carries it, in mode 0 the client's versions, in the
    // tray the package list.
    m_config.SetPassword("wrong");
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(11));
    EXPECT_EQ(m_view.LastState()->m_strAction, "Неверный логин или пароль");
    EXPECT_EQ(ConfirmState(11), UPDATE_END_SIGN_IN_REFUSED);
    m_loop.Send([&] { m_pFlow.reset(); });

    // Once the password was taken, a later refusal is an error of the update.
    CTestUpdateView view(m_loop);
    m_config.SetPassword("secret");
    m_service.SetFault("/distributor/full_content", EServiceFault::Error, 1, 102,
                       "Неверный логин или пароль");
    m_loop.Send([&] {
        m_pFlow = std::make_unique<CUpdateFlow>(
            CUpdateFlowContext{m_loop, view, m_config, m_profile, m_strRegisteredLogin, m_settings},
            UPDATE_MODE_USER);
        m_pFlow->Start();
    });
    EXPECT_TRUE(view.WaitForState(10)) << ::testing::PrintToString(view.StateNumbers());
    Click("LEFT_BUTTON");
    EXPECT_EQ(view.WaitForEnd(), UPDATE_END_ERROR);
}

TEST_F(UpdateFlowTest, NoServiceIsAFailedSignIn)
{
    m_settings = FastSettings("127.0.0.1", FreeLoopbackPort());
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(11));
    EXPECT_EQ(m_view.LastState()->m_strAction, "Невозможно подключиться к серверу");
    EXPECT_EQ(ConfirmState(11), UPDATE_END_SIGN_IN_REFUSED);
}

TEST_F(UpdateFlowTest, EveryTransportAndProtocolFailureEndsInTheErrorState)
{
    struct CCase
    {
        const char* m_szPath;
        EServiceFault m_fault;
        const char* m_szText;
    };
    const CCase cases[] = {
        {"/distributor/client_versions", EServiceFault::Status500,
         "Невозможно подключиться к серверу"},
        {"/distributor/client_versions", EServiceFault::Error, "Сервис недоступен"},
        {"/distributor/full_content", EServiceFault::CrLf, "Невозможно подключиться к серверу"},
        {"/distributor/full_content", EServiceFault::WrongVersion,
         "Невозможно подключиться к серверу"},
        {"/distributor/full_content", EServiceFault::Oversized,
         "Невозможно подключиться к серверу"},
        {"/distributor/full_content", EServiceFault::EmptyBody,
         "Невозможно подключиться к серверу"},
        {"/distributor/full_content", EServiceFault::Drop, "Невозможно подключиться к серверу"},
        {"/distributor/full_content", EServiceFault::Error, "Сервис недоступен"},
        {"/packages/1.zip", EServiceFault::Status404, "Невозможно подключиться к серверу"},
        {"/packages/1.zip", EServiceFault::Truncated, "Невозможно подключиться к серверу"},
        {"/packages/1.zip", EServiceFault::Drop, "Невозможно подключиться к серверу"},
        {"/packages/1.zip", EServiceFault::Stall, "Невозможно подключиться к серверу"},
    };
    m_service.AddPackage(1, PackageWith("a", "x"));
    for (const auto& test : cases)
    {
        SCOPED_TRACE(std::string(test.m_szPath) + " fault " +
                     std::to_string(static_cast<int>(test.m_fault)));
        CTestUpdateView view(m_loop);
        m_service.SetFault(test.m_szPath, test.m_fault, 1);
        m_loop.Send([&] {
            m_pFlow =
                std::make_unique<CUpdateFlow>(CUpdateFlowContext{m_loop, view, m_config, m_profile,
                                                                 m_strRegisteredLogin, m_settings},
                                              UPDATE_MODE_USER);
            m_pFlow->Start();
        });
        ASSERT_TRUE(view.WaitForState(10)) << ::testing::PrintToString(view.StateNumbers());
        const auto state = *view.LastState();
        EXPECT_EQ(state.m_strAction, test.m_szText);
        EXPECT_TRUE(state.m_bError);
        EXPECT_FALSE(state.m_bProgress);
        EXPECT_EQ(state.m_left, EUpdateButton::Ok);
        Click("LEFT_BUTTON");
        EXPECT_EQ(view.WaitForEnd(), UPDATE_END_ERROR);
        m_loop.Send([&] { m_pFlow.reset(); });
        EXPECT_EQ(m_config.GetContentVersion(), 0);
        EXPECT_TRUE(CWorkerThreads::WaitAll(10s));
        EXPECT_TRUE(std::filesystem::is_empty(m_profile.m_strDownloadDirPath))
            << "no part of a package is kept";
    }
}

TEST_F(UpdateFlowTest, AFailureAfterAnInstalledPackageKeepsItsVersion)
{
    m_service.AddPackage(1, PackageWith("a", "first"));
    m_service.AddPackage(2, "this is not a zip archive");
    Begin(UPDATE_MODE_USER);
    EXPECT_TRUE(m_view.WaitForState(10));
    EXPECT_EQ(m_config.GetContentVersion(), 1);
    EXPECT_EQ(SavedContentVersion(), 1) << "stored at once, so the next run goes on from there";
    EXPECT_FALSE(m_config.m_bActualVersion);
    Escape();
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_STOPPED);
}

TEST_F(UpdateFlowTest, APackageVersionThatIsNoNumberIsRefused)
{
    m_service.AddListedPackage("../../escape", m_service.GetUrl("/packages/1.zip"));
    m_service.AddPackage(1, PackageWith("a", "x"));
    m_config.SetContentVersion(1);
    Begin(UPDATE_MODE_USER);
    EXPECT_EQ(ConfirmState(10), UPDATE_END_ERROR);
    EXPECT_FALSE(CFileUtils::FileExists(m_dir.File("escape.zip")));
    EXPECT_TRUE(m_service.GetRequests("/packages/1.zip").empty());
}

TEST_F(UpdateFlowTest, TrayModeSkipsTheClientAndEndsByItself)
{
    m_service.SetClient("9.9.9.9", "never.exe");
    m_service.AddPackage(1, PackageWith("a", "x"));
    Begin(UPDATE_MODE_TRAY);
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_DONE);
    EXPECT_TRUE(m_service.GetRequests("/distributor/client_versions").empty());
    EXPECT_EQ(m_view.StateNumbers(), (std::vector<int>{0, 6, 7, 8, 9}));
}

TEST_F(UpdateFlowTest, TrayModeEndsAtOnceOnAnError)
{
    m_service.SetFault("/distributor/full_content", EServiceFault::Status500);
    Begin(UPDATE_MODE_TRAY);
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_ERROR);
    EXPECT_EQ(m_view.StateNumbers().back(), 10);
}

TEST_F(UpdateFlowTest, CancellingADownloadRemovesThePartialFile)
{
    m_service.AddPackage(1, std::string(3000000, 'z'));
    m_service.SetFault("/packages/1.zip", EServiceFault::Slow);
    m_service.SetSlowRate(8192, 20ms);
    Begin(UPDATE_MODE_USER);
    ASSERT_TRUE(m_view.WaitForProgress(1));
    EXPECT_TRUE(CFileUtils::FileExists(m_profile.m_strDownloadDirPath + "1.zip"));
    EXPECT_TRUE(CUpdateFlow::IsAnyOpen());
    Click("LEFT_BUTTON");
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_CANCELLED);
    EXPECT_FALSE(CUpdateFlow::IsAnyOpen());
    EXPECT_FALSE(CFileUtils::FileExists(m_profile.m_strDownloadDirPath + "1.zip"));
    EXPECT_TRUE(CWorkerThreads::WaitAll(10s));
    EXPECT_FALSE(CFileUtils::FileExists(m_profile.m_strDownloadDirPath + "1.zip"));
    EXPECT_EQ(m_config.GetContentVersion(), 0);
}

TEST_F(UpdateFlowTest, CancellingTheSecondOfThreePackagesKeepsTheFirst)
{
    m_service.AddPackage(1, PackageWith("a", "first"));
    m_service.AddPackage(2, std::string(3000000, 'z'));
    m_service.AddPackage(3, PackageWith("c", "third"));
    m_service.SetFault("/packages/2.zip", EServiceFault::Slow);
    m_service.SetSlowRate(8192, 20ms);
    Begin(UPDATE_MODE_USER);
    ASSERT_TRUE(m_view.WaitForProgress(34));
    Escape();
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_STOPPED);
    EXPECT_EQ(m_config.GetContentVersion(), 1);
    EXPECT_EQ(Deciphered("Content/docs/a.dat"), "first");
    EXPECT_TRUE(m_service.GetRequests("/packages/3.zip").empty());
}

TEST_F(UpdateFlowTest, ProgressOfOneAndOfThreePackages)
{
    m_service.AddPackage(1, PackageWith("a", std::string(200000, 'a')));
    Begin(UPDATE_MODE_USER);
    EXPECT_EQ(ConfirmState(9), UPDATE_END_DONE);
    for (const auto& [nState, nValue] : m_view.Progress())
    {
        if (nState == 7)
        {
            EXPECT_TRUE(nValue >= 0 && nValue <= 50) << nValue;
        }
        else if (nState == 8)
        {
            EXPECT_TRUE(nValue >= 50 && nValue <= 100) << nValue;
        }
    }
    EXPECT_EQ(m_view.Progress().back(), (std::pair<int, int>{8, 100}));
    m_loop.Send([&] { m_pFlow.reset(); });

    CTestUpdateView view(m_loop);
    m_config.SetContentVersion(1);
    for (int n = 2; n <= 4; ++n)
        m_service.AddPackage(n, PackageWith("p" + std::to_string(n), std::string(100000, 'p')));
    m_loop.Send([&] {
        m_pFlow = std::make_unique<CUpdateFlow>(
            CUpdateFlowContext{m_loop, view, m_config, m_profile, m_strRegisteredLogin, m_settings},
            UPDATE_MODE_USER);
        m_pFlow->Start();
    });
    ASSERT_TRUE(view.WaitForState(9));
    const auto progress = view.Progress();
    int nPackage = -1;
    int nLast = 0;
    for (const auto& [nState, nValue] : progress)
    {
        if (nState == 7 && nValue % 33 == 0 && nValue == (nPackage + 1) * 33)
            ++nPackage; // a new package starts where the last one ended
        const int nBase = std::max(nPackage, 0) * 33;
        if (nState == 7)
        {
            EXPECT_TRUE(nValue >= nBase && nValue <= nBase + 16) << nValue;
        }
        else if (nState == 8 && nValue != 100)
        {
            EXPECT_TRUE(nValue >= nBase + 16 && nValue <= nBase + 33) << nValue;
        }
        EXPECT_GE(nValue, nLast) << "the bar never goes back";
        nLast = nValue;
    }
    EXPECT_EQ(nPackage, 2);
    EXPECT_NE(std::find(progress.begin(), progress.end(), std::pair<int, int>{7, 33}),
              progress.end());
    EXPECT_NE(std::find(progress.begin(), progress.end(), std::pair<int, int>{7, 66}),
              progress.end());
    EXPECT_EQ(progress.back(), (std::pair<int, int>{8, 100}));
    Click("LEFT_BUTTON");
    EXPECT_EQ(view.WaitForEnd(), UPDATE_END_DONE);
    m_loop.Send([&] { m_pFlow.reset(); });
}

TEST_F(UpdateFlowTest, ASingleFileOfTheWebSite)
{
    m_service.AddWebFile("/forms/blank.doc", "form body");
    Begin(UPDATE_MODE_DOWNLOAD_URL, [&](CUpdateFlow& flow) {
        flow.SetDownload(m_service.GetUrl("/forms/blank.doc"), m_dir.File("blank.doc"));
    });
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_DONE);
    EXPECT_EQ(ReadFileText(m_dir.File("blank.doc")), "form body");
    EXPECT_EQ(m_view.States().front().m_strAction, "Загрузка информации с сервера");
    EXPECT_EQ(m_view.States().front().m_title, std::string());
    m_loop.Send([&] { m_pFlow.reset(); });

    CTestUpdateView view(m_loop);
    m_loop.Send([&] {
        m_pFlow = std::make_unique<CUpdateFlow>(
            CUpdateFlowContext{m_loop, view, m_config, m_profile, m_strRegisteredLogin, m_settings},
            UPDATE_MODE_DOWNLOAD_URL);
        m_pFlow->SetDownload(m_service.GetUrl("/forms/missing.doc"), m_dir.File("missing.doc"));
        m_pFlow->Start();
    });
    ASSERT_TRUE(view.WaitForState(10));
    EXPECT_EQ(view.LastState()->m_strAction, "Невозможно загрузить информацию с сервера");
    EXPECT_EQ(view.LastState()->m_title, std::string());
    Click("LEFT_BUTTON");
    EXPECT_EQ(view.WaitForEnd(), UPDATE_END_ERROR);
    m_loop.Send([&] { m_pFlow.reset(); });
}

TEST_F(UpdateFlowTest, CancelFromTheTrayQuits)
{
    m_service.SetFault("/distributor/salt", EServiceFault::Slow);
    m_service.SetSlowRate(1, 200ms);
    Begin(UPDATE_MODE_TRAY);
    EXPECT_TRUE(m_view.WaitForState(0));
    m_loop.Send([&] { m_pFlow->CancelFromTray(); });
    EXPECT_EQ(m_view.WaitForEnd(), UPDATE_END_TRAY_QUIT);
}

namespace
{
class CTestAppHost : public IUpdateAppHost
{
public:
    void QuitApplication() override { m_calls.push_back("quit"); }
    void RefreshMainWindow() override { m_calls.push_back("refresh"); }
    void ReloadData() override { m_calls.push_back("reload"); }
    void SetWaitCursor(bool bWait) override { m_calls.push_back(bWait ? "wait" : "ready"); }
    std::vector<std::string> m_calls;
};
} // namespace

TEST(UpdateApp, ReloadsWhenTheContentChangedAndRecordsTheDateOfACompletedUpdate)
{
    CTempDir dir;
    CScopedEnv env("XDG_CONFIG_HOME", dir.File("config"));
    CRegistryConfig config;
    config.LoadSettings();
    config.SetContentVersion(4);
    CTestAppHost host;
    UpdateAppAfterUpdateData(UPDATE_END_NOTHING_NEW, 4, config, host);
    EXPECT_EQ(host.m_calls, (std::vector<std::string>{"wait", "refresh", "ready"}));
    EXPECT_GT(config.GetLastUpdateYear(), 2000);

    CRegistryConfig other;
    other.LoadSettings();
    other.SetLastUpdateDate(0, 0, 0);
    other.SetContentVersion(5);
    CTestAppHost changed;
    UpdateAppAfterUpdateData(UPDATE_END_STOPPED, 4, other, changed);
    EXPECT_EQ(changed.m_calls, (std::vector<std::string>{"wait", "reload", "ready"}));
    EXPECT_EQ(other.GetLastUpdateYear(), 0) << "a stopped update is not a completed one";

    CTestAppHost quit;
    other.SetContentVersion(0);
    UpdateAppAfterUpdateData(UPDATE_END_TRAY_QUIT, 0, other, quit);
    EXPECT_EQ(quit.m_calls, (std::vector<std::string>{"wait", "quit", "reload", "ready"}));
}
