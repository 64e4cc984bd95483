#include "FakeUpdateService.h"
#include "FileUtils.h"
#include "HttpReqGetFile.h"
#include "HttpReqRegisterUser.h"
#include "HttpSession.h"
#include "ServiceRequests.h"
#include "TestSupport.h"
#include "UpdateTestSupport.h"
#include "WorkerThreads.h"

#include <gtest/gtest.h>

#include <atomic>

namespace
{
// Records which handlers a request called.
class CHandlerProbe
{
public:
    CRequestHandlers Handlers()
    {
        CRequestHandlers handlers;
        handlers.m_success = [this] { Note(m_nSuccess); };
        handlers.m_error = [this] { Note(m_nError); };
        handlers.m_progress = [this](unsigned n) {
            std::lock_guard lock(m_mutex);
            m_progress.push_back(n);
            m_changed.notify_all();
        };
        return handlers;
    }
    // True when a handler ran in time.
    bool Wait(std::chrono::milliseconds timeout = 20s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_nSuccess + m_nError > 0; });
    }
    bool WaitForProgress(std::chrono::milliseconds timeout = 20s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return !m_progress.empty(); });
    }
    int Successes() const { return m_nSuccess; }
    int Errors() const { return m_nError; }
    std::vector<unsigned> Progress()
    {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }

private:
    void Note(std::atomic<int>& nCount)
    {
        std::lock_guard lock(m_mutex);
        ++nCount;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<int> m_nSuccess{0};
    std::atomic<int> m_nError{0};
    std::vector<unsigned> m_progress;
};

class HttpRequestTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_service.Start());
        m_service.AddAccount("ivanov", "secret");
        m_settings = FastSettings("127.0.0.1", m_service.GetPort());
    }
    void TearDown() override
    {
        EXPECT_TRUE(CWorkerThreads::WaitAll(30s)) << "a worker thread was left running";
        m_service.Stop();
    }

    // Runs a POST through a session and returns the answer.
    std::string Post(const std::string& strPath, const std::string& strBody,
                     const CHttpSettings& settings)
    {
        CHttpSession session;
        session.Initialize(settings);
        session.Open("127.0.0.1", m_service.GetPort());
        CMemFile file(std::vector<std::uint8_t>(strBody.begin(), strBody.end()));
        CHttpFileTransfer input(&file, 0);
        CHttpBufferOutput output;
        session.Post(strPath, input, output);
        return std::string(output.GetData().begin(), output.GetData().end());
    }

    CFakeUpdateService m_service;
    CRequestSettings m_settings;
    CTempDir m_dir;
};
} // namespace

TEST_F(HttpRequestTest, PostSendsTheBodyWithTheClientsHeadersAndWaitsOneSecondAfterTheEnd)
{
    CHttpSettings settings; // the real end-of-body rule: ten empty reads 100 ms apart
    settings.m_nProxyType = PROXY_DIRECT;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Post("/distributor/salt", "1\nivanov", settings),
              "OK\n1\n" + CFakeUpdateService::SaltFor("ivanov"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 950ms);

    m_service.SetFault("/distributor/salt", EServiceFault::EmptyBody);
    EXPECT_EQ(Post("/distributor/salt", "1\nivanov", settings), "");

    const auto requests = m_service.GetRequests("/distributor/salt");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].m_strMethod, "POST");
    EXPECT_EQ(requests[0].m_strBody, "1\nivanov");
    EXPECT_EQ(requests[0].m_strUserAgent, "Kalimor WinClient 1.3.0.156");
    EXPECT_EQ(requests[0].m_strContentType, "application/x-www-form-urlencoded");
}

