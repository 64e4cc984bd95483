#pragma once

#include "BridgeGate.h"
#include "KalimorHTMLayoutDataLoader.h"
#include "MessageLoop.h"
#include "StartCodes.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib
{
class Server;
struct Request;
struct Response;
} // namespace httplib
class CWindowManager;

// The loopback server that shows the client's windows in a browser: the start
// page and its script, the UI resources and content files, the content's
// documents (deciphered in memory, never on disk), a stream of DOM
// changes (server-sent events) and the browser's events and geometry (POST).
// Only 127.0.0.1 on a random port; the Host header must name this server.
// Every request carries the run's key in a header the page's script (and its
// worker, for the frames) adds to this origin's requests alone: browsers send
// a cookie to every port of the host, so a frame taken to another local port
// would hand it over. The start URL holds a one-time code that opens the
// page, which is given the key. The port itself is a gate (CBridgeGate) that
// bounds what any peer may hold before the HTTP server sees a byte of it. The server keeps a mirror
// of what it sent, so a reloaded page gets the whole state back without asking the UI thread.
class CBridgeServer
{
public:
    CBridgeServer(CMessageLoop& loop, CWindowManager& manager, const CResourceConfig& resources,
                  CAbstractHTMLayoutDataLoader& loader, std::string strContentFolder);
    ~CBridgeServer();
    CBridgeServer(const CBridgeServer&) = delete;
    CBridgeServer& operator=(const CBridgeServer&) = delete;

    bool Start();
    void Stop();
    int GetPort() const { return m_nPort; }
    // The gate's limits, set before Start (tests try smaller ones).
    void SetLimits(const SBridgeLimits& limits) { m_limits = limits; }
    const CBridgeGate* GetGate() const { return m_pGate.get(); }
    // The run's key, never on a command line.
    const std::string& GetToken() const { return m_strToken; }
    // The address that opens the page once (a new code every call).
    std::string GetStartUrl();

    // Changes from the UI thread (the window manager's sink).
    void Publish(const nlohmann::json& ops);
    // A page is connected to the change stream now.
    bool HasBrowser() const { return m_nLiveStreams.load() > 0; }
    // How many times a page connected so far in this run.
    std::uint64_t GetConnectionCount() const { return m_nStreamsOpened.load(); }
    // Called on the UI thread when the page went away and did not come back.
    void SetOnBrowserClosed(std::function<void()> onClosed)
    {
        m_onBrowserClosed = std::move(onClosed);
    }

    // The key check, constant time; exposed for tests.
    bool IsTokenValid(std::string_view token) const;

private:
    void SetupRoutes();
    bool IsAuthorized(const httplib::Request& req);
    // The window's own requests, which the gate always leaves room for.
    bool IsWindowRequest(const SRequestHead& head) const;
    // The "reset" event's data: every window and the DOM ops since its page.
    std::string BuildReset() const;
    void OnPageGone();
    bool ServeContentFile(const std::string& strRelative, std::string& strBody,
                          const std::string& strFolder) const;
    // A content document (deciphered in memory, made safe) or a file beside it.
    void ServeDocument(const std::string& strRelative, httplib::Response& res) const;
    std::string GetDocumentsFolder() const;

    CMessageLoop& m_loop;
    CWindowManager& m_manager;
    const CResourceConfig& m_resources;
    CAbstractHTMLayoutDataLoader& m_loader;
    std::string m_strContentFolder;
    std::string m_strToken;
    CStartCodes m_startCodes;
    int m_nPort = 0;
    std::unique_ptr<httplib::Server> m_pServer;
    std::unique_ptr<CBridgeGate> m_pGate;
    std::string m_strSocketFolder;
    SBridgeLimits m_limits;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, nlohmann::json> m_windows; // window -> its last "win" op
    // Window -> the DOM ops since its last whole page, each kept as its JSON
    // text: a reset only joins them, and a text is a few times smaller than
    // the parsed op (the list of a window that lives all day, as the top
    // panel, grows until the engine sends its whole page again).
    std::map<int, std::vector<std::string>> m_dom;
    std::deque<std::pair<std::uint64_t, std::string>> m_recent; // sequence -> its "patch" event
    std::size_t m_nRecentBytes = 0;
    std::uint64_t m_nSequence = 0;
    bool m_bStopping = false;
    std::atomic<int> m_nLiveStreams{0};
    std::atomic<std::uint64_t> m_nStreamsOpened{0};
    std::function<void()> m_onBrowserClosed;
    std::shared_ptr<bool> m_pAlive;
};
