#include "BridgeServer.h"
#include "TestContent.h"
#include "TestSupport.h"
#include "WindowManager.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <thread>

namespace
{
constexpr const char* kSecret = "the user's own file";

// A bridge over a temporary application folder (with a ui override) and a
// content folder, with a secret file beside them that no request may read.
struct CBridgeFixture : ::testing::Test
{
    CBridgeFixture()
        : resources(dir.File("app")),
          loader(resources),
          bridge(loop, manager, resources, loader, dir.File("content"))
    {
        std::filesystem::create_directories(dir.File("app/ui/images"));
        std::filesystem::create_directories(dir.File("content/Content"));
        WriteFileText(dir.File("secret.txt"), kSecret);
        WriteFileText(dir.File("app/ui/images/pic.png"), "picture");
        WriteFileText(dir.File("content/Content/page.css"), "p{color:red}");
        std::filesystem::create_symlink(dir.File("secret.txt"),
                                        dir.File("content/Content/out.css"));
        std::filesystem::create_symlink(dir.File("secret.txt"), dir.File("app/ui/images/out.png"));
        std::filesystem::create_symlink(dir.File("content/Content/page.css"),
                                        dir.File("content/Content/in.css"));
        EXPECT_TRUE(bridge.Start());
        host = "127.0.0.1:" + std::to_string(bridge.GetPort());
    }

    // A request as the page sends it: raw path, the right Host and the run's
    // key unless the test says otherwise.
    httplib::Result Get(const std::string& strPath, const std::string& strKey = "*",
                        const std::string& strHost = "*", httplib::Headers headers = {})
    {
        httplib::Client client("127.0.0.1", bridge.GetPort());
        client.set_connection_timeout(5);
        client.set_read_timeout(5);
        headers.emplace("Host", strHost == "*" ? host : strHost);
        if (!strKey.empty())
            headers.emplace("X-Kalimor-Key", strKey == "*" ? bridge.GetToken() : strKey);
        return client.Get(strPath, headers);
    }

    CTempDir dir;
    CMessageLoop loop;
    CWindowManager manager{loop};
    CResourceConfig resources;
    CKalimorHTMLayoutDataLoader loader;
    CBridgeServer bridge;
    std::string host;
};
} // namespace

