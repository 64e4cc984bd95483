// The update dialog, the account dialogs and the application's side of the
// update as logic, without a browser but against the fake service over real
// HTTP: every state the dialog shows with its words, buttons and end codes,
// the account checks, where each end code leads, the client offer's rule
// with the window clock, single files of the web site, the silent update in
// the tray and when it runs by itself, when the newer client is offered, and
// quitting during an update.
#include "FakeUpdateService.h"
#include "LoginUserDlg.h"
#include "MainWindow.h"
#include "ProxySettingsDlg.h"
#include "RegistrationUserDlg.h"
#include "SaveFileDlg.h"
#include "StringTable.h"
#include "TestSupport.h"
#include "UiTestContext.h"
#include "UpdateDlg.h"
#include "UpdateTestSupport.h"
#include "WorkerThreads.h"

#include <filesystem>

namespace
{
std::string Package(const std::string& strPage)
{
    CZipBuilder zip;
    zip.Add("Content/" + strPage + ".html", "<html><body><h1>" + strPage + "</h1></body></html>");
    return zip.Bytes();
}

std::string Element(CWnd& wnd, const char* szId)
{
    return wnd.GetHtmlDocument()->GetRoot().FindById(szId).GetText();
}

void ClickId(CWnd& wnd, const char* szId)
{
    Click(wnd, wnd.GetHtmlDocument()->GetRoot().FindById(szId));
}

void Escape(CWnd& wnd)
{
    wnd.GetHtmlDocument()->RaiseKey(0, KEY_DOWN, VK_ESCAPE);
}

void Type(CWnd& wnd, const char* szId, const std::string& strText)
{
    wnd.GetHtmlDocument()->RaiseInput(wnd.GetHtmlDocument()->GetRoot().FindById(szId).GetUid(),
                                      strText);
}

class CTestNotifier : public IUpdateNotifier
{
public:
    void ShowUpdateStarted() override { m_shown.push_back("started"); }
    void ShowUpdateFinished(bool bInstalled) override
    {
        m_shown.push_back(bInstalled ? "installed" : "up to date");
    }
    void ShowUpdateFailed(std::string_view message) override
    {
        m_shown.push_back("failed " + std::string(message));
    }
    std::vector<std::string> m_shown;
};

struct CUpdateWindowsFixture : CWindowsFixture
{
    CUpdateWindowsFixture()
    {
        EXPECT_TRUE(service.Start());
        service.AddAccount("demo", "demo123");
        profile.LoadSettings(dir.File("profile"));
        context.m_pProfile = &profile;
        context.m_strContentFolder = profile.m_strContentDirPath;
        context.m_settings = FastSettings("127.0.0.1", service.GetPort());
        context.m_settings.m_service.m_strPasswordReminderUrl =
            "http://www.kalimor.example/remind_password/";
        context.m_registry.m_nProxyType = PROXY_DIRECT;
        pMain = std::make_unique<CMainWindow>(context, nullptr);
        EXPECT_TRUE(pMain->Create());
        manager.SetMainWindow(pMain.get());
        pMain->MoveWindow(0, 0, 1366, 768);
        pMain->ShowWindow(SW_SHOWMAXIMIZED);
    }
    ~CUpdateWindowsFixture() override
    {
        pMain.reset();
        EXPECT_TRUE(CWorkerThreads::WaitAll(30s)) << "a worker thread was left running";
    }

    // The dialogs over the main window, a dialog's own dialogs after it.
    std::vector<CWnd*> Dialogs(CWnd& owner)
    {
        std::vector<CWnd*> dialogs;
        for (CWnd* pWnd : manager.GetChildren(owner.GetSafeHwnd()))
            if (pWnd->GetKind() == WINDOW_DIALOG)
            {
                dialogs.push_back(pWnd);
                for (CWnd* pInner : Dialogs(*pWnd))
                    dialogs.push_back(pInner);
            }
        return dialogs;
    }
    // The topmost dialog of that class, or null.
    template <typename T> T* Top()
    {
        const std::vector<CWnd*> dialogs = Dialogs(*pMain);
        for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it)
            if (auto* pDialog = dynamic_cast<T*>(*it))
                return pDialog;
        return nullptr;
    }
    // Runs the action in whatever loop is running once the test holds; a
    // test that never holds fails and ends every dialog.
    void When(std::function<bool()> test, std::function<void()> action,
              std::chrono::seconds limit = 20s)
    {
        auto pTimer = std::make_shared<unsigned>(0);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        *pTimer = loop.SetTimer(
            10ms, [this, pTimer, deadline, test = std::move(test), action = std::move(action)] {
                const bool bHolds = test();
                if (!bHolds && std::chrono::steady_clock::now() < deadline)
                    return;
                loop.KillTimer(*pTimer);
                if (bHolds)
                    action();
                else
                {
                    ADD_FAILURE() << "a dialog never came";
                    for (CHTMLayoutDlg* pDialog = Top<CHTMLayoutDlg>(); pDialog;
                         pDialog = Top<CHTMLayoutDlg>())
                        pDialog->EndDialog(-1), pDialog->DestroyWindow();
                }
            });
    }
    void AtState(int nState, std::function<void(CUpdateDlg&)> action)
    {
        When(
            [this, nState] { return Top<CUpdateDlg>() && Top<CUpdateDlg>()->GetState() == nState; },
            [this, action = std::move(action)] { action(*Top<CUpdateDlg>()); });
    }
    template <typename T> void OnDialog(std::function<void(T&)> action)
    {
        When([this] { return Top<T>() != nullptr; },
             [this, action = std::move(action)] { action(*Top<T>()); });
    }
    // The next message dialog's text, noted and the dialog ended.
    void AnswerMessage(std::string& strShown)
    {
        When(
            [this] {
                CHTMLayoutDlg* pTop = Top<CHTMLayoutDlg>();
                return pTop && pTop->GetRootElement().FindById("label").IsValid();
            },
            [this, &strShown] {
                CHTMLayoutDlg& message = *Top<CHTMLayoutDlg>();
                strShown = message.GetRootElement().FindById("label").GetText();
                // A plain message dims the window and shows no picture.
                m_bMessagePlain =
                    pMain->IsShadowMode() &&
                    message.GetRootElement().FindById("image").GetAttribute("class").empty();
                Escape(message);
            });
    }
    bool m_bMessagePlain = false; // of the last message answered
    CUpdateSetup SetupFor(const CFakeUpdateService& server)
    {
        CRequestSettings settings = FastSettings("127.0.0.1", server.GetPort());
        settings.m_service.m_strPasswordReminderUrl = "http://www.kalimor.example/remind_password/";
        return CUpdateSetup{context.m_registry, profile, strRegistered, settings};
    }
    std::string SavedIni() const
    {
        return ReadFileText(dir.File("config") + "/Kalimor/KalimorClnt.ini");
    }

