#include "StartCodes.h"
#include "BrowserLauncher.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

using namespace std::chrono_literals;

TEST(StartCodes, ACodeOpensOnceWhileAliveAndNeverAgain)
{
    // Codes live two minutes; at most three are kept.
    struct SStep
    {
        const char* m_szWhat;
        int m_nCode; // which issued code is tried (-1: a made-up one)
        CStartCodes::Clock::duration m_at;
        bool m_bOpens;
    };
    const SStep steps[] = {
        {"first use", 0, 1s, true},
        {"second use", 0, 2s, false},
        {"another code, still alive", 1, 119s, true},
        {"a code never issued", -1, 3s, false},
        {"expired unused", 2, 121s, false},
        {"expired, then tried again", 2, 122s, false},
        {"pushed out by newer codes", 3, 10s, false},
        {"the newest three stay", 6, 10s, true},
        {"empty", -2, 10s, false},
    };
    const auto t0 = CStartCodes::Clock::time_point() + 1h;
    CStartCodes codes(120s, 3);
    std::vector<std::string> issued;
    for (int i = 0; i < 3; ++i)
        issued.push_back(codes.Issue(t0));
    // Three more for the "pushed out" rows: 3 and 4 go when 5 to 7 come.
    CStartCodes crowded(120s, 3);
    std::vector<std::string> crowd;
    for (int i = 0; i < 7; ++i)
        crowd.push_back(crowded.Issue(t0));

    for (const SStep& step : steps)
    {
        CStartCodes& store = step.m_nCode >= 3 ? crowded : codes;
        std::string code = step.m_nCode == -1   ? std::string(48, 'a')
                           : step.m_nCode == -2 ? std::string()
                           : step.m_nCode >= 3  ? crowd[static_cast<std::size_t>(step.m_nCode)]
                                                : issued[static_cast<std::size_t>(step.m_nCode)];
        EXPECT_EQ(store.Redeem(code, t0 + step.m_at), step.m_bOpens) << step.m_szWhat;
    }
}

TEST(StartCodes, SecretsAreRandomHexOfFortyEightDigits)
{
    std::set<std::string> seen;
    for (int i = 0; i < 64; ++i)
    {
        const std::string secret = CStartCodes::NewSecret();
        ASSERT_EQ(secret.size(), 48u);
        EXPECT_EQ(secret.find_first_not_of("0123456789abcdef"), std::string::npos) << secret;
        seen.insert(secret);
    }
    EXPECT_EQ(seen.size(), 64u);
    const std::string a = CStartCodes::NewSecret();
    EXPECT_TRUE(CStartCodes::SameSecret(a, a));
    EXPECT_FALSE(CStartCodes::SameSecret(a, a.substr(1)));
    EXPECT_FALSE(CStartCodes::SameSecret(a, std::string(a.rbegin(), a.rend())));
    EXPECT_FALSE(CStartCodes::SameSecret("", ""));
}

TEST(StartCodes, TheBrowserIsGivenAPrivatePageInsteadOfTheAddress)
{
    CTempDir dir;
    const std::string strUrl = "http://127.0.0.1:4242/?token=" + CStartCodes::NewSecret();
    const std::string strGiven = CBrowserLauncher::WriteLaunchPage(strUrl, dir.File("browser"));
    ASSERT_EQ(strGiven, "file://" + dir.File("browser/kalimor-start.html"));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.File("browser/kalimor-start.html").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "no other user reads the code";
    EXPECT_NE(ReadFileText(dir.File("browser/kalimor-start.html"))
                  .find("content=\"0;url=" + strUrl + "\""),
              std::string::npos);
    // A folder that cannot hold it: the address is given as it is.
    WriteFileText(dir.File("file"), "x");
    EXPECT_EQ(CBrowserLauncher::WriteLaunchPage(strUrl, dir.File("file")), "");
}
