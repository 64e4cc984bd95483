#include "BridgeServer.h"

#include "DocumentPage.h"
#include "FileUtils.h"
#include "HTMLayoutNotifHandler.h"
#include "HtmlDocument.h"
#include "Logger.h"
#include "WindowManager.h"

#include <httplib.h>
#include <sys/random.h>

#include <filesystem>

namespace
{
constexpr const char* kCookieName = "kalimor_token";
constexpr std::size_t kRecentBatches = 2000;
// The patch log lets a page that fell a little behind catch up; one further
// behind gets the whole state. 1 MiB holds many views' patches and, being
// kept all day, was the largest live part of the heap at 4 MiB.
constexpr std::size_t kRecentBytes = 1 << 20;
constexpr auto kPingPeriod = std::chrono::seconds(2);
constexpr unsigned kCloseGraceMs = 2500;
constexpr std::size_t kWorkerThreads = 48;
// Files beside the documents (style sheets, pictures): a page shown again
// does not ask for them again; an update's new ones are taken within a minute.
constexpr const char* kDocumentFileCaching = "private, max-age=60";

std::string NewToken()
{
    unsigned char bytes[24] = {};
    std::size_t nFilled = 0;
    while (nFilled < sizeof(bytes))
    {
        const ssize_t nRead = ::getrandom(bytes + nFilled, sizeof(bytes) - nFilled, 0);
        if (nRead <= 0)
            break;
        nFilled += static_cast<std::size_t>(nRead);
    }
    static const char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char b : bytes)
    {
        token += kHex[b >> 4];
        token += kHex[b & 15];
    }
    return token;
}

std::string CookieValue(const std::string& header, std::string_view name)
{
    std::size_t nPos = 0;
    while (nPos < header.size())
    {
        while (nPos < header.size() && (header[nPos] == ' ' || header[nPos] == ';'))
            ++nPos;
        std::size_t nEnd = header.find(';', nPos);
        if (nEnd == std::string::npos)
            nEnd = header.size();
        const std::string_view pair = std::string_view(header).substr(nPos, nEnd - nPos);
        const std::size_t nEqual = pair.find('=');
        if (nEqual != std::string_view::npos && pair.substr(0, nEqual) == name)
            return std::string(pair.substr(nEqual + 1));
        nPos = nEnd + 1;
    }
    return {};
}

// The extension without its dot, in lower case.
std::string Extension(std::string_view path)
{
    std::string ext = CFileUtils::GetFileExt(path);
    if (!ext.empty())
        ext.erase(0, 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::string ContentType(std::string_view path)
{
    const std::string ext = Extension(path);
    if (ext == "htm" || ext == "html")
        return "text/html; charset=utf-8";
    if (ext == "css")
        return "text/css; charset=utf-8";
    if (ext == "js")
        return "text/javascript; charset=utf-8";
    if (ext == "png")
        return "image/png";
    if (ext == "jpg" || ext == "jpeg")
        return "image/jpeg";
    if (ext == "gif")
        return "image/gif";
    if (ext == "svg")
        return "image/svg+xml";
    return "application/octet-stream";
}

unsigned DataTypeOf(std::string_view path)
{
    const std::string ext = Extension(path);
    if (ext == "css")
        return HLRT_DATA_STYLE;
    if (ext == "htm" || ext == "html")
        return HLRT_DATA_HTML;
    return HLRT_DATA_IMAGE;
}

std::string SseEvent(std::string_view name, const nlohmann::json& data)
{
    std::string text = "event: ";
    text += name;
    text += "\ndata: ";
    text += data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    text += "\n\n";
    return text;
}

const char* kStartPage = R"(<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8"><title>Калимор</title>
<link rel="stylesheet" href="/bridge/app.css"></head>
<body><div id="kalimor-frame"></div><div id="kalimor-dialogs"></div>
<script src="/bridge/app.js"></script></body></html>
)";

// Content documents come in update packages and are not trusted: they get
// no script, no request that leaves the client, no form, pop-up or
// navigation of the page holding them, even when opened on their own.
// The client's own script moves a page's base address to the page it puts
// in the frame in place of another (pages never bring a base element: it is
// cleaned out of them), so a base may name this server and nothing else.
const char* kDocumentPolicy =
    "default-src 'none'; img-src 'self'; style-src 'self' 'unsafe-inline'; font-src 'self'; media-src 'self'; "
    "base-uri 'self'; form-action 'none'; frame-ancestors 'self'; sandbox allow-same-origin allow-modals";

const char* kFramePage = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body></body></html>";
} // namespace

