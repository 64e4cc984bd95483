#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib
{
class Server;
}

// Ways the service can misbehave on one path.
enum class EServiceFault
{
    None,
    Error,          // a 4-line "ERROR" answer with the fault's code and text
    LowerCaseError, // the same with "error" in lower case
    WrongVersion,   // "OK", "2", ...
    CrLf,           // the right lines, ended by CR LF
    TrailingFeed,   // the right lines and one more line feed
    EmptyBody,      // status 200 and nothing else
    Oversized,      // an answer of 1 MiB and one byte
    Status404,
    Status500,
    Truncated, // announces the whole body, sends half, closes
    Drop,      // announces a body, sends nothing, closes
    Slow,      // the body in small pieces with pauses
    Stall,     // half the body, then nothing until the client gives up
    // A package delivered whole as HTTP goes, but damaged as a package:
    CutPackage,     // its first half only, announced as the whole
    CorruptPackage, // bytes in the middle of its compressed data flipped
    BadChecksum,    // every entry's CRC-32 wrong, in both of its headers
};

// One request as the service received it.
struct CServiceRequest
{
    std::string m_strMethod;
    std::string m_strPath;
    std::string m_strBody;
    std::vector<std::string> m_lines; // the body cut at line feeds
    std::string m_strUserAgent;
    std::string m_strContentType;
    std::string m_strVia; // set when the request came through a proxy
};

// A real HTTP update service on 127.0.0.1 and a free port, speaking the
// client's line protocol: accounts with salts and credential digests, client
// versions, full and incremental package lists, package, installer and web
// file downloads, and sign-up. Every path can be told to misbehave.
class CFakeUpdateService
{
public:
    CFakeUpdateService();
    ~CFakeUpdateService();
    CFakeUpdateService(const CFakeUpdateService&) = delete;
    CFakeUpdateService& operator=(const CFakeUpdateService&) = delete;

    // On a free port when nPort is 0. False when it cannot listen.
    bool Start(unsigned nPort = 0);
    void Stop();
    unsigned GetPort() const { return m_nPort; }
    std::string GetHostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }
    std::string GetUrl(const std::string& strPath) const
    {
        return "http://" + GetHostPort() + strPath;
    }

    void AddAccount(const std::string& strLogin, const std::string& strPassword);
    // The first n salt requests of the login are answered with an error, as
    // for an account the update service does not know yet.
    void DelaySalt(const std::string& strLogin, int nTimes);
    void SetClient(const std::string& strVersion, const std::string& strInstaller);
    // Served at /packages/N.zip and listed by version.
    void AddPackage(int nVersion, std::string bytes);
    // Lists a package under a URL of the caller's choice.
    void AddListedPackage(const std::string& strVersion, const std::string& strUrl);
    // A file of the web site, served at its path.
    void AddWebFile(const std::string& strPath, std::string bytes);
    // Every file under a folder, served at its path below the folder.
    bool AddWebFolder(const std::string& strFolder);
    // The answer to the next sign-ups: 0 accepts, any other code refuses.
    void SetSignUpAnswer(int nCode, const std::string& strText);
    // Lets a test steer the service over HTTP, for tests that run it as a
    // program: POST /test/sign-up ("code\ntext"), POST /test/fault
    // ("path\nfault\ntimes\ncode\ntext", fault one of none, slow, error, 404,
    // 500, drop, truncated, stall, cut, corrupt, checksum)
    // and POST /test/slow ("bytes\npause in ms"). Call before Start.
    void EnableControl() { m_bControl = true; }

    // The fault for a path ("/distributor/salt", "/packages/2.zip"...), for
    // the next n requests to it (all of them when n < 0).
    void SetFault(const std::string& strPath, EServiceFault fault, int nTimes = -1, int nCode = 42,
                  const std::string& strText = "Сервис недоступен");
    // Bytes per pause for slow bodies, and the pause.
    void SetSlowRate(std::size_t nBytes, std::chrono::milliseconds pause);

    std::vector<CServiceRequest> GetRequests() const;
    std::vector<CServiceRequest> GetRequests(const std::string& strPath) const;
    // The credential digest the service expects for a login's password.
    std::string ExpectedPasswordField(const std::string& strLogin) const;

    static std::string SaltFor(const std::string& strLogin);

private:
    struct CFault
    {
        EServiceFault m_fault = EServiceFault::None;
        int m_nTimes = 0;
        int m_nCode = 0;
        std::string m_strText;
    };

    void Install();
    void InstallControl();
    CFault TakeFault(const std::string& strPath);
    std::string Answer(const std::string& strPath, const std::vector<std::string>& lines);
    bool CheckAccount(const std::vector<std::string>& lines, std::string& strError);
    std::string PackageList(int nAfter) const;

    std::unique_ptr<httplib::Server> m_pServer;
    std::thread m_thread;
    unsigned m_nPort = 0;
    std::atomic<bool> m_bStopping{false};

    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_accounts;
    std::map<std::string, int> m_delayedSalts;
    std::string m_strClientVersion;
    std::string m_strClientInstaller;
    std::map<int, std::string> m_packages;
    std::vector<std::pair<std::string, std::string>> m_listedPackages;
    std::map<std::string, std::string> m_webFiles;
    int m_nSignUpCode = 0;
    std::string m_strSignUpText;
    std::map<std::string, CFault> m_faults;
    std::size_t m_nSlowBytes = 8192;
    std::chrono::milliseconds m_slowPause{50};
    std::vector<CServiceRequest> m_requests;
    bool m_bControl = false;
};