    CTempDir dir;
    CScopedEnv configHome{"XDG_CONFIG_HOME", dir.File("config")};
    CScopedEnv downloads{"XDG_DOWNLOAD_DIR", dir.File("downloads")};
    CProfileConfig profile;
    CFakeUpdateService service;
    std::string strRegistered;
    std::unique_ptr<CMainWindow> pMain;
};

// One state of the update dialog: how it is reached, what it shows, and the
// end code its button and Escape give there.
struct CStateCase
{
    int m_nState;
    const char* m_szHow;
    int m_nMode;
    std::function<void(CFakeUpdateService&, CRequestSettings&)> m_setup;
    std::string m_strText;
    std::string m_strButtons; // the button types, left and right, as "cancel" or "yes no"
    bool m_bProgress;
    int m_nButtonEnd; // after the left button; -1: the flow goes on (checked by m_nNextState)
    int m_nEscapeEnd; // after Escape; -1: Escape is ignored
    int m_nNextState = -1;
    int m_nInstalledFirst = 0; // the state counts once this content version is in
};

void PrintTo(const CStateCase& test, std::ostream* pOut)
{
    *pOut << "state " << test.m_nState << ", " << test.m_szHow;
}

const std::string kWait = "Пожалуйста, подождите несколько минут...";

void Slow(CFakeUpdateService& service, const std::string& strPath)
{
    service.SetFault(strPath, EServiceFault::Slow);
    service.SetSlowRate(1, 300ms);
}

std::vector<CStateCase> StateCases()
{
    using S = CFakeUpdateService;
    using R = CRequestSettings;
    const auto none = [](S&, R&) {};
    const auto newClient = [](S& s, R&) { s.SetClient("2.0.0.1", "kalimor_2.0.0.1.deb"); };
    return {
        {0, "signing in", 0, [](S& s, R&) { Slow(s, "/distributor/salt"); }, kWait, "cancel", false,
         4, 4},
        {2, "asking for a newer client", 0,
         [](S& s, R&) { Slow(s, "/distributor/client_versions"); }, kWait, "cancel", false, 4, 4},
        {3, "a newer client found", 0, newClient,
         "Мы выпустили новую версию программы. Работать с калимором стало еще удобней. Обновить "
         "сейчас?",
         "yes no", false, -1, 4, 12},
        {4, "the newer client downloading", 0,
         [](S& s, R&) {
             s.SetClient("2.0.0.1", "kalimor_2.0.0.1.deb");
             Slow(s, "/client/kalimor_2.0.0.1.deb");
         },
         "Загрузка новой версии клиентского приложения", "cancel", true, 4, 4},
        {5, "the newer client downloaded", 0, newClient, "Клиентское приложение загружено", "ok",
         false, 9, 4},
        {6, "asking for the packages", 0, [](S& s, R&) { Slow(s, "/distributor/full_content"); },
         kWait, "cancel", false, 4, 4},
        {7, "the first package downloading", 0,
         [](S& s, R&) {
             s.AddPackage(1, Package("a"));
             Slow(s, "/packages/1.zip");
         },
         kWait, "cancel", true, 4, 4},
        {7, "the second package downloading", 0,
         [](S& s, R&) {
             s.AddPackage(1, Package("a"));
             s.AddPackage(2, Package("b"));
             Slow(s, "/packages/2.zip");
         },
         kWait, "cancel", true, 1, 1, -1, 1},
        {8, "the package unpacking", 0,
         [](S& s, R& settings) {
             s.AddPackage(1, Package("a"));
             settings.m_finishPause = 3s; // the last unpack holds its full bar this long
         },
         kWait, "cancel", true, 4, 4},
        {9, "every package installed", 0, [](S& s, R&) { s.AddPackage(1, Package("a")); },
         "Обновления загружены", "ok", false, 0, 1},
        {10, "the list refused", 0,
         [](S& s, R&) {
             s.SetFault("/distributor/full_content", EServiceFault::Error, -1, 42,
                        "Сервис недоступен");
         },
         "Сервис недоступен", "ok", false, 5, 4},
        {10, "the second package missing", 0,
         [](S& s, R&) {
             s.AddPackage(1, Package("a"));
             s.AddPackage(2, Package("b"));
             s.SetFault("/packages/2.zip", EServiceFault::Status404);
         },
         "Невозможно подключиться к серверу", "ok", false, 2, 1},
        {11, "signing in refused", 0,
         [](S& s, R&) {
             s.SetFault("/distributor/salt", EServiceFault::Error, -1, 101,
                        "Пользователь не найден");
         },
         "Пользователь не найден", "ok", false, 8, 4},
        {12, "nothing new", 0, none, "Ваша версия калимора актуальна", "ok", false, 3, 3},
        {13, "signing up", 2, [](S& s, R&) { Slow(s, "/export/register_user.php"); },
         "Отправка запроса на сервер...", "cancel", false, 4, 4},
        {14, "signed up", 2, none, "Регистрация завершена", "ok", false, 3, 4},
        {18, "sign-up refused, 204", 2, [](S& s, R&) { s.SetSignUpAnswer(204, "Неверные данные"); },
         "Неверные данные", "ok", false, 7, 4},
        {19, "sign-up refused, 208", 2, [](S& s, R&) { s.SetSignUpAnswer(208, "Логин уже занят"); },
         "Логин уже занят", "ok", false, 4, 4},
        {20, "sign-up refused, 206", 2,
         [](S& s, R&) { s.SetSignUpAnswer(206, "Адрес почты уже известен"); },
         "Адрес почты уже известен", "ok", false, 7, -1},
        {21, "a file of the web site downloading", 6,
         [](S& s, R&) {
             s.AddWebFile("/blanks/f.rtf", std::string(4000, 'x'));
             Slow(s, "/blanks/f.rtf");
         },
         "Загрузка информации с сервера", "cancel", true, 4, 4},
        {23, "the newer client offered", 7, none,
         "Мы выпустили новую версию программы. Работать с калимором стало еще удобней. Обновить "
         "сейчас?",
         "yes no", false, -1, 4},
        {24, "the offered client downloading", 7,
         [](S& s, R&) {
             s.SetClient("2.0.0.1", "kalimor_2.0.0.1.deb");
             Slow(s, "/client/kalimor_2.0.0.1.deb");
         },
         "Загрузка новой версии клиентского приложения", "cancel", true, 4, 4},
        {25, "the offered client downloaded", 7, newClient, "Клиентское приложение загружено", "ok",
         false, 9, 4},
    };
}