TEST_F(HttpRequestTest, StatusOtherThan200AndBrokenTransfersThrowAfterLogging)
{
    for (const auto fault : {EServiceFault::Status404, EServiceFault::Status500})
    {
        CLogCapture log(1);
        m_service.SetFault("/packages/1.zip", fault);
        m_service.AddPackage(1, "payload");
        CHttpSession session;
        session.Initialize(m_settings.m_http);
        session.Open("127.0.0.1", m_service.GetPort());
        CHttpFileOutput output;
        output.Open(m_dir.File("1.zip"));
        EXPECT_THROW(session.Get("/packages/1.zip", output), CHTTPException);
        output.Close();
        EXPECT_TRUE(log.Contains(fault == EServiceFault::Status404 ? "Http get error: 404"
                                                                   : "Http get error: 500"))
            << log.Text();
        EXPECT_EQ(ReadFileText(m_dir.File("1.zip")), "") << "no body byte is written";
    }
    {
        CLogCapture log(1);
        m_service.SetFault("/distributor/salt", EServiceFault::Status500);
        EXPECT_THROW(Post("/distributor/salt", "1\nivanov", m_settings.m_http), CHTTPException);
        EXPECT_TRUE(log.Contains("Http get error: 500"));
    }
    for (const auto fault : {EServiceFault::Truncated, EServiceFault::Drop})
    {
        CLogCapture log(1);
        m_service.AddPackage(2, std::string(300000, 'z'));
        m_service.SetFault("/packages/2.zip", fault);
        CHttpSession session;
        session.Initialize(m_settings.m_http);
        session.Open("127.0.0.1", m_service.GetPort());
        CHttpFileOutput output;
        output.Open(m_dir.File("2.zip"));
        EXPECT_THROW(session.Get("/packages/2.zip", output), CHTTPException);
        EXPECT_TRUE(log.Contains(
            "Exception on CHttpSession::Get can't read data. CInternetException.code="))
            << log.Text();
    }
    {
        CLogCapture log(1);
        CHttpSession session;
        session.Initialize(m_settings.m_http);
        session.Open("127.0.0.1", FreeLoopbackPort());
        CHttpBufferOutput output;
        EXPECT_THROW(session.Get("/", output), CHTTPException);
        EXPECT_TRUE(log.Contains("InternetException on CHttpSession::Get, code: "));
    }
}

TEST_F(HttpRequestTest, GetStopsOnStopAndOnAStalledServer)
{
    m_service.AddPackage(3, std::string(2000000, 'q'));
    m_service.SetFault("/packages/3.zip", EServiceFault::Slow);
    m_service.SetSlowRate(4096, 20ms);
    {
        CHttpSession session;
        session.Initialize(m_settings.m_http);
        session.Open("127.0.0.1", m_service.GetPort());
        CHttpFileOutput output;
        output.Open(m_dir.File("3.zip"));
        std::thread stopper([&] {
            std::this_thread::sleep_for(300ms);
            session.Stop();
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_NO_THROW(session.Get("/packages/3.zip", output));
        stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_GT(output.GetBytesWritten(), 0u);
        EXPECT_LT(output.GetBytesWritten(), 2000000u);
        output.Close();
        EXPECT_EQ(ReadFileText(m_dir.File("3.zip")).size(), output.GetBytesWritten())
            << "what came stays on disk";
    }
    {
        CLogCapture log(1);
        m_service.SetFault("/packages/3.zip", EServiceFault::Stall);
        CHttpSession session;
        session.Initialize(m_settings.m_http); // gives up after 2 s without a byte
        session.Open("127.0.0.1", m_service.GetPort());
        CHttpFileOutput output;
        output.Open(m_dir.File("3.zip"));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(session.Get("/packages/3.zip", output), CHTTPException);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_TRUE(log.Contains("can't read data")) << log.Text();
    }
}

TEST_F(HttpRequestTest, SaltNeedsExactlyThreeLinesAndRetriesOnlyWhenAsked)
{
    {
        CHandlerProbe probe;
        auto pSalt = CHttpReqSalt::DoRequest(probe.Handlers(), m_settings, "ivanov", false);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Successes(), 1);
        EXPECT_EQ(pSalt->GetSalt(), CFakeUpdateService::SaltFor("ivanov"));
        EXPECT_EQ(m_service.GetRequests("/distributor/salt").back().m_lines,
                  (std::vector<std::string>{"1", "ivanov"}));
    }
    {
        m_service.SetFault("/distributor/salt", EServiceFault::TrailingFeed, 1);
        CHandlerProbe probe;
        auto pSalt = CHttpReqSalt::DoRequest(probe.Handlers(), m_settings, "ivanov", false);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Errors(), 1) << "four lines are not a salt answer";
        EXPECT_EQ(pSalt->GetSalt(), "");
    }
    {
        m_service.DelaySalt("ivanov", 2);
        const std::size_t nBefore = m_service.GetRequests("/distributor/salt").size();
        CHandlerProbe probe;
        auto pSalt = CHttpReqSalt::DoRequest(probe.Handlers(), m_settings, "ivanov", true);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Successes(), 1);
        EXPECT_EQ(probe.Errors(), 0);
        EXPECT_EQ(m_service.GetRequests("/distributor/salt").size() - nBefore, 3u);
        EXPECT_EQ(pSalt->GetSalt(), CFakeUpdateService::SaltFor("ivanov"));
    }
    {
        m_service.DelaySalt("ivanov", 1);
        CHandlerProbe probe;
        auto pSalt = CHttpReqSalt::DoRequest(probe.Handlers(), m_settings, "ivanov", false);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Errors(), 1);
        EXPECT_EQ(pSalt->GetErrorCode(), 101);
        EXPECT_EQ(pSalt->GetErrorText(), "Пользователь не найден");
    }
    {
        // A killed retry loop ends at once instead of sleeping through its retries.
        CRequestSettings slow = m_settings;
        slow.m_saltRetryPause = 10s;
        m_service.DelaySalt("ivanov", 10);
        CHandlerProbe probe;
        auto pSalt = CHttpReqSalt::DoRequest(probe.Handlers(), slow, "ivanov", true);
        std::this_thread::sleep_for(300ms);
        pSalt->KillRequest();
        EXPECT_TRUE(CWorkerThreads::WaitAll(3s));
        EXPECT_EQ(probe.Successes() + probe.Errors(), 0) << "a killed request reaches no handler";
    }
}

