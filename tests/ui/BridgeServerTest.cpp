#include "BridgeServer.h"
#include "TestContent.h"
#include "TestSupport.h"
#include "WindowManager.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>

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
        std::filesystem::create_symlink(dir.File("secret.txt"), dir.File("content/Content/out.css"));
        std::filesystem::create_symlink(dir.File("secret.txt"), dir.File("app/ui/images/out.png"));
        std::filesystem::create_symlink(dir.File("content/Content/page.css"), dir.File("content/Content/in.css"));
        EXPECT_TRUE(bridge.Start());
        host = "127.0.0.1:" + std::to_string(bridge.GetPort());
    }

    // A request as a browser sends it: raw path, the right Host and cookie
    // unless the test says otherwise.
    httplib::Result Get(const std::string& strPath, const std::string& strCookie = "*",
                        const std::string& strHost = "*")
    {
        httplib::Client client("127.0.0.1", bridge.GetPort());
        client.set_connection_timeout(5);
        client.set_read_timeout(5);
        httplib::Headers headers{{"Host", strHost == "*" ? host : strHost}};
        if (!strCookie.empty())
            headers.emplace("Cookie", strCookie == "*" ? "kalimor_token=" + bridge.GetToken() : strCookie);
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

TEST_F(CBridgeFixture, EveryRequestNeedsTheRunsToken)
{
    ASSERT_NE(bridge.GetPort(), 0);
    EXPECT_EQ(bridge.GetToken().size(), 48u);
    for (const char* szPath : {"/", "/ui/pic.png", "/bridge/app.js", "/events", "/content/Content/page.css"})
    {
        EXPECT_EQ(Get(szPath, "")->status, 403) << szPath << " without a token";
        EXPECT_EQ(Get(szPath, "kalimor_token=" + std::string(48, '0'))->status, 403) << szPath;
        EXPECT_EQ(Get(szPath, "kalimor_token=" + bridge.GetToken().substr(1))->status, 403) << szPath;
    }
    EXPECT_EQ(Get("/?token=" + std::string(48, 'a'), "")->status, 403);
    EXPECT_EQ(Get("/ui/pic.png?token=" + bridge.GetToken(), "")->status, 403)
        << "the token in the address opens only the start page";

    // The start address trades the token for a cookie the page's script cannot read.
    auto start = Get("/?token=" + bridge.GetToken(), "");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->status, 303);
    EXPECT_EQ(start->get_header_value("Location"), "/");
    EXPECT_EQ(start->get_header_value("Set-Cookie"),
              "kalimor_token=" + bridge.GetToken() + "; Path=/; HttpOnly; SameSite=Strict");
    auto page = Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("/bridge/app.js"), std::string::npos);
    EXPECT_EQ(Get("/ui/pic.png", "a=b; kalimor_token=" + bridge.GetToken() + "; c=d")->body, "picture");

    auto post = httplib::Client("127.0.0.1", bridge.GetPort()).Post("/event", {{"Host", host}}, "[]", "application/json");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 403) << "events without the cookie";
}

TEST_F(CBridgeFixture, OnlyItsOwnHostNameIsServed)
{
    // Another name for the same address is how a rebinding site would come in.
    for (const std::string& strHost : {std::string("localhost:") + std::to_string(bridge.GetPort()),
                                       std::string("127.0.0.1"), std::string("127.0.0.1:1"),
                                       std::string("evil.example"), std::string()})
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
    bridge.Publish(json::array({{{"op", "win"}, {"win", 1}, {"kind", "frame"}},
                                {{"op", "win"}, {"win", 2}, {"kind", "child"}},
                                {{"op", "dom"}, {"win", 2}, {"ops", json::array({{{"op", "doc"}, {"html", "<body>a</body>"}}})}},
                                {{"op", "win"}, {"win", 3}, {"kind", "dialog"}}}));
    bridge.Publish(json::array({{{"op", "dom"}, {"win", 2}, {"ops", json::array({{{"op", "html"}, {"uid", 5}, {"html", "b"}},
                                                                                  {{"op", "value"}, {"uid", 6}, {"value", "typed"}, {"replay", true}}})}},
                                {{"op", "destroy"}, {"win", 3}}}));
    std::string strStream;
    httplib::Client client("127.0.0.1", bridge.GetPort());
    client.set_read_timeout(5);
    client.Get("/events",
               {{"Host", host}, {"Cookie", "kalimor_token=" + bridge.GetToken()}},
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
    bridge.Publish(json::array({{{"op", "dom"}, {"win", 2}, {"ops", json::array({{{"op", "doc"}, {"html", "<body>c</body>"}}})}}}));
    strStream.clear();
    client.Get("/events", {{"Host", host}, {"Cookie", "kalimor_token=" + bridge.GetToken()}},
               [&](const char* pData, std::size_t nSize) {
                   strStream.append(pData, nSize);
                   return strStream.find("\n\n") == std::string::npos;
               });
    const json again = json::parse(strStream.substr(19, strStream.find("\n\n") - 19));
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[2].at("ops").size(), 1u);
    EXPECT_EQ(again[2].at("ops")[0].at("html"), "<body>c</body>");
}

