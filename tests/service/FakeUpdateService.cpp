#include "FakeUpdateService.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <httplib.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace
{
std::vector<std::string> SplitLines(const std::string& strText)
{
    std::vector<std::string> lines;
    std::size_t nStart = 0;
    for (auto nFeed = strText.find('\n'); nFeed != std::string::npos;
         nFeed = strText.find('\n', nStart))
    {
        lines.push_back(strText.substr(nStart, nFeed - nStart));
        nStart = nFeed + 1;
    }
    lines.push_back(strText.substr(nStart));
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, const char* szSeparator = "\n")
{
    std::string strText;
    for (std::size_t n = 0; n < lines.size(); ++n)
        strText += (n ? szSeparator : "") + lines[n];
    return strText;
}

// UTF-8 to Windows-1251 for what a password may hold: ASCII and Cyrillic.
std::string ToCP1251(const std::string& strText)
{
    std::string out;
    for (std::size_t n = 0; n < strText.size(); ++n)
    {
        const auto b = static_cast<unsigned char>(strText[n]);
        if (b < 0x80)
        {
            out += static_cast<char>(b);
            continue;
        }
        unsigned nCode = 0;
        if ((b & 0xE0) == 0xC0 && n + 1 < strText.size())
            nCode = ((b & 0x1F) << 6) | (static_cast<unsigned char>(strText[++n]) & 0x3F);
        if (nCode >= 0x410 && nCode <= 0x44F)
            out += static_cast<char>(nCode - 0x410 + 0xC0);
        else if (nCode == 0x401)
            out += '\xA8';
        else if (nCode == 0x451)
            out += '\xB8';
        else
            out += '?';
    }
    return out;
}

std::string Md5Hex(const std::string& strBytes)
{
    std::array<unsigned char, 16> digest{};
    unsigned nSize = 0;
    EVP_Digest(strBytes.data(), strBytes.size(), digest.data(), &nSize, EVP_md5(), nullptr);
    std::string strHex;
    char szByte[3];
    for (const unsigned char b : digest)
    {
        std::snprintf(szByte, sizeof(szByte), "%02x", b);
        strHex += szByte;
    }
    return strHex;
}

std::string TextBetween(const std::string& strText, const std::string& strTag)
{
    const std::string strOpen = "<" + strTag + ">", strClose = "</" + strTag + ">";
    const auto nStart = strText.find(strOpen);
    const auto nEnd = strText.find(strClose);
    if (nStart == std::string::npos || nEnd == std::string::npos || nEnd < nStart)
        return {};
    return strText.substr(nStart + strOpen.size(), nEnd - nStart - strOpen.size());
}
} // namespace

CFakeUpdateService::CFakeUpdateService() : m_strClientVersion("1.3.0.156") {}

CFakeUpdateService::~CFakeUpdateService()
{
    Stop();
}

std::string CFakeUpdateService::SaltFor(const std::string& strLogin)
{
    return "salt" + Md5Hex(strLogin).substr(0, 8);
}

void CFakeUpdateService::AddAccount(const std::string& strLogin, const std::string& strPassword)
{
    std::lock_guard lock(m_mutex);
    m_accounts[strLogin] = strPassword;
}

void CFakeUpdateService::DelaySalt(const std::string& strLogin, int nTimes)
{
    std::lock_guard lock(m_mutex);
    m_delayedSalts[strLogin] = nTimes;
}

void CFakeUpdateService::SetClient(const std::string& strVersion, const std::string& strInstaller)
{
    std::lock_guard lock(m_mutex);
    m_strClientVersion = strVersion;
    m_strClientInstaller = strInstaller;
}

void CFakeUpdateService::AddPackage(int nVersion, std::string bytes)
{
    std::lock_guard lock(m_mutex);
    m_packages[nVersion] = std::move(bytes);
}

void CFakeUpdateService::AddListedPackage(const std::string& strVersion, const std::string& strUrl)
{
    std::lock_guard lock(m_mutex);
    m_listedPackages.emplace_back(strVersion, strUrl);
}