TEST_F(CBridgeFixture, EveryRequestNeedsTheRunsKey)
{
    ASSERT_NE(bridge.GetPort(), 0);
    const std::string& key = bridge.GetToken();
    EXPECT_EQ(key.size(), 48u);
    const std::string strWrong(48, '0');
    // What a frame taken to another port could carry (a cookie, the key in
    // the address of a page) opens nothing: only the header does.
    for (const char* szPath :
         {"/", "/ui/pic.png", "/events", "/content/Content/page.css", "/frame", "/doc/x.html"})
    {
        EXPECT_EQ(Get(szPath, "")->status, 403) << szPath << " without a key";
        EXPECT_EQ(Get(szPath, strWrong)->status, 403) << szPath;
        EXPECT_EQ(Get(szPath, key.substr(1))->status, 403) << szPath;
        EXPECT_EQ(Get(szPath, "", "*", {{"Cookie", "kalimor_token=" + key}})->status, 403)
            << szPath << " by cookie";
        EXPECT_EQ(Get(std::string(szPath) + "?token=" + key, "")->status, 403)
            << szPath << " by the address";
    }
    EXPECT_EQ(Get("/ui/pic.png")->body, "picture");
    EXPECT_EQ(Get("/ui/pic.png?key=" + key, "")->status, 403)
        << "the key in the address opens only the stream";

    // The front-end's own files come before the page holds the key.
    for (const char* szPath : {"/bridge/app.js", "/bridge/app.css", "/kalimor-sw.js"})
    {
        auto res = Get(szPath, "");
        ASSERT_TRUE(res) << szPath;
        EXPECT_EQ(res->status, 200) << szPath;
        EXPECT_EQ(res->body.find(key), std::string::npos) << szPath;
        EXPECT_EQ(res->get_header_value("Referrer-Policy"), "no-referrer") << szPath;
    }

    // The start address opens the page, which holds the key, once.
    const std::string strStart = bridge.GetStartUrl();
    const std::string strPrefix = "http://" + host + "/?token=";
    ASSERT_TRUE(strStart.starts_with(strPrefix)) << strStart;
    const std::string strCode = strStart.substr(strPrefix.size());
    EXPECT_EQ(strCode.find(key), std::string::npos) << "the key is never on a command line";
    auto page = Get("/?token=" + strCode, "");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<meta name=\"kalimor-key\" content=\"" + key + "\">"),
              std::string::npos);
    EXPECT_NE(page->body.find("/bridge/app.js"), std::string::npos);
    EXPECT_EQ(page->get_header_value("Referrer-Policy"), "no-referrer");
    EXPECT_EQ(page->get_header_value("Set-Cookie"), "");
    EXPECT_EQ(Get("/?token=" + strCode, "")->status, 403) << "a spent code";
    EXPECT_EQ(Get("/?token=" + key, "")->status, 403) << "the key is no start code";

    // The stream and the closing beacon take the key in their address; a
    // body without the key is turned away before it is read.
    auto stream = Get("/events?key=" + strWrong, "");
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->status, 403);
    auto bare = httplib::Client("127.0.0.1", bridge.GetPort())
                    .Post("/event", {{"Host", host}}, "", "text/plain");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->status, 403);
    httplib::Client client("127.0.0.1", bridge.GetPort());
    for (const auto& [strPath, strHeaderKey, nStatus] :
         std::vector<std::tuple<std::string, std::string, int>>{
             {"/event", "", 413},
             {"/event", key, 204},
             {"/event?key=" + key, "", 204},
             {"/event?key=" + strWrong, "", 413}})
    {
        httplib::Headers headers{{"Host", host}};
        if (!strHeaderKey.empty())
            headers.emplace("X-Kalimor-Key", strHeaderKey);
        auto post = client.Post(strPath, headers, "[]", "application/json");
        ASSERT_TRUE(post) << strPath;
        EXPECT_EQ(post->status, nStatus) << strPath << " key header: " << !strHeaderKey.empty();
    }
}

TEST_F(CBridgeFixture, OnlyItsOwnHostNameIsServed)
{
    // Another name for the same address is how a rebinding site would come in.
    for (const std::string& strHost :
         {std::string("localhost:") + std::to_string(bridge.GetPort()), std::string("127.0.0.1"),
          std::string("127.0.0.1:1"), std::string("evil.example"), std::string()})
    {
        auto res = Get("/ui/pic.png", "*", strHost);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 403) << "Host: " << strHost;
    }
    EXPECT_EQ(Get("/ui/pic.png")->status, 200);
}

TEST_F(CBridgeFixture, PathsCannotLeaveTheResourceOrContentFolders)
{
    const std::string strSecret = dir.File("secret.txt");
    const std::vector<std::string> attempts{
        "/ui/../../secret.txt",
        "/ui/..%2f..%2f..%2fsecret.txt",
        "/ui/%2e%2e/%2e%2e/%2e%2e/secret.txt",
        "/ui/%252e%252e/%252e%252e/%252e%252e/secret.txt",
        "/ui/.%2e/.%2e/.%2e/secret.txt",
        "/ui/..%5c..%5c..%5csecret.txt",
        "/ui/" + strSecret,
        "/ui//" + strSecret,
        "/ui/file://" + strSecret,
        "/ui/file:%2f%2f" + strSecret,
        "/ui/file%253A%252F%252F" + strSecret,
        "/ui/out.png",
        "/content/../secret.txt",
        "/content/%2e%2e/secret.txt",
        "/content/Content/%2e%2e/%2e%2e/secret.txt",
        "/content/" + strSecret,
        "/content//" + strSecret,
        "/content/Content/out.css",
        "/content/Content/page.css%00.png",
    };
    for (const auto& strPath : attempts)
    {
        auto res = Get(strPath);
        ASSERT_TRUE(res) << strPath;
        EXPECT_NE(res->status, 200) << strPath;
        EXPECT_EQ(res->body.find(kSecret), std::string::npos) << strPath;
    }
    // What lies inside is served, a link that stays inside included.
    EXPECT_EQ(Get("/content/Content/page.css")->body, "p{color:red}");
    EXPECT_EQ(Get("/content/Content/in.css")->body, "p{color:red}");
    EXPECT_EQ(Get("/content/Content/./page.css")->body, "p{color:red}");
    auto style = Get("/ui/dialog.css");
    ASSERT_TRUE(style);
    EXPECT_EQ(style->status, 200) << "the embedded style sheet";
    EXPECT_EQ(style->get_header_value("Content-Type"), "text/css; charset=utf-8");
}