TEST_F(HttpRequestTest, UpdateListsVersionsAndErrors)
{
    const std::string strPassword = m_service.ExpectedPasswordField("ivanov");
    m_service.AddPackage(5, "five");
    m_service.AddPackage(6, "six");
    m_service.AddPackage(7, "seven");
    {
        CHandlerProbe probe;
        auto pList = CHttpReqUpdateContent::DoRequest(probe.Handlers(), m_settings, "ivanov",
                                                      strPassword, "5");
        ASSERT_TRUE(probe.Wait());
        ASSERT_EQ(probe.Successes(), 1);
        CUpdateList list = {{"1", "kept"}};
        pList->GetUpdateList(list);
        ASSERT_EQ(list.size(), 3u) << "appended to what the list held";
        EXPECT_EQ(list[1],
                  (std::pair<std::string, std::string>{"6", m_service.GetUrl("/packages/6.zip")}));
        EXPECT_EQ(list[2].first, "7");
        const auto request = m_service.GetRequests("/distributor/update_content").back();
        ASSERT_EQ(request.m_lines.size(), 6u);
        EXPECT_EQ(request.m_lines[3], CHttpRequest::GetDeviceID());
        EXPECT_EQ(request.m_lines[4], "WinClient");
        EXPECT_EQ(request.m_lines[5], "5");
    }
    {
        // A final line feed leaves an unpaired empty line: ignored.
        m_service.SetFault("/distributor/full_content", EServiceFault::TrailingFeed, 1);
        CHandlerProbe probe;
        auto pList =
            CHttpReqFullUpdate::DoRequest(probe.Handlers(), m_settings, "ivanov", strPassword);
        ASSERT_TRUE(probe.Wait());
        ASSERT_EQ(probe.Successes(), 1);
        CUpdateList list;
        pList->GetUpdateList(list);
        EXPECT_EQ(list.size(), 3u);
    }
    {
        CHandlerProbe probe;
        auto pList = CHttpReqUpdateContent::DoRequest(probe.Handlers(), m_settings, "ivanov",
                                                      strPassword, "7");
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Successes(), 1) << "\"OK\" and \"1\" alone: nothing to install";
        CUpdateList list;
        pList->GetUpdateList(list);
        EXPECT_TRUE(list.empty());
    }
    {
        CHandlerProbe probe;
        auto pVersions =
            CHttpReqClientVersions::DoRequest(probe.Handlers(), m_settings, "ivanov", "wrong");
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Errors(), 1);
        EXPECT_EQ(pVersions->GetErrorCode(), 102);
        EXPECT_EQ(pVersions->GetVersion(), "");
    }
    struct CCase
    {
        EServiceFault m_fault;
        const char* m_szLog;
    };
    for (const CCase& test :
         {CCase{EServiceFault::LowerCaseError, "incorrect response"},
          CCase{EServiceFault::CrLf, "incorrect response"},
          CCase{EServiceFault::WrongVersion, "incorrect protocol version"},
          CCase{EServiceFault::Oversized, "Buffer is too big"},
          CCase{EServiceFault::Status500, "Http get error: 500"},
          CCase{EServiceFault::Drop, "Exception on CHttpRequest::InitInstance"}})
    {
        CLogCapture log(1);
        m_service.SetFault("/distributor/full_content", test.m_fault, 1);
        CHandlerProbe probe;
        auto pList =
            CHttpReqFullUpdate::DoRequest(probe.Handlers(), m_settings, "ivanov", strPassword);
        ASSERT_TRUE(probe.Wait());
        EXPECT_TRUE(CWorkerThreads::WaitAll(5s));
        EXPECT_EQ(probe.Errors(), 1) << test.m_szLog;
        EXPECT_EQ(probe.Successes(), 0);
        EXPECT_TRUE(log.Contains(test.m_szLog)) << log.Text();
        if (test.m_fault == EServiceFault::LowerCaseError)
        {
            EXPECT_EQ(pList->GetErrorCode(), 42)
                << "the lower-case error still carries its code and text";
            EXPECT_EQ(pList->GetErrorText(), "Сервис недоступен");
        }
        else
            EXPECT_EQ(pList->GetErrorText(), "");
    }
}

