#include "BridgeServer.h"

#include "DocumentPage.h"
#include "FileUtils.h"
#include "HTMLayoutNotifHandler.h"
#include "HtmlDocument.h"
#include "Logger.h"
#include "Shortcuts.h"
#include "WindowManager.h"
#include "XMLUtils.h"

#include <httplib.h>

#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace
{
// The header that carries the run's key, and the parameter that carries it
// where a browser cannot add a header (the change stream, the closing beacon).
constexpr const char* kKeyHeader = "X-Kalimor-Key";
constexpr const char* kKeyParam = "key";
constexpr std::size_t kRecentBatches = 2000;
// The patch log lets a page that fell a little behind catch up; one further
// behind gets the whole state. 1 MiB holds many views' patches and, being
// kept all day, was the largest live part of the heap at 4 MiB.
constexpr std::size_t kRecentBytes = 1 << 20;
constexpr auto kPingPeriod = std::chrono::seconds(2);
constexpr unsigned kCloseGraceMs = 2500;
// Files beside the documents (style sheets, pictures): a page shown again
// does not ask for them again; an update's new ones are taken within a minute.
constexpr const char* kDocumentFileCaching = "private, max-age=60";

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

std::string JsonText(const nlohmann::json& data)
{
    return data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// An event whose data is JSON text already.
std::string SseEventOfText(std::string_view name, std::string_view data)
{
    std::string text = "event: ";
    text += name;
    text += "\ndata: ";
    text += data;
    text += "\n\n";
    return text;
}

std::string SseEvent(std::string_view name, const nlohmann::json& data)
{
    return SseEventOfText(name, JsonText(data));
}

// The page's script takes the key out of the page as it starts; the keys the
// client takes for itself come with it, from the windows' own table.
std::string StartPage(const std::string& strKey)
{
    return "<!DOCTYPE html>\n<html lang=\"ru\"><head><meta "
           "charset=\"utf-8\"><title>Калимор</title>\n"
           "<meta name=\"kalimor-key\" content=\"" +
           strKey + "\">\n<meta name=\"kalimor-shortcuts\" content=\"" +
           CXMLUtils::EncodeForXML(CShortcuts::ForPage().dump()) +
           "\">\n<link rel=\"stylesheet\" href=\"/bridge/app.css\"></head>\n"
           "<body><div id=\"kalimor-frame\"></div><div id=\"kalimor-dialogs\"></div>\n"
           "<script src=\"/bridge/app.js\"></script></body></html>\n";
}

// The front-end's own files: the same in every installation and free of any
// secret, and asked for before the page holds the key.
bool IsPublicFile(std::string_view path)
{
    return path == "/bridge/app.js" || path == "/bridge/app.css" || path == "/kalimor-sw.js";
}

// Content documents come in update packages and are not trusted: they get
// no script, no request that leaves the client, no form, pop-up or
// navigation of the page holding them, even when opened on their own.
// The client's own script moves a page's base address to the page it puts
// in the frame in place of another (pages never bring a base element: it is
// cleaned out of them), so a base may name this server and nothing else.
const char* kDocumentPolicy = "default-src 'none'; img-src 'self'; style-src 'self' "
                              "'unsafe-inline'; font-src 'self'; media-src 'self'; "
                              "base-uri 'self'; form-action 'none'; frame-ancestors 'self'; "
                              "sandbox allow-same-origin allow-modals";

// Every answer that is not one of the client's own window pages (the start
// page and the engine's frame page) is nothing to be shown as a page: opened
// as one it runs nothing, loads nothing but this server's pictures and
// styles, and its type is never guessed.
const char* kStrictPolicy =
    "default-src 'none'; img-src 'self'; style-src 'self' 'unsafe-inline'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors 'self'; sandbox";

// Package files served as they are: pictures and style sheets only. Pages go
// through the cleaning route (/doc/), and nothing else of a package (its
// scripts, launchers, programs) is the browser's business. An SVG picture is
// served to an image, never as a document of its own.
bool IsServedPackageFile(std::string_view path, const httplib::Request& req)
{
    const std::string ext = Extension(path);
    if (ext == "svg")
    {
        const std::string strDest = req.get_header_value("Sec-Fetch-Dest");
        return strDest.empty() || strDest == "image";
    }
    return ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "gif" || ext == "bmp" ||
           ext == "webp" || ext == "ico" || ext == "css";
}

const char* kFramePage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body></body></html>";

// Sends a body as it stands. Given a whole text body, the HTTP library
// compresses it for any browser that accepts brotli, at brotli's slowest
// quality: over the loopback that buys nothing and costs milliseconds of a
// worker and megabytes of encoder state for every page, style sheet and
// document. A body of known length given by a provider is never compressed.
void SetBody(httplib::Response& res, std::string body, const std::string& strType)
{
    if (body.empty())
    {
        res.set_content(body, strType);
        return;
    }
    auto pBody = std::make_shared<const std::string>(std::move(body));
    res.set_content_provider(
        pBody->size(), strType,
        [pBody](std::size_t nOffset, std::size_t nLength, httplib::DataSink& sink) {
            if (nOffset > pBody->size())
                return false;
            return sink.write(pBody->data() + nOffset, std::min(nLength, pBody->size() - nOffset));
        });
}

std::string BytesText(const CByteArray& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
} // namespace

CBridgeServer::CBridgeServer(CMessageLoop& loop, CWindowManager& manager,
                             const CResourceConfig& resources, CAbstractHTMLayoutDataLoader& loader,
                             std::string strContentFolder)
    : m_loop(loop),
      m_manager(manager),
      m_resources(resources),
      m_loader(loader),
      m_strContentFolder(std::move(strContentFolder)),
      m_strToken(CStartCodes::NewSecret()),
      m_pAlive(std::make_shared<bool>(true))
{
}

CBridgeServer::~CBridgeServer()
{
    Stop();
}

bool CBridgeServer::IsTokenValid(std::string_view token) const
{
    return CStartCodes::SameSecret(token, m_strToken);
}

std::string CBridgeServer::GetStartUrl()
{
    return "http://127.0.0.1:" + std::to_string(m_nPort) + "/?token=" + m_startCodes.Issue();
}

bool CBridgeServer::IsAuthorized(const httplib::Request& req)
{
    if (IsTokenValid(req.get_header_value(kKeyHeader)))
        return true;
    if (req.method == "GET" && IsPublicFile(req.path))
        return true;
    // An EventSource and a beacon cannot carry a header; the page's own
    // address never holds the key, so no Referer does either.
    if (((req.method == "GET" && req.path == "/events") ||
         (req.method == "POST" && req.path == "/event")) &&
        IsTokenValid(req.get_param_value(kKeyParam)))
        return true;
    return req.method == "GET" && req.path == "/" && req.has_param("token") &&
           m_startCodes.Redeem(req.get_param_value("token"));
}

bool CBridgeServer::IsWindowRequest(const SRequestHead& head) const
{
    if (IsTokenValid(head.Header(kKeyHeader)))
        return true;
    const std::string_view path =
        std::string_view(head.m_strTarget).substr(0, head.m_strTarget.find('?'));
    return (path == "/events" || path == "/event") && IsTokenValid(head.Param(kKeyParam));
}

bool CBridgeServer::Start()
{
    KTRACE("CBridgeServer::Start");
    // The server itself answers on a socket in a folder of the user's own;
    // the browser reaches it only through the gate on the loopback port.
    const char* szRuntime = std::getenv("XDG_RUNTIME_DIR");
    std::string strTemplate =
        std::string(szRuntime && *szRuntime ? szRuntime : "/tmp") + "/kalimor-bridge-XXXXXX";
    if (!::mkdtemp(strTemplate.data()))
    {
        KLOG_ERR << "CBridgeServer::Start can't make a private folder in " << strTemplate;
        return false;
    }
    m_strSocketFolder = strTemplate;
    const std::string strSocket = m_strSocketFolder + "/http";
    m_pServer = std::make_unique<httplib::Server>();
    SetupRoutes();
    m_pServer->set_address_family(AF_UNIX);
    m_pGate = std::make_unique<CBridgeGate>(
        m_limits, [this](const SRequestHead& head) { return IsWindowRequest(head); });
    if (!m_pServer->bind_to_port(strSocket, 80) || !m_pGate->Start(strSocket))
    {
        KLOG_ERR << "CBridgeServer::Start can't listen on 127.0.0.1";
        m_pGate.reset();
        m_pServer.reset();
        std::error_code error;
        std::filesystem::remove_all(m_strSocketFolder, error);
        return false;
    }
    m_nPort = m_pGate->GetPort();
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    KLOG_NOTICE << "CBridgeServer::Start listening on 127.0.0.1:" << m_nPort;
    return true;
}

void CBridgeServer::Stop()
{
    // Nothing new comes in while the pages hear that the client ends.
    if (m_pGate)
        m_pGate->StopAccepting();
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_changed.notify_all();
    if (m_pServer)
        m_pServer->stop();
    if (m_thread.joinable())
        m_thread.join();
    // After the server: what it wrote last (the page's "ended") still goes out.
    if (m_pGate)
        m_pGate->Stop();
    m_pGate.reset();
    m_pServer.reset();
    if (!m_strSocketFolder.empty())
    {
        std::error_code error;
        std::filesystem::remove_all(m_strSocketFolder, error);
        m_strSocketFolder.clear();
    }
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
                    list.push_back(JsonText(domOp));
                }
            }
        }
        // Written once for every page that listens; a page that falls
        // further behind than this gets the whole state instead.
        std::string text = SseEvent("patch", ops);
        m_nRecentBytes += text.size();
        m_recent.emplace_back(++m_nSequence, std::move(text));
        while (m_recent.size() > kRecentBatches ||
               (m_recent.size() > 1 && m_nRecentBytes > kRecentBytes))
        {
            m_nRecentBytes -= m_recent.front().second.size();
            m_recent.pop_front();
        }
    }
    m_changed.notify_all();
}