TEST_F(CBridgeFixture, AReconnectingPageGetsTheWholeStateBack)
{
    using nlohmann::json;
    // What the window manager sent so far: two windows, a page, a change,
    // a text typed in the browser, and a window that is gone.
    bridge.Publish(
        json::array({{{"op", "win"}, {"win", 1}, {"kind", "frame"}},
                     {{"op", "win"}, {"win", 2}, {"kind", "child"}},
                     {{"op", "dom"},
                      {"win", 2},
                      {"ops", json::array({{{"op", "doc"}, {"html", "<body>a</body>"}}})}},
                     {{"op", "win"}, {"win", 3}, {"kind", "dialog"}}}));
    bridge.Publish(json::array(
        {{{"op", "dom"},
          {"win", 2},
          {"ops",
           json::array({{{"op", "html"}, {"uid", 5}, {"html", "b"}},
                        {{"op", "value"}, {"uid", 6}, {"value", "typed"}, {"replay", true}}})}},
         {{"op", "destroy"}, {"win", 3}}}));
    std::string strStream;
    httplib::Client client("127.0.0.1", bridge.GetPort());
    client.set_read_timeout(5);
    client.Get("/events", {{"Host", host}, {"X-Kalimor-Key", bridge.GetToken()}},
               [&](const char* pData, std::size_t nSize) {
                   strStream.append(pData, nSize);
                   return strStream.find("\n\n") == std::string::npos; // the first event is enough
               });
    ASSERT_TRUE(strStream.starts_with("event: reset\ndata: ")) << strStream;
    const json reset = json::parse(strStream.substr(19, strStream.find("\n\n") - 19));
    ASSERT_EQ(reset.size(), 3u) << reset.dump();
    EXPECT_EQ(reset[0].at("win"), 1);
    EXPECT_EQ(reset[1].at("win"), 2);
    EXPECT_EQ(reset[2].at("op"), "dom");
    const json& ops = reset[2].at("ops");
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].at("op"), "doc");
    EXPECT_EQ(ops[1].at("html"), "b");
    EXPECT_EQ(ops[2].at("value"), "typed");

    // A new page replaces everything before it.
    bridge.Publish(
        json::array({{{"op", "dom"},
                      {"win", 2},
                      {"ops", json::array({{{"op", "doc"}, {"html", "<body>c</body>"}}})}}}));
    strStream.clear();
    client.Get("/events?key=" + bridge.GetToken(), {{"Host", host}},
               [&](const char* pData, std::size_t nSize) {
                   strStream.append(pData, nSize);
                   return strStream.find("\n\n") == std::string::npos;
               });
    const json again = json::parse(strStream.substr(19, strStream.find("\n\n") - 19));
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[2].at("ops").size(), 1u);
    EXPECT_EQ(again[2].at("ops")[0].at("html"), "<body>c</body>");
}

// The browser accepts compressed answers; over the loopback they go as they
// are (compressing them costs the worker far more than the copy).
TEST_F(CBridgeFixture, AnswersGoUncompressedWhateverTheBrowserAccepts)
{
    std::filesystem::create_directories(dir.File("content/Content/dir"));
    WriteEncipheredFile(dir.File("content/Content/dir/p.dat"),
                        "<html><body><h1>" + std::string(5000, 'x') + "</h1></body></html>");
    for (const char* szPath : {"/frame", "/ui/dialog.css", "/content/Content/page.css",
                               "/doc/dir/p.html", "/doc/dir/missing.html"})
    {
        auto res = Get(szPath, "*", "*", {{"Accept-Encoding", "gzip, deflate, br, zstd"}});
        ASSERT_TRUE(res) << szPath;
        EXPECT_EQ(res->status, 200) << szPath;
        EXPECT_EQ(res->get_header_value("Content-Encoding"), "") << szPath;
        EXPECT_EQ(res->get_header_value("Content-Length"), std::to_string(res->body.size()))
            << szPath;
    }
    EXPECT_NE(Get("/doc/dir/p.html")->body.find(std::string(5000, 'x')), std::string::npos);
}