CBridgeServer::CBridgeServer(CMessageLoop& loop, CWindowManager& manager, const CResourceConfig& resources,
                             CAbstractHTMLayoutDataLoader& loader, std::string strContentFolder)
    : m_loop(loop),
      m_manager(manager),
      m_resources(resources),
      m_loader(loader),
      m_strContentFolder(std::move(strContentFolder)),
      m_strToken(NewToken()),
      m_pAlive(std::make_shared<bool>(true))
{
}

CBridgeServer::~CBridgeServer()
{
    Stop();
}

bool CBridgeServer::IsTokenValid(std::string_view token) const
{
    if (token.size() != m_strToken.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        diff |= static_cast<unsigned char>(token[i] ^ m_strToken[i]);
    return diff == 0;
}

std::string CBridgeServer::GetStartUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_nPort) + "/?token=" + m_strToken;
}

bool CBridgeServer::Start()
{
    KTRACE("CBridgeServer::Start");
    m_pServer = std::make_unique<httplib::Server>();
    SetupRoutes();
    m_nPort = m_pServer->bind_to_any_port("127.0.0.1");
    if (m_nPort <= 0)
    {
        KLOG_ERR << "CBridgeServer::Start can't listen on 127.0.0.1";
        m_pServer.reset();
        return false;
    }
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    KLOG_NOTICE << "CBridgeServer::Start listening on 127.0.0.1:" << m_nPort;
    return true;
}

void CBridgeServer::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_changed.notify_all();
    if (m_pServer)
        m_pServer->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_pServer.reset();
}

void CBridgeServer::Publish(const nlohmann::json& ops)
{
    {
        std::lock_guard lock(m_mutex);
        for (const auto& op : ops)
        {
            const std::string kind = op.value("op", "");
            const int nWindow = op.value("win", 0);
            if (kind == "win")
                m_windows[nWindow] = op;
            else if (kind == "destroy")
            {
                m_windows.erase(nWindow);
                m_dom.erase(nWindow);
            }
            else if (kind == "dom")
            {
                auto& list = m_dom[nWindow];
                for (const auto& domOp : op["ops"])
                {
                    if (domOp.value("op", "") == "doc")
                        list.clear();
                    list.push_back(domOp);
                }
            }
        }
        // Written once for every page that listens; a page that falls
        // further behind than this gets the whole state instead.
        std::string text = SseEvent("patch", ops);
        m_nRecentBytes += text.size();
        m_recent.emplace_back(++m_nSequence, std::move(text));
        while (m_recent.size() > kRecentBatches || (m_recent.size() > 1 && m_nRecentBytes > kRecentBytes))
        {
            m_nRecentBytes -= m_recent.front().second.size();
            m_recent.pop_front();
        }
    }
    m_changed.notify_all();
}

nlohmann::json CBridgeServer::BuildReset() const
{
    nlohmann::json ops = nlohmann::json::array();
    for (const auto& [nWindow, op] : m_windows)
        ops.push_back(op);
    for (const auto& [nWindow, list] : m_dom)
        if (m_windows.count(nWindow))
            ops.push_back({{"op", "dom"}, {"win", nWindow}, {"ops", list}});
    return ops;
}