void CFakeUpdateService::AddWebFile(const std::string& strPath, std::string bytes)
{
    std::lock_guard lock(m_mutex);
    m_webFiles[strPath] = std::move(bytes);
}

bool CFakeUpdateService::AddWebFolder(const std::string& strFolder)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator it(strFolder, error), end; !error && it != end;
         it.increment(error))
    {
        if (!it->is_regular_file())
            continue;
        std::ifstream in(it->path(), std::ios::binary);
        AddWebFile(
            "/" + fs::relative(it->path(), strFolder).generic_string(),
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    return !error;
}

void CFakeUpdateService::SetSignUpAnswer(int nCode, const std::string& strText)
{
    std::lock_guard lock(m_mutex);
    m_nSignUpCode = nCode;
    m_strSignUpText = strText;
}

void CFakeUpdateService::SetFault(const std::string& strPath, EServiceFault fault, int nTimes,
                                  int nCode, const std::string& strText)
{
    std::lock_guard lock(m_mutex);
    m_faults[strPath] = CFault{fault, nTimes, nCode, strText};
}

void CFakeUpdateService::SetSlowRate(std::size_t nBytes, std::chrono::milliseconds pause)
{
    std::lock_guard lock(m_mutex);
    m_nSlowBytes = std::max<std::size_t>(nBytes, 1);
    m_slowPause = pause;
}

std::vector<CServiceRequest> CFakeUpdateService::GetRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<CServiceRequest> CFakeUpdateService::GetRequests(const std::string& strPath) const
{
    std::vector<CServiceRequest> found;
    for (auto& request : GetRequests())
        if (request.m_strPath == strPath)
            found.push_back(request);
    return found;
}

std::string CFakeUpdateService::ExpectedPasswordField(const std::string& strLogin) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_accounts.find(strLogin);
    const std::string strPassword = it == m_accounts.end() ? std::string() : it->second;
    const std::string strSalt = SaltFor(strLogin);
    return strSalt + Md5Hex(ToCP1251(strSalt + strPassword));
}

CFakeUpdateService::CFault CFakeUpdateService::TakeFault(const std::string& strPath)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_faults.find(strPath);
    if (it == m_faults.end() || it->second.m_nTimes == 0)
        return {};
    CFault fault = it->second;
    if (it->second.m_nTimes > 0)
        --it->second.m_nTimes;
    return fault;
}

bool CFakeUpdateService::CheckAccount(const std::vector<std::string>& lines, std::string& strError)
{
    if (lines.size() < 5 || lines[0] != "1" || lines[4] != "WinClient" || lines[3].size() != 33 ||
        lines[3][0] != 'W')
    {
        strError = "ERROR\n1\n100\nНеверный запрос";
        return false;
    }
    bool bKnown = false;
    {
        std::lock_guard lock(m_mutex);
        bKnown = m_accounts.count(lines[1]) > 0;
    }
    if (!bKnown || lines[2] != ExpectedPasswordField(lines[1]))
    {
        strError = "ERROR\n1\n102\nНеверный логин или пароль";
        return false;
    }
    return true;
}

std::string CFakeUpdateService::PackageList(int nAfter) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines = {"OK", "1"};
    for (const auto& [nVersion, bytes] : m_packages)
    {
        if (nVersion <= nAfter)
            continue;
        lines.push_back(std::to_string(nVersion));
        lines.push_back(GetUrl("/packages/" + std::to_string(nVersion) + ".zip"));
    }
    for (const auto& [strVersion, strUrl] : m_listedPackages)
    {
        lines.push_back(strVersion);
        lines.push_back(strUrl);
    }
    return JoinLines(lines);
}