TEST_F(CBridgeFixture, DocumentsAreDecipheredInMemoryAndServedWithoutTheirScripts)
{
    std::filesystem::create_directories(dir.File("content/Content/dir"));
    WriteEncipheredFile(dir.File("content/Content/dir/p.dat"),
                        "<html><body><h1>Вычеты</h1><script>steal()</script><img src=a.png "
                        "onerror=steal()></body></html>");
    WriteFileText(dir.File("content/Content/dir/a.png"), "png");
    std::filesystem::create_symlink(dir.File("secret.txt"),
                                    dir.File("content/Content/dir/out.dat"));

    auto page = Get("/doc/dir/p.html?v=3");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<h1>Вычеты</h1>"), std::string::npos) << page->body;
    EXPECT_EQ(page->body.find("steal"), std::string::npos);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    const std::string strPolicy = page->get_header_value("Content-Security-Policy");
    for (const char* szPart : {"default-src 'none'", "img-src 'self'", "form-action 'none'",
                               "base-uri 'self'", "sandbox allow-same-origin allow-modals"})
        EXPECT_NE(strPolicy.find(szPart), std::string::npos) << szPart;
    EXPECT_EQ(strPolicy.find("script-src"), std::string::npos) << "no script source at all";
    auto picture = Get("/doc/dir/a.png");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->body, "png");
    EXPECT_EQ(picture->get_header_value("Content-Security-Policy"), strPolicy);

    // Nothing else: no enciphered bytes, nothing outside, no token, no plain
    // copy left on disk; a page that cannot be read is an empty page.
    for (const char* szPath :
         {"/doc/dir/p.dat", "/doc/../secret.txt", "/doc/%2e%2e/%2e%2e/secret.txt"})
    {
        auto res = Get(szPath);
        ASSERT_TRUE(res) << szPath;
        EXPECT_NE(res->status, 200) << szPath;
    }
    for (const char* szPath :
         {"/doc/dir/missing.html", "/doc/dir/out.html", "/doc/%2e%2e/secret.html"})
    {
        auto res = Get(szPath);
        ASSERT_TRUE(res) << szPath;
        EXPECT_EQ(res->body, "") << szPath;
    }
    EXPECT_EQ(Get("/doc/dir/p.html", "")->status, 403);
    EXPECT_FALSE(std::filesystem::exists(dir.File("content/Content/dir/p.html")));
}