TEST_F(CBridgeFixture, DocumentsAreDecipheredInMemoryAndServedWithoutTheirScripts)
{
    std::filesystem::create_directories(dir.File("content/Content/dir"));
    WriteEncipheredFile(dir.File("content/Content/dir/p.dat"),
                        "<html><body><h1>Вычеты</h1><script>steal()</script><img src=a.png onerror=steal()></body></html>");
    WriteFileText(dir.File("content/Content/dir/a.png"), "png");
    std::filesystem::create_symlink(dir.File("secret.txt"), dir.File("content/Content/dir/out.dat"));

    auto page = Get("/doc/dir/p.html?v=3");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<h1>Вычеты</h1>"), std::string::npos) << page->body;
    EXPECT_EQ(page->body.find("steal"), std::string::npos);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    const std::string strPolicy = page->get_header_value("Content-Security-Policy");
    for (const char* szPart : {"default-src 'none'", "img-src 'self'", "form-action 'none'", "base-uri 'self'",
                               "sandbox allow-same-origin allow-modals"})
        EXPECT_NE(strPolicy.find(szPart), std::string::npos) << szPart;
    EXPECT_EQ(strPolicy.find("script-src"), std::string::npos) << "no script source at all";
    auto picture = Get("/doc/dir/a.png");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->body, "png");
    EXPECT_EQ(picture->get_header_value("Content-Security-Policy"), strPolicy);

    // Nothing else: no enciphered bytes, nothing outside, no token, no plain
    // copy left on disk; a page that cannot be read is an empty page.
    for (const char* szPath : {"/doc/dir/p.dat", "/doc/../secret.txt", "/doc/%2e%2e/%2e%2e/secret.txt"})
    {
        auto res = Get(szPath);
        ASSERT_TRUE(res) << szPath;
        EXPECT_NE(res->status, 200) << szPath;
    }
    for (const char* szPath : {"/doc/dir/missing.html", "/doc/dir/out.html", "/doc/%2e%2e/secret.html"})
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
    for (const char* szName : {"p.png", "p.JPG", "p.gif", "s.css", "d.svg", "x.htm", "x.html", "x.js", "x.desktop",
                               "x.xml", "x.txt"})
        WriteFileText(dir.File(std::string("content/Content/dir/") + szName), "<svg onload=x()></svg>");
    struct CCase
    {
        std::string strPath;
        const char* szDest; // the browser's Sec-Fetch-Dest, "" for none
        int nStatus;
    };
    for (const CCase& c : std::initializer_list<CCase>{
             {"/content/Content/dir/p.png", "image", 200},
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
        httplib::Headers headers{{"Host", host}, {"Cookie", "kalimor_token=" + bridge.GetToken()}};
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
    EXPECT_NE(Get("/ui/pic.png", "")->get_header_value("Content-Security-Policy").find("sandbox"), std::string::npos);
    for (const char* szPage : {"/", "/frame"})
    {
        auto res = Get(szPage);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->get_header_value("Content-Security-Policy"), "") << szPage;
        EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff") << szPage;
    }
}