std::string CFakeUpdateService::Answer(const std::string& strPath,
                                       const std::vector<std::string>& lines)
{
    std::string strError;
    if (strPath == "/distributor/salt")
    {
        if (lines.size() != 2 || lines[0] != "1")
            return "ERROR\n1\n100\nНеверный запрос";
        std::lock_guard lock(m_mutex);
        auto it = m_delayedSalts.find(lines[1]);
        if (it != m_delayedSalts.end() && it->second > 0)
        {
            --it->second;
            return "ERROR\n1\n101\nПользователь не найден";
        }
        if (!m_accounts.count(lines[1]))
            return "ERROR\n1\n101\nПользователь не найден";
        return "OK\n1\n" + SaltFor(lines[1]);
    }
    if (strPath == "/distributor/client_versions")
    {
        // The client-version watcher asks without an account.
        const bool bAnonymous = lines.size() == 5 && lines[1].empty() && lines[2].empty();
        if (!bAnonymous && !CheckAccount(lines, strError))
            return strError;
        std::lock_guard lock(m_mutex);
        return "OK\n1\n" + m_strClientVersion + "\n" + GetUrl("/client/" + m_strClientInstaller);
    }
    if (strPath == "/distributor/full_content")
        return CheckAccount(lines, strError) ? PackageList(0) : strError;
    if (strPath == "/distributor/update_content")
    {
        if (!CheckAccount(lines, strError))
            return strError;
        if (lines.size() != 6)
            return "ERROR\n1\n100\nНеверный запрос";
        return PackageList(std::atoi(lines[5].c_str()));
    }
    return "ERROR\n1\n404\nНеизвестный запрос";
}

namespace
{
// Sends a body, or misbehaves while sending it.
void SendBody(httplib::Response& res, std::string strBody, const char* szType, EServiceFault fault,
              std::size_t nSlowBytes, std::chrono::milliseconds slowPause,
              const std::atomic<bool>& bStopping)
{
    if (fault == EServiceFault::Status404 || fault == EServiceFault::Status500)
    {
        res.status = fault == EServiceFault::Status404 ? 404 : 500;
        res.set_content(fault == EServiceFault::Status404 ? "not found" : "server error",
                        "text/plain");
        return;
    }
    if (fault != EServiceFault::Truncated && fault != EServiceFault::Drop &&
        fault != EServiceFault::Slow && fault != EServiceFault::Stall)
    {
        res.set_content(strBody, szType);
        return;
    }
    auto pBody = std::make_shared<std::string>(std::move(strBody));
    const std::size_t nLength = pBody->size();
    res.set_content_provider(
        nLength, szType,
        [pBody, fault, nSlowBytes, slowPause,
         &bStopping](std::size_t nOffset, std::size_t nRequested, httplib::DataSink& sink) {
            const std::size_t nHalf = pBody->size() / 2;
            switch (fault)
            {
            case EServiceFault::Drop: return false;
            case EServiceFault::Truncated:
                if (nOffset >= nHalf)
                    return false;
                return sink.write(pBody->data() + nOffset, nHalf - nOffset);
            case EServiceFault::Stall:
                if (nOffset < nHalf)
                    return sink.write(pBody->data() + nOffset, nHalf - nOffset);
                // Silence until the client gives up (or the service stops, or
                // a minute has passed).
                for (int n = 0; n < 1200 && !bStopping && sink.is_writable(); ++n)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return false;
            default:
            {
                if (bStopping)
                    return false;
                std::this_thread::sleep_for(slowPause);
                const std::size_t nCount =
                    std::min({nSlowBytes, nRequested, pBody->size() - nOffset});
                return sink.write(pBody->data() + nOffset, nCount);
            }
            }
        });
}

std::uint32_t ReadLe32(const std::string& bytes, std::size_t nAt)
{
    std::uint32_t n = 0;
    for (int k = 3; k >= 0; --k)
        n = (n << 8) | static_cast<unsigned char>(bytes[nAt + static_cast<std::size_t>(k)]);
    return n;
}

// Every CRC-32 of a ZIP archive made wrong: in the local headers
// ("PK\3\4", CRC at 14) and the central directory ("PK\1\2", CRC at 16).
std::string BreakChecksums(std::string bytes)
{
    for (std::size_t n = 0; n + 46 <= bytes.size(); ++n)
    {
        const std::uint32_t nSignature = ReadLe32(bytes, n);
        if (nSignature == 0x04034b50)
            bytes[n + 14] = static_cast<char>(bytes[n + 14] ^ 0x5A);
        else if (nSignature == 0x02014b50)
            bytes[n + 16] = static_cast<char>(bytes[n + 16] ^ 0x5A);
    }
    return bytes;
}

std::string Mangle(std::string strBody, EServiceFault fault, int nCode, const std::string& strText)
{
    switch (fault)
    {
    case EServiceFault::CutPackage: return strBody.substr(0, strBody.size() / 2);
    case EServiceFault::CorruptPackage:
        for (std::size_t n = strBody.size() / 3; n < strBody.size() / 3 + 64 && n < strBody.size();
             ++n)
            strBody[n] = static_cast<char>(strBody[n] ^ 0xA5);
        return strBody;
    case EServiceFault::BadChecksum: return BreakChecksums(std::move(strBody));
    case EServiceFault::Error: return "ERROR\n1\n" + std::to_string(nCode) + "\n" + strText;
    case EServiceFault::LowerCaseError:
        return "error\n1\n" + std::to_string(nCode) + "\n" + strText;
    case EServiceFault::WrongVersion:
    {
        auto lines = SplitLines(strBody);
        if (lines.size() > 1)
            lines[1] = "2";
        return JoinLines(lines);
    }
    case EServiceFault::CrLf: return JoinLines(SplitLines(strBody), "\r\n");
    case EServiceFault::TrailingFeed: return strBody + "\n";
    case EServiceFault::EmptyBody: return {};
    case EServiceFault::Oversized: return "OK\n1\n" + std::string(1048577 - 5, 'x');
    default: return strBody;
    }
}
} // namespace