std::string ButtonTypes(CWnd& dialog)
{
    std::string strTypes;
    for (const char* szId : {"LEFT_BUTTON", "RIGHT_BUTTON"})
        if (const CElement button = dialog.GetHtmlDocument()->GetRoot().FindById(szId);
            button.IsValid())
            strTypes += (strTypes.empty() ? "" : " ") + button.GetAttribute("button_type");
    return strTypes;
}
} // namespace

// Each state of the update dialog, once answered by its button and once by Escape.
class CUpdateStateTest : public CUpdateWindowsFixture,
                         public ::testing::WithParamInterface<CStateCase>
{
};

TEST_P(CUpdateStateTest, ShowsItsWordsAndButtonsAndEndsWithItsCodes)
{
    const CStateCase& test = GetParam();
    for (const bool bEscape : {false, true})
    {
        SCOPED_TRACE(std::string(test.m_szHow) + (bEscape ? ", Escape" : ", the button"));
        CFakeUpdateService server;
        ASSERT_TRUE(server.Start());
        server.AddAccount("demo", "demo123");
        context.m_registry.SetLogin(test.m_nState == 11 ? "stranger" : "demo");
        context.m_registry.SetPassword("demo123");
        context.m_registry.SetContentVersion(0);
        CUpdateSetup setup = SetupFor(server);
        test.m_setup(server, setup.m_settings);
        CUpdateDlg dialog(context, setup, test.m_nMode, pMain.get());
        CRegistrationData record;
        record.SetLogin("petrov");
        record.SetPassword("secret1");
        if (test.m_nMode == UPDATE_MODE_SIGN_UP)
            dialog.SetRegistration(record);
        if (test.m_nMode == UPDATE_MODE_DOWNLOAD_URL)
            dialog.SetDownload(server.GetUrl("/blanks/f.rtf"), dir.File("f.rtf"));
        if (test.m_nMode == UPDATE_MODE_CLIENT_OFFER)
            dialog.SetClientUrl(server.GetUrl("/client/kalimor_2.0.0.1.deb"));
        // The client's package goes where the save dialog proposes.
        if (test.m_nState == 4 || test.m_nState == 5 || test.m_nState == 24 || test.m_nState == 25)
        {
            AtState(test.m_nState < 20 ? 3 : 23,
                    [](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
            OnDialog<CSaveFileDlg>([](CSaveFileDlg& save) {
                ClickId(save, "btn_save");
                // The package of the run before is there: replaced.
                if (save.GetRootElement().FindById("btn_save").GetAttribute("button_type") ==
                    "replace")
                    ClickId(save, "btn_save");
            });
        }
        std::string strSeen, strButtons;
        bool bProgress = false;
        When(
            [&] {
                const CUpdateDlg* pShown = Top<CUpdateDlg>();
                return pShown && pShown->GetState() == test.m_nState &&
                       context.m_registry.GetContentVersion() >= test.m_nInstalledFirst;
            },
            [&] {
                CUpdateDlg& shown = *Top<CUpdateDlg>();
                strSeen = Element(shown, "action");
                if (test.m_nState == 3 || test.m_nState == 23)
                {
                    EXPECT_NE(
                        shown.GetRootElement().FindById("action").GetHtml().find("class=\"label\""),
                        std::string::npos)
                        << "the offer comes from its notice page";
                }
                strButtons = ButtonTypes(shown);
                bProgress = shown.GetRootElement().FindById("progress_div").IsVisible();
                if (!bEscape)
                    ClickId(shown, test.m_nButtonEnd < 0 ? "RIGHT_BUTTON" : "LEFT_BUTTON");
                else if (test.m_nEscapeEnd >= 0)
                    Escape(shown);
                else
                {
                    // Ignored: the state stays, and its button still answers.
                    Escape(shown);
                    EXPECT_EQ(shown.GetState(), test.m_nState);
                    ClickId(shown, "LEFT_BUTTON");
                }
            });
        if (!bEscape && test.m_nNextState >= 0)
            AtState(test.m_nNextState, [](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
        const int nEnd = dialog.DoModal();
        EXPECT_EQ(strSeen, test.m_strText);
        EXPECT_EQ(strButtons, test.m_strButtons);
        EXPECT_EQ(bProgress, test.m_bProgress);
        if (bEscape)
            EXPECT_EQ(nEnd, test.m_nEscapeEnd >= 0 ? test.m_nEscapeEnd : test.m_nButtonEnd);
        else if (test.m_nButtonEnd >= 0)
            EXPECT_EQ(nEnd, test.m_nButtonEnd);
        else
            EXPECT_EQ(nEnd, test.m_nNextState == 12 ? UPDATE_END_NOTHING_NEW : UPDATE_END_STOPPED)
                << "\"no\" goes on without the client";
        server.Stop();
    }
}

INSTANTIATE_TEST_SUITE_P(UpdateDialog, CUpdateStateTest, ::testing::ValuesIn(StateCases()),
                         [](const ::testing::TestParamInfo<CStateCase>& info) {
                             return "State" + std::to_string(info.param.m_nState) + "_" +
                                    std::to_string(info.index);
                         });

TEST_F(CUpdateWindowsFixture, TheBarShowsTheValueAndTurnsGreenAtTheEnd)
{
    const auto widths = [](const std::string& html) {
        return std::make_pair(html.find("progress_left\" style=\"width:"),
                              html.find("progress_right\" style=\"width:"));
    };
    for (const auto& [nValue, nLeft] :
         std::vector<std::pair<int, int>>{{-5, 0}, {0, 0}, {37, 37}, {100, 100}, {130, 100}})
    {
        const std::string html = CUpdateDlg::BuildProgressHtml(nValue);
        EXPECT_NE(html.find("progress_left\" style=\"width:" + std::to_string(nLeft) + "%"),
                  std::string::npos)
            << nValue;
        EXPECT_NE(html.find("progress_right\" style=\"width:" + std::to_string(100 - nLeft) + "%"),
                  std::string::npos)
            << nValue;
        EXPECT_EQ(html.find("progress_center.png") != std::string::npos, nLeft < 100) << nValue;
        EXPECT_EQ(html.find("progress_right_green.png") != std::string::npos, nLeft == 100)
            << nValue;
        EXPECT_LT(widths(html).first, widths(html).second) << "filled part first";
    }
}

TEST_F(CUpdateWindowsFixture, SignInChecksTheLoginAndPasswordAndSavesThemTrimmed)
{
    struct CCase
    {
        const char* m_szLogin;
        const char* m_szPassword;
        const char* m_szRefusal; // empty: saved
    };
    const CCase cases[] = {
        {"demo user", "demo123", "Введенный логин содержит недопустимые символы"},
        {"демо", "demo123", "Введенный логин содержит недопустимые символы"},
        {"demo", "пароль", "Введенный пароль содержит недопустимые символы"},
        {"demo", "demo 123", "Введенный пароль содержит недопустимые символы"},
        {"", "", ""},
        {"ivanov.i-2", "s3cr#t!", ""},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_szLogin);
        context.m_registry.SetLogin("old");
        CLogCapture log;
        CLoginUserDlg dialog(context, "http://www.kalimor.example/remind_password/", pMain.get());
        std::string strShown;
        OnDialog<CLoginUserDlg>([&](CLoginUserDlg& shown) {
            EXPECT_EQ(shown.GetRootElement().FindById("edit_user_login").GetValue(), "old");
            Type(shown, "edit_user_login", test.m_szLogin);
            Type(shown, "edit_user_password", test.m_szPassword);
            if (*test.m_szRefusal)
                AnswerMessage(strShown);
            ClickId(shown, "btn_login");
            if (*test.m_szRefusal)
                When([&] { return !strShown.empty(); }, [&] { Escape(shown); });
        });
        const int nResult = dialog.DoModal();
        EXPECT_EQ(strShown, test.m_szRefusal);
        EXPECT_TRUE(!*test.m_szRefusal || m_bMessagePlain) << "a plain message";
        EXPECT_FALSE(pMain->IsShadowMode()) << "the shadow goes with the message";
        EXPECT_EQ(nResult,
                  *test.m_szRefusal ? CLoginUserDlg::LOGIN_CANCELLED : CLoginUserDlg::LOGIN_SAVED);
        EXPECT_EQ(context.m_registry.GetLogin(), *test.m_szRefusal ? "old" : test.m_szLogin);
        if (!*test.m_szRefusal && *test.m_szPassword)
        {
            EXPECT_NE(SavedIni().find("Login=" + std::string(test.m_szLogin)), std::string::npos);
            EXPECT_FALSE(log.Contains(test.m_szPassword)) << "a password is never logged";
        }
    }
}

TEST_F(CUpdateWindowsFixture, SignUpChecksItsFieldsInOrder)
{
    using F = CRegistrationUserDlg::CFields;
    struct CCase
    {
        F m_fields;
        const char* m_szRefusal;
    };
    const CCase cases[] = {
        {{"Иван", "Петров", "ivan@example.org", "ab", "secret1", "secret1"},
         "Длина логина должна быть не менее 3-х символов"},
        {{"Иван", "Петров", "ivan@example.org", "петров", "12345", "12345"},
         "Длина пароля должна быть не менее 6-ти символов"},
        {{"Иван", "Петров", "ivan@example.org", "pet rov", "secret1", "secret1"},
         "Введенный логин содержит недопустимые символы"},
        {{"Иван", "Петров", "ivan@example.org", "petrov", "секрет1", "секрет1"},
         "Введенный пароль содержит недопустимые символы"},
        {{"Иван", "", "ivan@example.org", "petrov", "secret1", "secret1"}, "Заполнены не все поля"},
        {{"Иван", "Петров", "  ", "petrov", "secret1", "secret1"}, "Заполнены не все поля"},
        {{"Иван", "Петров", "ivan@example.org", "petrov", "secret1", "secret2"},
         "Различаются введённый пароль и подтверждение пароля"},
        {{" Иван ", "Петров", "ivan@example.org", " petrov", "secret1 ", "secret1"}, ""},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_fields.m_strLogin + "/" + test.m_fields.m_strPassword);
        CRegistrationData record;
        record.SetCity("Тверь");
        CRegistrationUserDlg dialog(record, pMain.get());
        std::string strShown;
        OnDialog<CRegistrationUserDlg>([&](CRegistrationUserDlg& shown) {
            const F& f = test.m_fields;
            for (const auto& [szId, strValue] : std::vector<std::pair<const char*, std::string>>{
                     {"edit_name", f.m_strName},
                     {"edit_last_name", f.m_strFamilyName},
                     {"email", f.m_strEmail},
                     {"edit_logn", f.m_strLogin},
                     {"edit_password", f.m_strPassword},
                     {"edit_confirm_password", f.m_strConfirmation}})
                Type(shown, szId, strValue);
            if (*test.m_szRefusal)
            {
                AnswerMessage(strShown);
                When([&] { return !strShown.empty(); }, [&] { Escape(shown); });
            }
            ClickId(shown, "btn_registration");
        });
        const int nResult = dialog.DoModal();
        EXPECT_EQ(strShown, test.m_szRefusal);
        EXPECT_TRUE(!*test.m_szRefusal || m_bMessagePlain) << "a plain message";
        if (*test.m_szRefusal)
            continue;
        EXPECT_EQ(nResult, CRegistrationUserDlg::SIGN_UP_CONFIRMED);
        EXPECT_EQ(dialog.GetRecord().GetName(), "Иван");
        EXPECT_EQ(dialog.GetRecord().GetLogin(), "petrov");
        EXPECT_EQ(dialog.GetRecord().GetPassword(), "secret1");
        EXPECT_EQ(dialog.GetRecord().GetCity(), "Тверь") << "fields the form does not hold stay";
    }
}

TEST_F(CUpdateWindowsFixture, ProxySettingsAreCheckedForAGivenProxyAndSavedOnlyByOk)
{
    context.m_registry.m_nProxyType = PROXY_SYSTEM;
    context.m_registry.m_strProxyHost = "cache.local";
    context.m_registry.m_nProxyPort = 3128;
    context.m_registry.SaveSettings();
    const std::string strStored = SavedIni();
    struct CCase
    {
        const char* m_szRadio;
        const char* m_szServer;
        const char* m_szPort;
        const char* m_szRefusal;
    };
    // A refusal keeps the dialog; Escape then ends it and nothing is saved.
    for (const CCase& test : {CCase{"radio_specify", "proxy", "abc", "Не указан номер порта"},
                              CCase{"radio_specify", "proxy", "70000", "Не указан номер порта"},
                              CCase{"radio_specify", "  ", "8080", "Не указан адрес прокси"},
                              CCase{"radio_direct", "", "", ""}})
    {
        SCOPED_TRACE(std::string(test.m_szRadio) + " " + test.m_szPort);
        CProxySettingsDlg dialog(context.m_registry, pMain.get());
        std::string strShown;
        OnDialog<CProxySettingsDlg>([&](CProxySettingsDlg& shown) {
            EXPECT_EQ(shown.GetCheckedType(), PROXY_SYSTEM);
            EXPECT_EQ(shown.GetRootElement().FindById("edit_port").GetValue(), "3128");
            ClickId(shown, test.m_szRadio);
            Type(shown, "edit_server", test.m_szServer);
            Type(shown, "edit_port", test.m_szPort);
            if (*test.m_szRefusal)
            {
                AnswerMessage(strShown);
                When([&] { return !strShown.empty(); }, [&] { Escape(shown); });
            }
            ClickId(shown, "btn_ok");
        });
        const int nResult = dialog.DoModal();
        EXPECT_EQ(strShown, test.m_szRefusal);
        EXPECT_TRUE(!*test.m_szRefusal || m_bMessagePlain) << "a plain message";
        if (*test.m_szRefusal)
        {
            EXPECT_EQ(nResult, CProxySettingsDlg::PROXY_CANCELLED);
            EXPECT_EQ(SavedIni(), strStored) << "Escape leaves the stored settings";
            EXPECT_EQ(context.m_registry.m_nProxyType, PROXY_SYSTEM);
        }
        else
        {
            // "Direct" saves whatever the fields hold.
            EXPECT_EQ(nResult, CProxySettingsDlg::PROXY_SAVED);
            EXPECT_EQ(context.m_registry.m_nProxyType, PROXY_DIRECT);
            EXPECT_EQ(context.m_registry.m_nProxyPort, 0);
            EXPECT_NE(SavedIni().find("ProxyType=1"), std::string::npos);
        }
    }
}

TEST_F(CUpdateWindowsFixture, AWrongPasswordBringsTheSignInBackAndTheUpdateRunsOnceItIsRight)
{
    service.AddPackage(1, Package("a"));
    context.m_registry.SetLogin("demo");
    context.m_registry.SetPassword("wrong");
    pMain->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForTaxCalendar({2026, 2, 25})),
                        true);
    ASSERT_TRUE(pMain->GetMovementHistory().CanMoveBackward());
    AtState(11, [](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
    OnDialog<CLoginUserDlg>([](CLoginUserDlg& shown) {
        Type(shown, "edit_user_password", "demo123");
        ClickId(shown, "btn_login");
    });
    AtState(9, [](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
    pMain->OnUpdateButton();
    EXPECT_EQ(context.m_registry.GetPassword(), "demo123");
    EXPECT_EQ(context.m_registry.GetContentVersion(), 1);
    EXPECT_EQ(context.m_nReloads, 1) << "the content is read again";
    EXPECT_FALSE(pMain->GetMovementHistory().CanMoveBackward()) << "the history is back at home";
    EXPECT_GT(context.m_registry.GetLastUpdateYear(), 2000);
    EXPECT_FALSE(pMain->GetUpdates().IsRunning());
}

TEST_F(CUpdateWindowsFixture, ARefusedSignUpShowsTheFormAgainAndAKnownLoginOffersTheReminder)
{
    // No account stored: the update button opens the sign-in dialog, whose
    // link leads to the sign-up form.
    context.m_registry.SetLogin("");
    service.SetSignUpAnswer(204, "Неверный адрес почты");
    OnDialog<CLoginUserDlg>([](CLoginUserDlg& shown) { ClickId(shown, "link_register"); });
    int nForms = 0;
    const auto fill = [&](CRegistrationUserDlg& form) {
        ++nForms;
        if (nForms == 1)
        {
            Type(form, "edit_name", "Иван");
            Type(form, "edit_last_name", "Петров");
            Type(form, "email", "ivan@example");
            Type(form, "edit_logn", "petrov");
            Type(form, "edit_password", "secret1");
            Type(form, "edit_confirm_password", "secret1");
        }
        else
            EXPECT_EQ(form.GetRootElement().FindById("edit_logn").GetValue(), "petrov")
                << "the same record";
        ClickId(form, "btn_registration");
    };
    OnDialog<CRegistrationUserDlg>(fill);
    AtState(18, [&](CUpdateDlg& shown) {
        EXPECT_FALSE(shown.GetRootElement().FindById("PASSWORD_LINK").IsVisible());
        service.SetSignUpAnswer(208, "Такой логин уже есть");
        OnDialog<CRegistrationUserDlg>(fill);
        ClickId(shown, "LEFT_BUTTON");
    });
    AtState(19, [&](CUpdateDlg& shown) {
        EXPECT_TRUE(shown.GetRootElement().FindById("PASSWORD_LINK").IsVisible());
        ClickId(shown, "PASSWORD_LINK");
        EXPECT_EQ(shown.GetState(), 19) << "the dialog stays";
        ClickId(shown, "LEFT_BUTTON");
    });
    pMain->OnUpdateButton();
    EXPECT_EQ(nForms, 2);
    EXPECT_EQ(context.m_opened,
              std::vector<std::string>{"http://www.kalimor.example/remind_password/"});
    EXPECT_EQ(context.m_registry.GetLogin(), "") << "a refused account is not kept";
    EXPECT_EQ(service.GetRequests("/export/register_user.php").size(), 2u);
}

TEST_F(CUpdateWindowsFixture, ASignUpThatTheServiceTakesIsKeptAndTheUpdateFollows)
{
    service.AddPackage(1, Package("a"));
    context.m_registry.SetLogin("");
    OnDialog<CLoginUserDlg>([](CLoginUserDlg& shown) { ClickId(shown, "link_register"); });
    OnDialog<CRegistrationUserDlg>([](CRegistrationUserDlg& form) {
        for (const auto& [szId, szValue] :
             std::vector<std::pair<const char*, const char*>>{{"edit_name", "Иван"},
                                                              {"edit_last_name", "Петров"},
                                                              {"email", "ivan@example.org"},
                                                              {"edit_logn", "petrov"},
                                                              {"edit_password", "secret1"},
                                                              {"edit_confirm_password", "secret1"}})
            Type(form, szId, szValue);
        ClickId(form, "btn_registration");
    });
    AtState(9, [](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
    pMain->OnUpdateButton();
    EXPECT_EQ(context.m_registry.GetLogin(), "petrov");
    EXPECT_EQ(context.m_registry.GetPassword(), "secret1");
    EXPECT_NE(SavedIni().find("Login=petrov"), std::string::npos);
    EXPECT_EQ(context.m_registry.GetContentVersion(), 1);
}

TEST(ClientOffer, OnceInSevenDaysWhenTheWindowIsInFrontAndNoUpdateRuns)
{
    constexpr std::time_t tNow = 1'800'000'000, tDay = std::time_t{24} * 60 * 60;
    struct CCase
    {
        bool m_bUrl, m_bRunning, m_bForeground, m_bOffered;
        std::time_t m_tLast;
        bool m_bOffer;
    };
    const CCase cases[] = {
        {true, false, true, false, 0, true},
        {false, false, true, false, 0, false},
        {true, true, true, false, 0, false},
        {true, false, false, false, 0, false},
        {true, false, true, true, tNow - 7 * tDay + 1, false},
        {true, false, true, true, tNow - 7 * tDay, true},
        {true, false, true, true, tNow + tDay, true}, // the clock was set back
    };
    for (const CCase& test : cases)
        EXPECT_EQ(CUpdateController::ShouldOfferClient(test.m_bUrl, test.m_bRunning,
                                                       test.m_bForeground, test.m_bOffered,
                                                       test.m_tLast, tNow),
                  test.m_bOffer)
            << test.m_bUrl << test.m_bRunning << test.m_bForeground << test.m_bOffered << " "
            << tNow - test.m_tLast;
}

TEST_F(CUpdateWindowsFixture, TheOfferTimerOffersTheNewerClientByTheWindowClock)
{
    service.SetClient("2.0.0.1", "kalimor_2.0.0.1.deb");
    const auto tick = [&] { pMain->SendMessage(WM_TIMER, TIMER_CLIENT_OFFER); };
    int nOffers = 0;
    const auto decline = [&] {
        AtState(23, [&](CUpdateDlg& shown) {
            ++nOffers;
            ClickId(shown, "RIGHT_BUTTON");
        });
    };
    tick();
    EXPECT_EQ(nOffers, 0) << "nothing is known of a newer client yet";
    pMain->SendMessage(WM_NEW_CLIENT_URL, 0,
                       reinterpret_cast<std::intptr_t>(
                           new std::string(service.GetUrl("/client/kalimor_2.0.0.1.deb"))));
    decline();
    tick();
    EXPECT_EQ(nOffers, 1);
    context.m_tNow += std::time_t{6} * 24 * 3600;
    tick();
    context.m_tNow += std::time_t{24} * 3600;
    context.m_bTray = true;
    tick();
    EXPECT_EQ(nOffers, 1) << "not within seven days, not in the tray";
    context.m_bTray = false;
    // Accepted: the package is saved where the user chose and its folder opened.
    AtState(23, [&](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
    OnDialog<CSaveFileDlg>([&](CSaveFileDlg& save) {
        EXPECT_EQ(save.GetRootElement().FindById("edit_file_name").GetValue(),
                  "kalimor_2.0.0.1.deb");
        EXPECT_EQ(save.GetRootElement().FindById("edit_folder").GetValue(), dir.File("downloads"));
        ClickId(save, "btn_save");
    });
    std::string strDetail;
    AtState(25, [&](CUpdateDlg& shown) {
        strDetail = Element(shown, "detail");
        ClickId(shown, "LEFT_BUTTON");
    });
    tick();
    EXPECT_NE(strDetail.find(dir.File("downloads")), std::string::npos) << strDetail;
    EXPECT_EQ(pMain->GetUpdates().GetInstallerPath(), dir.File("downloads/kalimor_2.0.0.1.deb"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("downloads/kalimor_2.0.0.1.deb")));
    EXPECT_EQ(context.m_opened, std::vector<std::string>{dir.File("downloads")})
        << "its folder, never the package";
    EXPECT_TRUE(pMain->IsWindow()) << "the client goes on";
}

TEST_F(CUpdateWindowsFixture, TheSaveDialogAsksBeforeReplacingAFile)
{
    WriteFileText(dir.File("downloads/kalimor.deb"), "old");
    CSaveFileDlg dialog(dir.File("downloads"), "kalimor.deb", pMain.get());
    std::string strWarning;
    OnDialog<CSaveFileDlg>([&](CSaveFileDlg& shown) {
        Type(shown, "edit_file_name", "../kalimor.deb");
        ClickId(shown, "btn_save");
        EXPECT_EQ(Element(shown, "save_warning"), "Укажите имя файла");
        Type(shown, "edit_file_name", "kalimor.deb");
        ClickId(shown, "btn_save");
        strWarning = Element(shown, "save_warning");
        EXPECT_EQ(shown.GetRootElement().FindById("btn_save").GetAttribute("button_type"),
                  "replace");
        ClickId(shown, "btn_save");
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_NE(strWarning.find("Заменить"), std::string::npos);
    EXPECT_EQ(dialog.GetPath(), dir.File("downloads/kalimor.deb"));
}

TEST_F(CUpdateWindowsFixture, FilesOfTheWebSiteComeOnceAndOnlyWhole)
{
    const std::string strDocs = context.GetDocumentsFolder();
    service.AddWebFile("/blanks/files/form.rtf", "{\\rtf1 form}");
    WriteFileText(strDocs + "blanks/files/local.rtf", "local");
    // A file the library holds is used at once.
    EXPECT_EQ(pMain->DownloadContentFile("/blanks/files/local.rtf"),
              strDocs + "blanks/files/local.rtf");
    // One it lacks comes through the dialog, then from the disk.
    std::string strTitle;
    AtState(21, [&](CUpdateDlg& shown) { strTitle = Element(shown, "title"); });
    EXPECT_EQ(pMain->DownloadContentFile("/blanks/files/form.rtf"),
              strDocs + "blanks/files/form.rtf");
    EXPECT_EQ(strTitle, "\u00a0") << "the single file's dialog has no title";
    EXPECT_EQ(ReadFileText(strDocs + "blanks/files/form.rtf"), "{\\rtf1 form}");
    EXPECT_EQ(pMain->DownloadContentFile("/blanks/files/form.rtf"),
              strDocs + "blanks/files/form.rtf");
    EXPECT_EQ(service.GetRequests("/blanks/files/form.rtf").size(), 1u);
    // A failed download leaves nothing that could pass for the file.
    service.AddWebFile("/blanks/files/cut.rtf", std::string(100000, 'x'));
    service.SetFault("/blanks/files/cut.rtf", EServiceFault::Truncated);
    AtState(10, [](CUpdateDlg& shown) { ClickId(shown, "LEFT_BUTTON"); });
    EXPECT_EQ(pMain->DownloadContentFile("/blanks/files/cut.rtf"), "");
    EXPECT_FALSE(std::filesystem::exists(strDocs + "blanks/files/cut.rtf"));
    EXPECT_FALSE(std::filesystem::exists(strDocs + "blanks/files/cut.rtf.download"));
    // An address that leads out of the library is refused without a request.
    EXPECT_EQ(pMain->DownloadContentFile("/../../config/x.rtf"), "");
    EXPECT_EQ(pMain->DownloadContentFile("/"), "");
    std::vector<std::string> paths;
    for (const CServiceRequest& request : service.GetRequests())
        if (request.m_strPath.starts_with("/blanks/") ||
            !request.m_strPath.starts_with("/distributor/"))
            paths.push_back(request.m_strPath);
    EXPECT_EQ(paths, (std::vector<std::string>{"/blanks/files/form.rtf", "/blanks/files/cut.rtf"}));
}

TEST_F(CUpdateWindowsFixture, InTheTrayTheUpdateRunsUnseenAndTellsTheDesktop)
{
    CTestNotifier notifier;
    context.m_pNotifier = &notifier;
    service.AddPackage(1, Package("a"));
    context.m_registry.SetLogin("demo");
    context.m_registry.SetPassword("demo123");
    context.m_bTray = true;
    context.m_registry.m_bAutoUpdate = false;
    pMain->OnScheduledUpdate();
    EXPECT_TRUE(notifier.m_shown.empty()) << "only when the user asked for automatic updates";
    context.m_registry.m_bAutoUpdate = true;
    bool bHidden = false;
    AtState(7, [&](CUpdateDlg& shown) {
        bHidden = !shown.HasVisibleStyle() && !pMain->IsShadowMode();
    });
    pMain->SendMessage(WM_TIMER, TIMER_CLIENT_VERSION);
    EXPECT_TRUE(bHidden);
    EXPECT_EQ(context.m_registry.GetContentVersion(), 1);
    EXPECT_EQ(notifier.m_shown, (std::vector<std::string>{"started", "installed"}));
    EXPECT_TRUE(service.GetRequests("/distributor/client_versions").size() >= 1u);
    EXPECT_EQ(context.m_nReloads, 1);

    // Brought out of the tray while it runs, it shows, dimming the window
    // until it ends.
    service.AddPackage(2, Package("b"));
    bool bShownDimmed = false;
    AtState(7, [&](CUpdateDlg& shown) {
        pMain->SendMessage(WM_OPEN_FROM_TRAY);
        bShownDimmed = shown.HasVisibleStyle() && pMain->IsShadowMode();
    });
    pMain->OnAppUpdate(true);
    EXPECT_TRUE(bShownDimmed);
    EXPECT_FALSE(pMain->IsShadowMode()) << "the shadow goes with the dialog";
    EXPECT_EQ(context.m_registry.GetContentVersion(), 2);
    context.m_bTray = true;

    // A failure ends it at once, and is told.
    service.SetFault("/distributor/update_content", EServiceFault::Error, -1, 42,
                     "Сервис недоступен");
    pMain->OnAppUpdate(true);
    EXPECT_EQ(notifier.m_shown.back(), "failed Сервис недоступен");
}

TEST_F(CUpdateWindowsFixture, TheScheduledUpdateRunsOnlyInTheTrayWithAutomaticUpdatesOn)
{
    CTestNotifier notifier;
    context.m_pNotifier = &notifier;
    context.m_registry.SetLogin("demo");
    context.m_registry.SetPassword("demo123");
    struct CCase
    {
        bool m_bTimer; // the version timer, else the message posted at a start into the tray
        bool m_bTray;
        bool m_bAutoUpdate;
        bool m_bRuns;
    };
    const CCase cases[] = {
        {true, false, false, false}, {true, false, true, false},  {true, true, false, false},
        {true, true, true, true},    {false, false, true, false}, {false, true, false, false},
        {false, true, true, true},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(std::string(test.m_bTimer ? "timer" : "message") + " tray " +
                     std::to_string(test.m_bTray) + " automatic " +
                     std::to_string(test.m_bAutoUpdate));
        notifier.m_shown.clear();
        context.m_bTray = test.m_bTray;
        context.m_registry.m_bAutoUpdate = test.m_bAutoUpdate;
        if (test.m_bTimer)
            pMain->SendMessage(WM_TIMER, TIMER_CLIENT_VERSION);
        else
            pMain->SendMessage(WM_SCHEDULED_UPDATE);
        EXPECT_EQ(!notifier.m_shown.empty(), test.m_bRuns);
        EXPECT_FALSE(pMain->GetUpdates().IsRunning());
    }
}

TEST_F(CUpdateWindowsFixture, TheOfferTimerOffersOnlyWhileTheWindowIsInFront)
{
    service.SetClient("2.0.0.1", "kalimor_2.0.0.1.deb");
    pMain->SendMessage(WM_NEW_CLIENT_URL, 0,
                       reinterpret_cast<std::intptr_t>(
                           new std::string(service.GetUrl("/client/kalimor_2.0.0.1.deb"))));
    // Every offer that shows is declined and noted; none has to come.
    bool bOffered = false;
    const unsigned nWatch = loop.SetTimer(10ms, [&] {
        CUpdateDlg* pShown = Top<CUpdateDlg>();
        if (pShown && pShown->GetState() == 23)
        {
            bOffered = true;
            ClickId(*pShown, "RIGHT_BUTTON");
        }
    });
    struct CCase
    {
        bool m_bActive;
        bool m_bVisible;
        bool m_bTray;
        bool m_bOffer;
    };
    const CCase cases[] = {
        {false, true, false, false},
        {true, false, false, false},
        {true, true, true, false},
        {true, true, false, true},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(std::string("active ") + std::to_string(test.m_bActive) + " visible " +
                     std::to_string(test.m_bVisible) + " tray " + std::to_string(test.m_bTray));
        bOffered = false;
        context.m_tNow += std::time_t{8} * 24 * 3600; // past the pause after an earlier offer
        pMain->OnActivate(test.m_bActive);
        pMain->ShowWindow(test.m_bVisible ? SW_SHOWMAXIMIZED : SW_HIDE);
        context.m_bTray = test.m_bTray;
        pMain->SendMessage(WM_TIMER, TIMER_CLIENT_OFFER);
        EXPECT_EQ(bOffered, test.m_bOffer);
    }
    loop.KillTimer(nWatch);
}

// "Выход" and the stop message quit the client whatever the update dialog
// shows: a quit ends the process's loop, so each case has a fixture of its own.
struct CQuitCase
{
    const char* m_szMode;
    int m_nState;        // where the quit comes
    bool m_bStopMessage; // the stop message of a second start, else "Выход"
};

class CQuitDuringUpdateTest : public CUpdateWindowsFixture,
                              public ::testing::WithParamInterface<CQuitCase>
{
};

TEST_P(CQuitDuringUpdateTest, EndsTheClient)
{
    const CQuitCase& test = GetParam();
    SCOPED_TRACE(std::string(test.m_szMode) + (test.m_bStopMessage ? ", stop message" : ", Выход"));
    service.AddWebFile("/blanks/files/slow.rtf", std::string(4096, 'x'));
    service.SetFault("/blanks/files/slow.rtf", EServiceFault::Slow);
    service.AddPackage(1, Package("a"));
    service.SetFault("/packages/1.zip", EServiceFault::Slow);
    service.SetSlowRate(16, 200ms);
    context.m_registry.SetLogin("demo");
    context.m_registry.SetPassword("demo123");
    bool bQuit = false;
    AtState(test.m_nState, [&](CUpdateDlg&) {
        bQuit = true;
        if (test.m_bStopMessage)
            pMain->SendMessage(WM_STOP_KALIMOR);
        else
            pMain->OnCommand(ID_APP_EXIT); // the tray's and the top panel's menu
    });
    const std::string strMode = test.m_szMode;
    if (strMode == "update button")
        pMain->OnUpdateButton();
    else if (strMode == "scheduled update")
        pMain->GetUpdates().UpdateData(true);
    else if (strMode == "single file")
        EXPECT_EQ(pMain->DownloadContentFile("/blanks/files/slow.rtf"), "");
    else
        pMain->GetUpdates().NotifyUserAboutClientUpdate(service.GetUrl("/client/k.deb"), true);
    EXPECT_TRUE(bQuit);
    EXPECT_FALSE(pMain->GetUpdates().IsRunning());
    Drain();
    EXPECT_FALSE(pMain->IsWindow()) << "the client quits";
    EXPECT_FALSE(std::filesystem::exists(context.GetDocumentsFolder() + "blanks/files/slow.rtf"));
    EXPECT_EQ(context.m_registry.GetContentVersion(), 0) << "nothing installed";
}

INSTANTIATE_TEST_SUITE_P(
    EveryMode, CQuitDuringUpdateTest,
    ::testing::Values(CQuitCase{"update button", 7, true}, CQuitCase{"update button", 7, false},
                      CQuitCase{"scheduled update", 7, true},
                      CQuitCase{"scheduled update", 7, false}, CQuitCase{"single file", 21, true},
                      CQuitCase{"single file", 21, false}, CQuitCase{"client offer", 23, true},
                      CQuitCase{"client offer", 23, false}));

TEST_F(CUpdateWindowsFixture, QuittingDuringADownloadCancelsItAndLeavesTheContentAsItWas)
{
    service.AddPackage(1, Package("a"));
    service.SetFault("/packages/1.zip", EServiceFault::Slow);
    service.SetSlowRate(16, 200ms);
    context.m_registry.SetLogin("demo");
    context.m_registry.SetPassword("demo123");
    AtState(7, [&](CUpdateDlg&) {
        When([&] { return std::filesystem::exists(profile.m_strDownloadDirPath + "1.zip"); },
             [&] { pMain->SendMessage(WM_STOP_KALIMOR); });
    });
    pMain->OnUpdateButton();
    EXPECT_FALSE(pMain->GetUpdates().IsRunning());
    EXPECT_FALSE(std::filesystem::exists(profile.m_strDownloadDirPath + "1.zip"))
        << "no partial package";
    EXPECT_FALSE(std::filesystem::exists(profile.m_strContentDirPath + "Content/a.dat"));
    EXPECT_EQ(context.m_registry.GetContentVersion(), 0);
    // The stop comes back once the dialog has ended, and closes the window.
    Drain();
    EXPECT_FALSE(pMain->IsWindow());
}