TEST_F(CBridgeFixture, PackageFilesAreServedOnlyAsPicturesAndStyleSheetsAndNoAnswerIsAPageOfItsOwn)
{
    std::filesystem::create_directories(dir.File("content/Content/dir"));
    for (const char* szName : {"p.png", "p.JPG", "p.gif", "s.css", "d.svg", "x.htm", "x.html",
                               "x.js", "x.desktop", "x.xml", "x.txt"})
        WriteFileText(dir.File(std::string("content/Content/dir/") + szName),
                      "<svg onload=x()></svg>");
    struct CCase
    {
        std::string strPath;
        const char* szDest; // the browser's Sec-Fetch-Dest, "" for none
        int nStatus;
    };
    for (const CCase& c :
         std::initializer_list<CCase>{{"/content/Content/dir/p.png", "image", 200},
                                      {"/content/Content/dir/p.JPG", "", 200},
                                      {"/content/Content/dir/p.gif", "image", 200},
                                      {"/content/Content/dir/s.css", "style", 200},
                                      {"/content/Content/dir/d.svg", "image", 200},
                                      {"/content/Content/dir/d.svg", "document", 404},
                                      {"/content/Content/dir/d.svg", "iframe", 404},
                                      {"/content/Content/dir/x.htm", "iframe", 404},
                                      {"/content/Content/dir/x.html", "", 404},
                                      {"/content/Content/dir/x.js", "script", 404},
                                      {"/content/Content/dir/x.desktop", "", 404},
                                      {"/content/Content/dir/x.xml", "", 404},
                                      {"/content/Content/dir/x.txt", "", 404},
                                      {"/doc/dir/x.htm", "iframe", 404},
                                      {"/doc/dir/d.svg", "iframe", 404},
                                      {"/doc/dir/d.svg", "image", 200},
                                      {"/doc/dir/p.png", "image", 200},
                                      {"/ui/pic.png", "image", 200},
                                      {"/bridge/app.js", "script", 200},
                                      {"/ui/missing.png", "image", 404}})
    {
        httplib::Client client("127.0.0.1", bridge.GetPort());
        httplib::Headers headers{{"Host", host}, {"X-Kalimor-Key", bridge.GetToken()}};
        if (*c.szDest)
            headers.emplace("Sec-Fetch-Dest", c.szDest);
        auto res = client.Get(c.strPath, headers);
        ASSERT_TRUE(res) << c.strPath;
        EXPECT_EQ(res->status, c.nStatus) << c.strPath << " as " << c.szDest;
        // Whatever the answer, opened as a page it runs and loads nothing.
        const std::string strPolicy = res->get_header_value("Content-Security-Policy");
        EXPECT_NE(strPolicy.find("default-src 'none'"), std::string::npos) << c.strPath;
        EXPECT_NE(strPolicy.find("sandbox"), std::string::npos) << c.strPath;
        EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff") << c.strPath;
    }
    // Refused requests too; only the window pages run the client's script.
    EXPECT_NE(Get("/ui/pic.png", "")->get_header_value("Content-Security-Policy").find("sandbox"),
              std::string::npos);
    for (const char* szPage : {"/", "/frame"})
    {
        auto res = Get(szPage);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->get_header_value("Content-Security-Policy"), "") << szPage;
        EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff") << szPage;
    }
}

namespace
{
// A raw loopback connection to the bridge, for peers that misbehave.
struct CRawPeer
{
    explicit CRawPeer(int nPort)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(nPort));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_bConnected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~CRawPeer() { ::close(m_fd); }
    CRawPeer(const CRawPeer&) = delete;
    CRawPeer& operator=(const CRawPeer&) = delete;

    bool Send(std::string_view text)
    {
        return ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) == ssize_t(text.size());
    }
    // What arrives within the time, up to the peer's close or the end of an
    // answer's head; nullopt when it neither answered nor closed.
    std::optional<std::string> Read(std::chrono::milliseconds wait)
    {
        std::string text;
        const auto end = std::chrono::steady_clock::now() + wait;
        for (;;)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd poll{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&poll, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            char buffer[4096];
            const ssize_t nRead = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (nRead <= 0)
                return text;
            text.append(buffer, static_cast<std::size_t>(nRead));
            if (text.find("\r\n\r\n") != std::string::npos)
                return text;
        }
    }

    int m_fd = -1;
    bool m_bConnected = false;
};

std::string StatusOf(const std::optional<std::string>& answer)
{
    return answer && answer->size() >= 12 ? answer->substr(9, 3) : "none";
}
} // namespace