void CBridgeServer::OnPageGone()
{
    // A reload comes back within a moment; a closed window does not.
    const std::uint64_t nOpenedBefore = m_nStreamsOpened.load();
    std::weak_ptr<bool> alive = m_pAlive;
    m_loop.PostTask([this, alive, nOpenedBefore] {
        if (alive.expired())
            return;
        auto pTimer = std::make_shared<unsigned>(0);
        *pTimer = m_loop.SetTimer(std::chrono::milliseconds(kCloseGraceMs), [this, alive, nOpenedBefore, pTimer] {
            m_loop.KillTimer(*pTimer);
            if (alive.expired())
                return;
            if (m_nLiveStreams.load() == 0 && m_nStreamsOpened.load() == nOpenedBefore && m_onBrowserClosed)
                m_onBrowserClosed();
        });
    });
}

void CBridgeServer::ServeDocument(const std::string& strRelative, httplib::Response& res) const
{
    res.set_header("Content-Security-Policy", kDocumentPolicy);
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Referrer-Policy", "no-referrer");
    const std::string ext = Extension(strRelative);
    if (ext == "html")
    {
        // A page that cannot be read shows as an empty page; the reason is
        // in the log.
        // The enciphered file must lie inside the folder, links followed.
        std::string strEnciphered;
        CDocumentPage page;
        const bool bInside = CKalimorHTMLayoutDataLoader::ResolveInside(
            GetDocumentsFolder(), strRelative.substr(0, strRelative.size() - 4) + "dat", strEnciphered);
        const std::string strHtml =
            bInside && page.Load(GetDocumentsFolder(), "/" + strRelative) ? page.GetSafeHtml() : "";
        res.set_header("Cache-Control", "no-store");
        res.set_content(strHtml, "text/html; charset=utf-8");
        return;
    }
    std::string strBody;
    if (ext == "dat" || !ServeContentFile(strRelative, strBody, GetDocumentsFolder()))
    {
        res.status = 404;
        return;
    }
    res.set_header("Cache-Control", kDocumentFileCaching);
    res.set_content(strBody, ContentType(strRelative));
}

std::string CBridgeServer::GetDocumentsFolder() const
{
    std::string strFolder = m_strContentFolder;
    if (!strFolder.empty() && strFolder.back() != '/')
        strFolder += '/';
    return strFolder + "Content";
}

bool CBridgeServer::ServeContentFile(const std::string& strRelative, std::string& strBody,
                                     const std::string& strFolder) const
{
    std::string strPath;
    CByteArray bytes;
    if (!CKalimorHTMLayoutDataLoader::ResolveInside(strFolder, strRelative, strPath) ||
        !std::filesystem::is_regular_file(strPath) || !CFileUtils::LoadAllBinFile(strPath, bytes))
        return false;
    strBody.assign(bytes.begin(), bytes.end());
    return true;
}