TEST_F(HttpRequestTest, DownloadReportsProgressAndAKillRemovesThePartialFile)
{
    const std::string payload(400000, 'p');
    m_service.AddPackage(9, payload);
    {
        CHandlerProbe probe;
        CHttpReqGetFile::DoRequest(probe.Handlers(), m_settings,
                                   m_service.GetUrl("/packages/9.zip"), m_dir.File("9.zip"), true);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Successes(), 1);
        EXPECT_EQ(ReadFileText(m_dir.File("9.zip")), payload);
        ASSERT_FALSE(probe.Progress().empty());
        EXPECT_EQ(probe.Progress().back(), 100u) << "the finish pause shows a full bar";
    }
    {
        m_service.SetFault("/packages/9.zip", EServiceFault::Slow, 1);
        m_service.SetSlowRate(4096, 20ms);
        CHandlerProbe probe;
        auto pGet = CHttpReqGetFile::DoRequest(probe.Handlers(), m_settings,
                                               m_service.GetUrl("/packages/9.zip"),
                                               m_dir.File("9b.zip"), false);
        ASSERT_TRUE(probe.WaitForProgress());
        EXPECT_TRUE(CFileUtils::FileExists(m_dir.File("9b.zip")));
        pGet->KillRequest();
        EXPECT_FALSE(CFileUtils::FileExists(m_dir.File("9b.zip")));
        EXPECT_TRUE(CWorkerThreads::WaitAll(5s));
        EXPECT_FALSE(CFileUtils::FileExists(m_dir.File("9b.zip")));
        EXPECT_EQ(probe.Successes() + probe.Errors(), 0);
    }
    {
        CHandlerProbe probe;
        CHttpReqGetFile::DoRequest(probe.Handlers(), m_settings,
                                   m_service.GetUrl("/moved/packages/9.zip"),
                                   m_dir.File("moved.zip"), false);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Successes(), 1);
        EXPECT_TRUE(ReadFileText(m_dir.File("moved.zip")) == payload) << "a redirect is followed";
    }
    {
        CHandlerProbe probe;
        CHttpReqGetFile::DoRequest(probe.Handlers(), m_settings,
                                   m_service.GetUrl("/packages/404.zip"), m_dir.File("404.zip"),
                                   false);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Errors(), 1);
    }
}