TEST_F(CBridgeFixture, SlowAndManyPeersLeaveTheWindowItsAnswers)
{
    // A bridge of its own with small limits, so the test stays short.
    CBridgeServer busy(loop, manager, resources, loader, dir.File("content"));
    SBridgeLimits limits;
    limits.m_nMaxConnections = 40;
    limits.m_nReserved = 4;
    limits.m_nMaxOtherRequests = 4;
    limits.m_headDeadline = std::chrono::milliseconds(1500);
    busy.SetLimits(limits);
    ASSERT_TRUE(busy.Start());
    const auto& counters = busy.GetGate()->GetCounters();
    const std::string strHost = "127.0.0.1:" + std::to_string(busy.GetPort());
    const std::string strKeyed =
        "Host: " + strHost + "\r\nX-Kalimor-Key: " + busy.GetToken() + "\r\n";

    // The window's connection, open before the crowd comes.
    httplib::Client window("127.0.0.1", busy.GetPort());
    window.set_keep_alive(true);
    window.set_read_timeout(2);
    const httplib::Headers keyed{{"Host", strHost}, {"X-Kalimor-Key", busy.GetToken()}};
    ASSERT_EQ(window.Get("/ui/pic.png", keyed)->status, 200);

    // Peers without the key sending their heads slowly fill every place; six
    // more push out the six oldest of them, not the window.
    std::vector<std::unique_ptr<CRawPeer>> slow;
    for (int i = 0; i < 45; ++i)
    {
        slow.push_back(std::make_unique<CRawPeer>(busy.GetPort()));
        ASSERT_TRUE(slow.back()->m_bConnected &&
                    slow.back()->Send("GET /ui/pic.png HTTP/1.1\r\nHo"))
            << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (std::size_t i = 0; i < slow.size(); ++i)
        EXPECT_EQ(slow[i]->Read(std::chrono::milliseconds(i < 6 ? 500 : 20)).has_value(), i < 6)
            << "slow peer " << i;
    EXPECT_EQ(counters.m_nDropped.load(), 6u);

    // The window is answered at once, on its open connection and on a new one
    // (which pushes out the oldest slow peer), its events included.
    auto start = std::chrono::steady_clock::now();
    auto again = window.Get("/ui/pic.png", keyed);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->body, "picture");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    start = std::chrono::steady_clock::now();
    CRawPeer fresh(busy.GetPort());
    ASSERT_TRUE(fresh.Send("POST /event HTTP/1.1\r\n" + strKeyed + "Content-Length: 2\r\n\r\n[]"));
    EXPECT_EQ(StatusOf(fresh.Read(std::chrono::milliseconds(500))), "204");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    // The window's places are bounded too: past them a request is refused at
    // once, not queued (the open connection and the new one hold two of four).
    std::vector<std::unique_ptr<CRawPeer>> streams;
    for (const char* szExpected : {"200", "200", "503"})
    {
        streams.push_back(std::make_unique<CRawPeer>(busy.GetPort()));
        streams.back()->Send("GET /events HTTP/1.1\r\n" + strKeyed + "\r\n");
        EXPECT_EQ(StatusOf(streams.back()->Read(std::chrono::milliseconds(1000))), szExpected);
    }
    EXPECT_EQ(counters.m_nRefused.load(), 1u);

    // Too large, whoever asks: answered before any of it is read.
    for (const auto& [strRequest, strStatus] : std::vector<std::pair<std::string, std::string>>{
             {"POST /event HTTP/1.1\r\n" + strKeyed + "Content-Length: 104857600\r\n\r\n", "413"},
             {"POST /event HTTP/1.1\r\nHost: " + strHost + "\r\nContent-Length: 1048576\r\n\r\n",
              "413"},
             {"GET /ui/pic.png HTTP/1.1\r\n" + strKeyed + "X-Big: " + std::string(1 << 20, 'a') +
                  "\r\n\r\n",
              "431"},
             {"GET /ui/pic.png HTTP/1.1\r\nHost: " + strHost +
                  "\r\nTransfer-Encoding: chunked\r\n\r\n",
              "411"},
             {"NONSENSE\r\n\r\n", "400"}})
    {
        CRawPeer peer(busy.GetPort());
        peer.Send(strRequest);
        EXPECT_EQ(StatusOf(peer.Read(std::chrono::milliseconds(1000))), strStatus)
            << strRequest.substr(0, 40);
    }

    // Past the head's deadline every slow peer is gone.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    std::size_t nClosed = 0;
    for (auto& peer : slow)
        nClosed += peer->Read(std::chrono::milliseconds(100)).has_value() ? 1 : 0;
    EXPECT_EQ(nClosed, slow.size());
    EXPECT_EQ(window.Get("/ui/pic.png", keyed)->status, 200);
    streams.clear();
    busy.Stop();
}
