// The control of a client already running, from a second start of the
// program, over scripted processes: the bounded wait for the old client to
// end and the guard against a program copying its own file onto itself.
#include "RunningClient.h"
#include "MainWindowMessages.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
// A running client that ends after a number of stop messages (never with
// -1), and a program file that can be copied after a number of failures.
class CScriptedProcesses : public IClientProcesses
{
public:
    bool IsOtherRunning() override
    {
        ++m_nChecks;
        return m_nStopsToEnd < 0 || m_nStopsSent < m_nStopsToEnd;
    }
    bool SendToRunning(unsigned nMessage) override
    {
        m_sent.push_back(nMessage);
        if (nMessage == WM_STOP_KALIMOR)
            ++m_nStopsSent;
        return true;
    }
    void Pause(std::chrono::milliseconds duration) override { m_paused += duration; }
    std::string GetSelfPath() override { return m_strSelf; }
    std::string GetInstalledPath() override { return m_strInstalled; }
    bool CopyFile(const std::string& strSource, const std::string& strTarget) override
    {
        m_copies.push_back(strSource + " -> " + strTarget);
        return m_nCopyFailures >= 0 && static_cast<int>(m_copies.size()) > m_nCopyFailures;
    }

    int m_nStopsToEnd = 0;
    int m_nCopyFailures = 0; // -1: every copy fails
    std::string m_strSelf = "/tmp/new/KalimorClnt";
    std::string m_strInstalled = "/opt/kalimor/KalimorClnt";
    int m_nStopsSent = 0;
    int m_nChecks = 0;
    std::vector<unsigned> m_sent;
    std::chrono::milliseconds m_paused{0};
    std::vector<std::string> m_copies;
};
} // namespace

TEST(CRunningClientTest, StopWaitsForTheOldClientAndGivesUpAfterItsLimit)
{
    struct CCase
    {
        const char* szName;
        int nStopsToEnd;
        bool bEnded;
        int nStopsSent;
    };
    const CCase cases[] = {
        {"no client runs: nothing is sent", 0, true, 0},
        {"ends after the first stop", 1, true, 1},
        {"ends on the last attempt", CRunningClient::kStopAttempts, true,
         CRunningClient::kStopAttempts},
        {"never ends: the wait is bounded", -1, false, CRunningClient::kStopAttempts},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.szName);
        CScriptedProcesses processes;
        processes.m_nStopsToEnd = c.nStopsToEnd;
        EXPECT_EQ(CRunningClient(processes).Stop(), c.bEnded);
        EXPECT_EQ(processes.m_nStopsSent, c.nStopsSent);
        EXPECT_EQ(processes.m_sent,
                  std::vector<unsigned>(static_cast<std::size_t>(c.nStopsSent), WM_STOP_KALIMOR));
        EXPECT_EQ(processes.m_paused, c.nStopsSent * CRunningClient::kPause)
            << "a pause after each stop";
    }
}

TEST(CRunningClientTest, ReplaceNeverCopiesTheProgramOntoItselfAndRetriesABusyFile)
{
    struct CCase
    {
        const char* szName;
        const char* szSelf;
        int nCopyFailures;
        bool bReplaced;
        std::size_t nCopies;
    };
    const CCase cases[] = {
        {"started from the installed file", "/opt/kalimor/KalimorClnt", 0, false, 0},
        {"own file unknown", "", 0, false, 0},
        {"copied at once", "/tmp/new/KalimorClnt", 0, true, 1},
        {"busy twice, then copied", "/tmp/new/KalimorClnt", 2, true, 3},
        {"busy on every attempt", "/tmp/new/KalimorClnt", -1, false, CRunningClient::kCopyAttempts},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.szName);
        CScriptedProcesses processes;
        processes.m_nStopsToEnd = 2;
        processes.m_strSelf = c.szSelf;
        processes.m_nCopyFailures = c.nCopyFailures;
        CLogCapture log;
        EXPECT_EQ(CRunningClient(processes).StopAndReplace(), c.bReplaced);
        EXPECT_EQ(processes.m_nStopsSent, 2) << "the old client is stopped first";
        ASSERT_EQ(processes.m_copies.size(), c.nCopies);
        for (const std::string& strCopy : processes.m_copies)
            EXPECT_EQ(strCopy, std::string(c.szSelf) + " -> /opt/kalimor/KalimorClnt");
        const auto nPauses = c.nCopies > 0 ? static_cast<int>(c.nCopies) - 1 : 0;
        EXPECT_EQ(processes.m_paused, (2 + nPauses) * CRunningClient::kPause)
            << "a pause between copies";
        const bool bFailedCopy = c.nCopies > 0 && !c.bReplaced;
        EXPECT_EQ(log.Contains("Ошибка инсталляции"), bFailedCopy)
            << "a copy that never succeeded is reported";
    }
}