TEST_F(HttpRequestTest, SetUrlTakesHostPortAndPathOfHttpUrlsOnly)
{
    CHandlerProbe probe;
    auto pGet = CHttpReqGetFile::DoRequest(probe.Handlers(), m_settings,
                                           "http://files.example:8080/a/b.zip?x=1#top",
                                           m_dir.File("x"), false);
    EXPECT_EQ(pGet->GetHost(), "files.example");
    EXPECT_EQ(pGet->GetPort(), 8080u);
    EXPECT_EQ(pGet->GetObjectPath(), "/a/b.zip?x=1");
    pGet->KillRequest();
    // The address is the running thread's to read: it is changed only once
    // the thread ended.
    ASSERT_TRUE(CWorkerThreads::WaitAll(10s));
    pGet->setUrl("ftp://other/c.zip");
    EXPECT_EQ(pGet->GetHost(), "files.example");
    pGet->setUrl("HTTP://[::1]/d.zip");
    EXPECT_EQ(pGet->GetHost(), "::1");
    EXPECT_EQ(pGet->GetPort(), 80u);
    EXPECT_EQ(pGet->GetObjectPath(), "/d.zip");
    pGet->setUrl("http://host:99999/e.zip");
    EXPECT_EQ(pGet->GetObjectPath(), "/d.zip") << "a bad port leaves the request as it was";
}

TEST_F(HttpRequestTest, SignUpSendsTheFormAsXmlAndReadsItsOwnAnswer)
{
    CRegistrationData data;
    data.SetName("  Иван ");
    data.SetFamilyName("Петров");
    data.SetEmail("ivan@example.org");
    data.SetLogin("petrov");
    data.SetPassword("p&ss+w%rd");
    data.SetCompany("Рога & Копыта");
    EXPECT_EQ(data.GetName(), "Иван");
    {
        CHandlerProbe probe;
        CHttpReqRegisterUser::DoRequest(probe.Handlers(), m_settings, data);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Successes(), 1);
        // The service decoded the form: the password arrived whole.
        m_service.AddAccount("petrov", "p&ss+w%rd");
        const auto request = m_service.GetRequests("/export/register_user.php").back();
        EXPECT_TRUE(request.m_strBody.starts_with("data=")) << request.m_strBody;
        EXPECT_EQ(request.m_strBody.find('&'), std::string::npos)
            << "nothing can cut the form field";
    }
    for (const int nCode : {204, 206, 208})
    {
        m_service.SetSignUpAnswer(nCode, "Логин занят");
        CHandlerProbe probe;
        auto pSignUp = CHttpReqRegisterUser::DoRequest(probe.Handlers(), m_settings, data);
        ASSERT_TRUE(probe.Wait());
        EXPECT_EQ(probe.Errors(), 1);
        EXPECT_EQ(pSignUp->GetErrorCode(), nCode);
        EXPECT_EQ(pSignUp->GetErrorText(), "Логин занят");
    }
    const auto body = CHttpReqRegisterUser::BuildBody(data);
    std::string text(body.begin(), body.end());
    EXPECT_NE(text.find("%3Cregister%3E"), std::string::npos) << text;
    EXPECT_NE(text.find("%3CdeviceType%3EWin%3C%2FdeviceType%3E"), std::string::npos) << text;
    EXPECT_NE(text.find("%3Cpassword%3Ep%26amp%3Bss%2Bw%25rd%3C%2Fpassword%3E"), std::string::npos)
        << text;
}

TEST_F(HttpRequestTest, ClientWatcherReportsOnlyANewerVersion)
{
    std::mutex mutex;
    std::vector<std::string> notices;
    const auto notify = [&](std::string strUrl) {
        std::lock_guard lock(mutex);
        notices.push_back(std::move(strUrl));
    };
    m_service.SetClient("1.3.0.156", "setup.exe");
    CCheckClientThread::Start(m_settings, notify);
    ASSERT_TRUE(CWorkerThreads::WaitAll(10s));
    m_service.SetFault("/distributor/client_versions", EServiceFault::Error, 1);
    m_service.SetClient("1.4.0.1", "setup-1.4.exe");
    CCheckClientThread::Start(m_settings, notify);
    ASSERT_TRUE(CWorkerThreads::WaitAll(10s));
    EXPECT_TRUE(notices.empty()) << "same version, then an error: silence";

    CCheckClientThread::Start(m_settings, notify);
    ASSERT_TRUE(CWorkerThreads::WaitAll(10s));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], m_service.GetUrl("/client/setup-1.4.exe"));
    const auto request = m_service.GetRequests("/distributor/client_versions").back();
    EXPECT_EQ(request.m_lines,
              (std::vector<std::string>{"1", "", "", CHttpRequest::GetDeviceID(), "WinClient"}));
}