std::string CBridgeServer::BuildReset() const
{
    std::string text = "[";
    const auto separate = [&text] {
        if (text.size() > 1)
            text += ',';
    };
    for (const auto& [nWindow, op] : m_windows)
    {
        separate();
        text += JsonText(op);
    }
    for (const auto& [nWindow, list] : m_dom)
        if (m_windows.count(nWindow))
        {
            separate();
            text += R"({"op":"dom","win":)" + std::to_string(nWindow) + R"(,"ops":[)";
            for (std::size_t i = 0; i < list.size(); ++i)
            {
                if (i)
                    text += ',';
                text += list[i];
            }
            text += "]}";
        }
    text += ']';
    return text;
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
        *pTimer = m_loop.SetTimer(
            std::chrono::milliseconds(kCloseGraceMs), [this, alive, nOpenedBefore, pTimer] {
                m_loop.KillTimer(*pTimer);
                if (alive.expired())
                    return;
                if (m_nLiveStreams.load() == 0 && m_nStreamsOpened.load() == nOpenedBefore &&
                    m_onBrowserClosed)
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
            GetDocumentsFolder(), strRelative.substr(0, strRelative.size() - 4) + "dat",
            strEnciphered);
        const std::string strHtml =
            bInside && page.Load(GetDocumentsFolder(), "/" + strRelative) ? page.GetSafeHtml() : "";
        res.set_header("Cache-Control", "no-store");
        SetBody(res, strHtml, "text/html; charset=utf-8");
        return;
    }
    std::string strBody;
    if (ext == "dat" || !ServeContentFile(strRelative, strBody, GetDocumentsFolder()))
    {
        res.status = 404;
        return;
    }
    res.set_header("Cache-Control", kDocumentFileCaching);
    SetBody(res, std::move(strBody), ContentType(strRelative));
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
    // request, and the browser keeps several per window page: there is a
    // worker for every connection the gate joins, so none waits for another.
    const std::size_t nWorkers = m_limits.m_nReserved + m_limits.m_nMaxOtherRequests;
    server.new_task_queue = [nWorkers] { return new httplib::ThreadPool(nWorkers); };
    server.set_payload_max_length(m_limits.m_nMaxBody);
    server.set_tcp_nodelay(true); // small patches and events go at once
    // No address of this server is ever told to another.
    server.set_default_headers({{"Referrer-Policy", "no-referrer"}});
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Another site or a rebinding name never gets here: the browser
        // sends the Host it connected to.
        if (req.get_header_value("Host") != "127.0.0.1:" + std::to_string(m_nPort))
        {
            res.status = 403;
            return httplib::Server::HandlerResponse::Handled;
        }
        if (IsAuthorized(req))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content("forbidden", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });

    server.set_post_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        const bool bWindowPage = (req.path == "/" || req.path == "/frame") && res.status == 200;
        // The service worker fetches the window's own addresses for the
        // frames: the strict policy would forbid it every fetch.
        if (req.path == "/kalimor-sw.js" && res.status == 200)
            res.set_header("Content-Security-Policy", "default-src 'self'");
        else if (!bWindowPage && !res.has_header("Content-Security-Policy"))
            res.set_header("Content-Security-Policy", kStrictPolicy);
        if (!res.has_header("X-Content-Type-Options"))
            res.set_header("X-Content-Type-Options", "nosniff");
    });

    server.Get("/", [this](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        SetBody(res, StartPage(m_strToken), "text/html; charset=utf-8");
    });
    server.Get("/frame", [](const httplib::Request&, httplib::Response& res) {
        SetBody(res, kFramePage, "text/html; charset=utf-8");
    });
    server.Get(R"(/(?:bridge/(app\.js|app\.css)|kalimor-(sw\.js)))",
               [this](const httplib::Request& req, httplib::Response& res) {
                   CByteArray bytes;
                   const std::string strName =
                       req.matches[1].matched ? req.matches[1].str() : req.matches[2].str();
                   if (!CFileUtils::LoadBinFileOrResource(
                           m_resources.GetPath("ui/bridge/" + strName), bytes))
                   {
                       res.status = 404;
                       return;
                   }
                   res.set_header("Cache-Control", "no-store");
                   SetBody(res, BytesText(bytes), ContentType(strName));
               });
    server.Get(R"(/ui/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        // The same answers the engine gets from the loader: styles from the
        // styles folder, pages from ui, images from the images folder.
        // Only names relative to those folders: a file URL or an absolute
        // path would make the image loader read any file of the user's.
        const std::string strName = req.matches[1];
        CByteArray bytes;
        if (strName.find(':') != std::string::npos || strName.starts_with('/') ||
            strName.starts_with('\\') ||
            !CHTMLayoutNotifHandler::LoadByType(m_loader, strName, DataTypeOf(strName), bytes))
        {
            res.status = 404;
            return;
        }
        // The origin (the port) is new every run, and so is its cache.
        res.set_header("Cache-Control", "private, max-age=3600");
        SetBody(res, BytesText(bytes), ContentType(strName));
    });
    server.Get(R"(/content/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        std::string strBody;
        const std::string strName = req.matches[1];
        if (!IsServedPackageFile(strName, req) ||
            !ServeContentFile(strName, strBody, m_strContentFolder))
        {
            res.status = 404;
            return;
        }
        SetBody(res, std::move(strBody), ContentType(strName));
    });
    server.Get(R"(/doc/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string strName = req.matches[1];
        if (Extension(strName) != "html" && !IsServedPackageFile(strName, req))
        {
            res.status = 404;
            return;
        }
        ServeDocument(strName, res);
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
            m_loop.PostTask(
                [this, event = std::move(event)] { m_manager.HandleBrowserEvent(event); });
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
                    text = SseEventOfText("reset", BuildReset());
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
                        text = SseEventOfText("reset", BuildReset()); // fell too far behind
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