void CFakeUpdateService::Install()
{
    auto record = [this](const httplib::Request& req) {
        CServiceRequest request;
        request.m_strMethod = req.method;
        request.m_strPath = req.path;
        request.m_strBody = req.body;
        request.m_lines = SplitLines(req.body);
        request.m_strUserAgent = req.get_header_value("User-Agent");
        request.m_strContentType = req.get_header_value("Content-Type");
        request.m_strVia = req.get_header_value("Via");
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    };
    auto send = [this](httplib::Response& res, const std::string& strPath, std::string strBody,
                       const char* szType) {
        const CFault fault = TakeFault(strPath);
        std::size_t nSlowBytes = 0;
        std::chrono::milliseconds slowPause{};
        {
            std::lock_guard lock(m_mutex);
            nSlowBytes = m_nSlowBytes;
            slowPause = m_slowPause;
        }
        SendBody(res, Mangle(std::move(strBody), fault.m_fault, fault.m_nCode, fault.m_strText),
                 szType, fault.m_fault, nSlowBytes, slowPause, m_bStopping);
    };

    m_pServer->Post(R"(/distributor/.*)", [this, record, send](const httplib::Request& req,
                                                               httplib::Response& res) {
        record(req);
        send(res, req.path, Answer(req.path, SplitLines(req.body)), "text/plain; charset=utf-8");
    });
    m_pServer->Post("/export/register_user.php", [this, record, send](const httplib::Request& req,
                                                                      httplib::Response& res) {
        record(req);
        const std::string strXml = req.get_param_value("data");
        const std::string strLogin = TextBetween(strXml, "login");
        std::string strAnswer = "OK";
        {
            std::lock_guard lock(m_mutex);
            if (strLogin.empty() || TextBetween(strXml, "deviceType") != "Win")
                strAnswer = "ERROR\n100\nНеверный запрос";
            else if (m_nSignUpCode != 0)
                strAnswer = "ERROR\n" + std::to_string(m_nSignUpCode) + "\n" + m_strSignUpText;
            else
                m_accounts[strLogin] = TextBetween(strXml, "password");
        }
        send(res, req.path, strAnswer, "text/plain; charset=utf-8");
    });
    if (m_bControl)
        InstallControl();
    // A moved package: the client follows the redirect.
    m_pServer->Get(R"(/moved/(.*))", [record](const httplib::Request& req, httplib::Response& res) {
        record(req);
        res.set_redirect("/" + req.matches[1].str());
    });
    m_pServer->Get(R"(/.*)", [this, record, send](const httplib::Request& req,
                                                  httplib::Response& res) {
        record(req);
        std::string strBody;
        bool bFound = false;
        {
            std::lock_guard lock(m_mutex);
            int nVersion = 0;
            char szTail[8] = {};
            if (std::sscanf(req.path.c_str(), "/packages/%d.zi%1s", &nVersion, szTail) == 2 &&
                m_packages.count(nVersion))
            {
                strBody = m_packages[nVersion];
                bFound = true;
            }
            else if (req.path == "/client/" + m_strClientInstaller && !m_strClientInstaller.empty())
            {
                strBody = "installer of " + m_strClientVersion + std::string(100000, '\x90');
                bFound = true;
            }
            else if (m_webFiles.count(req.path))
            {
                strBody = m_webFiles[req.path];
                bFound = true;
            }
        }
        if (!bFound)
        {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        send(res, req.path, std::move(strBody), "application/octet-stream");
    });
}

void CFakeUpdateService::InstallControl()
{
    m_pServer->Post("/test/sign-up", [this](const httplib::Request& req, httplib::Response& res) {
        const std::vector<std::string> lines = SplitLines(req.body);
        SetSignUpAnswer(lines.empty() ? 0 : std::atoi(lines[0].c_str()),
                        lines.size() > 1 ? lines[1] : "");
        res.set_content("OK", "text/plain");
    });
    m_pServer->Post("/test/fault", [this](const httplib::Request& req, httplib::Response& res) {
        static const std::map<std::string, EServiceFault> kFaults{
            {"none", EServiceFault::None},           {"slow", EServiceFault::Slow},
            {"error", EServiceFault::Error},         {"404", EServiceFault::Status404},
            {"500", EServiceFault::Status500},       {"drop", EServiceFault::Drop},
            {"truncated", EServiceFault::Truncated}, {"stall", EServiceFault::Stall},
            {"cut", EServiceFault::CutPackage},      {"corrupt", EServiceFault::CorruptPackage},
            {"checksum", EServiceFault::BadChecksum}};
        std::vector<std::string> lines = SplitLines(req.body);
        lines.resize(5);
        const auto it = kFaults.find(lines[1]);
        if (lines[0].empty() || it == kFaults.end())
        {
            res.status = 400;
            return;
        }
        SetFault(lines[0], it->second, lines[2].empty() ? -1 : std::atoi(lines[2].c_str()),
                 lines[3].empty() ? 42 : std::atoi(lines[3].c_str()),
                 lines[4].empty() ? "Сервис недоступен" : lines[4]);
        res.set_content("OK", "text/plain");
    });
    m_pServer->Post("/test/slow", [this](const httplib::Request& req, httplib::Response& res) {
        std::vector<std::string> lines = SplitLines(req.body);
        lines.resize(2);
        SetSlowRate(static_cast<std::size_t>(std::max(1, std::atoi(lines[0].c_str()))),
                    std::chrono::milliseconds(std::atoi(lines[1].c_str())));
        res.set_content("OK", "text/plain");
    });
}

bool CFakeUpdateService::Start(unsigned nPort)
{
    Stop();
    m_bStopping = false;
    m_pServer = std::make_unique<httplib::Server>();
    m_pServer->set_keep_alive_max_count(1);
    m_pServer->set_read_timeout(5, 0);
    m_pServer->set_write_timeout(5, 0);
    Install();
    if (nPort == 0)
    {
        const int nBound = m_pServer->bind_to_any_port("127.0.0.1");
        if (nBound <= 0)
            return false;
        m_nPort = static_cast<unsigned>(nBound);
    }
    else
    {
        if (!m_pServer->bind_to_port("127.0.0.1", static_cast<int>(nPort)))
            return false;
        m_nPort = nPort;
    }
    m_thread = std::thread([this] { m_pServer->listen_after_bind(); });
    for (int n = 0; n < 500 && !m_pServer->is_running(); ++n)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_pServer->is_running();
}

void CFakeUpdateService::Stop()
{
    m_bStopping = true;
    if (m_pServer)
        m_pServer->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_pServer.reset();
}