void CBridgeServer::SetupRoutes()
{
    httplib::Server& server = *m_pServer;
    server.set_keep_alive_max_count(1000);
    // A kept-alive connection holds a worker while it waits for its next
    // request, and the browser keeps several per window page: the pool is
    // large enough that a new request never waits for one to time out.
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    server.set_tcp_nodelay(true); // small patches and events go at once
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Another site or a rebinding name never gets here: the browser
        // sends the Host it connected to.
        if (req.get_header_value("Host") != "127.0.0.1:" + std::to_string(m_nPort))
        {
            res.status = 403;
            return httplib::Server::HandlerResponse::Handled;
        }
        if (IsTokenValid(CookieValue(req.get_header_value("Cookie"), kCookieName)))
            return httplib::Server::HandlerResponse::Unhandled;
        if (req.method == "GET" && req.path == "/" && req.has_param("token") &&
            IsTokenValid(req.get_param_value("token")))
        {
            res.set_header("Set-Cookie", std::string(kCookieName) + "=" + m_strToken +
                                             "; Path=/; HttpOnly; SameSite=Strict");
            res.set_redirect("/", 303); // the token leaves the address bar
            return httplib::Server::HandlerResponse::Handled;
        }
        res.status = 403;
        res.set_content("forbidden", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });

    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_content(kStartPage, "text/html; charset=utf-8");
    });
    server.Get("/frame", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kFramePage, "text/html; charset=utf-8");
    });
    server.Get(R"(/bridge/(app\.js|app\.css))", [this](const httplib::Request& req, httplib::Response& res) {
        CByteArray bytes;
        const std::string strName = req.matches[1];
        if (!CFileUtils::LoadBinFileOrResource(m_resources.GetPath("ui/bridge/" + strName), bytes))
        {
            res.status = 404;
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(std::string(bytes.begin(), bytes.end()), ContentType(strName));
    });
    server.Get(R"(/ui/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        // The same answers the engine gets from the loader: styles from the
        // styles folder, pages from ui, images from the images folder.
        // Only names relative to those folders: a file URL or an absolute
        // path would make the image loader read any file of the user's.
        const std::string strName = req.matches[1];
        CByteArray bytes;
        if (strName.find(':') != std::string::npos || strName.starts_with('/') || strName.starts_with('\\') ||
            !CHTMLayoutNotifHandler::LoadByType(m_loader, strName, DataTypeOf(strName), bytes))
        {
            res.status = 404;
            return;
        }
        // The origin (the port) is new every run, and so is its cache.
        res.set_header("Cache-Control", "private, max-age=3600");
        res.set_content(std::string(bytes.begin(), bytes.end()), ContentType(strName));
    });
    server.Get(R"(/content/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        std::string strBody;
        const std::string strName = req.matches[1];
        if (!ServeContentFile(strName, strBody, m_strContentFolder))
        {
            res.status = 404;
            return;
        }
        res.set_content(strBody, ContentType(strName));
    });
    server.Get(R"(/doc/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        ServeDocument(req.matches[1], res);
    });
    server.Post("/event", [this](const httplib::Request& req, httplib::Response& res) {
        nlohmann::json events = nlohmann::json::parse(req.body, nullptr, false);
        if (events.is_discarded())
        {
            res.status = 400;
            return;
        }
        if (!events.is_array())
            events = nlohmann::json::array({events});
        for (auto& event : events)
        {
            if (event.is_object() && event.value("type", "") == "close")
            {
                OnPageGone();
                continue;
            }
            m_loop.PostTask([this, event = std::move(event)] { m_manager.HandleBrowserEvent(event); });
        }
        res.status = 204;
    });
    server.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        ++m_nStreamsOpened;
        ++m_nLiveStreams;
        auto pSent = std::make_shared<std::uint64_t>(0);
        auto pStarted = std::make_shared<bool>(false);
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, pSent, pStarted](std::size_t, httplib::DataSink& sink) {
                std::unique_lock lock(m_mutex);
                std::string text;
                if (!*pStarted)
                {
                    *pStarted = true;
                    *pSent = m_nSequence;
                    text = SseEvent("reset", BuildReset());
                }
                else
                {
                    m_changed.wait_for(lock, kPingPeriod,
                                       [&] { return m_bStopping || m_nSequence > *pSent; });
                    if (m_bStopping)
                    {
                        // The page says the client ended instead of calling again.
                        const std::string ended = SseEvent("ended", nlohmann::json::object());
                        sink.write(ended.data(), ended.size());
                        return false;
                    }
                    if (!m_recent.empty() && m_recent.front().first > *pSent + 1)
                        text = SseEvent("reset", BuildReset()); // fell too far behind
                    else
                        for (const auto& [nSequence, patch] : m_recent)
                            if (nSequence > *pSent)
                                text += patch;
                    *pSent = m_nSequence;
                    if (text.empty())
                        text = ": ping\n\n"; // finds a closed page
                }
                lock.unlock();
                return sink.write(text.data(), text.size());
            },
            [this](bool) {
                if (--m_nLiveStreams == 0)
                    OnPageGone();
            });
    });
}
