#include "ContentPublisher.h"
#include "PackageBuilder.h"
#include "ProgressBar.h"
#include "TestContent.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

namespace
{
// A source of n pages in one section.
void WriteSource(const CTempDir& src, int nPages)
{
    std::string tree = "<encyclopedia>\n<section name=\"НДС\" code=\"nds\">\n";
    for (int i = 0; i < nPages; ++i)
    {
        const std::string strPage = "/nds/p" + std::to_string(i) + ".html";
        tree += "<section name=\"Страница\" url=\"" + strPage + "\"/>\n";
        WriteFileText(src.File("pages" + strPage),
                      "<html><body><p>Налог и ставка " + std::to_string(i) + "</p></body></html>");
    }
    WriteFileText(src.File("encyclopedia.xml"), tree + "</section>\n</encyclopedia>");
    WriteFileText(src.File("style.css"), "body { font-family: sans-serif; }");
}

// Runs a program on a pseudo-terminal 100 columns wide: what it wrote there.
std::string RunOnTerminal(const std::vector<std::string>& args)
{
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    int fd = -1;
    const pid_t pid = ::forkpty(&fd, nullptr, nullptr, &size);
    if (pid == 0)
    {
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::setenv("TERM", "xterm", 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof(buffer))) > 0;)
        out.append(buffer, std::size_t(n));
    ::close(fd);
    ::waitpid(pid, nullptr, 0);
    return out;
}
} // namespace

TEST(ProgressBar, TheLineShowsStageBarCountsAndRateWithinTheWidth)
{
    struct CCase
    {
        CProgress m_progress;
        double m_dSeconds;
        int m_nWidth;
        const char* m_szLine;
    };
    const std::vector<CCase> cases{
        {{"reading pages", "files", 0, 151},
         0.0,
         100,
         "reading pages [..............................] 0%  0/151 files"},
        {{"reading pages", "files", 75, 150},
         2.5,
         100,
         "reading pages [###############...............] 50%  75/150 files  30 files/s"},
        {{"writing the package", "files", 12, 0}, 0.2, 100, "writing the package  12 files"},
        {{"2.zip (2 of 3)", "B", 1572864, 3145728},
         1.0,
         100,
         "2.zip (2 of 3) [###############...............] 50%  1.5 MB/3.0 MB  1.5 MB/s"},
        {{"2.zip (2 of 3)", "B", 512, 2048},
         0.0,
         100,
         "2.zip (2 of 3) [#######.......................] 25%  512 B/2.0 KB"},
        {{"index", "pages", 9, 4},
         0.0,
         100,
         "index [##############################] 100%  9/4 pages"},
        {{"index", "pages", 2, 4}, 0.0, 40, "index [#######........] 50%  2/4 pages"},
        {{"index", "pages", 2, 4}, 0.0, 20, "index [#####.....] 5"},
        {{"морфология", "entries", 1, 2}, 0.0, 16, "морфология [####"},
    };
    for (const CCase& c : cases)
        EXPECT_EQ(CProgressBar::Format(c.m_progress, c.m_dSeconds, c.m_nWidth), c.m_szLine);
}

TEST(ProgressBar, PublishingAndPackagingReportEachStageToItsEnd)
{
    CTempDir src, profile, out;
    WriteSource(src, 40);
    std::vector<std::string> stages;
    std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> last;
    bool bBackwards = false;
    const auto record = [&](const CProgress& p) {
        const std::string strStage(p.m_stage);
        if (stages.empty() || stages.back() != strStage)
            stages.push_back(strStage);
        bBackwards = bBackwards || (last.contains(strStage) && p.m_nDone < last[strStage].first);
        last[strStage] = {p.m_nDone, p.m_nTotal};
    };
    CPublishOptions options;
    options.m_strMorphologyFolder = WriteSmallMorphology(src);
    CPublishReport report;
    report.SetProgress(record);
    ASSERT_TRUE(CContentPublisher().Publish(src.Path(), profile.Path(), report, options));
    CPublishReport packageReport;
    packageReport.SetProgress(record);
    ASSERT_TRUE(
        CPackageBuilder().Build(profile.File("Content"), "", out.File("1.zip"), packageReport));

    EXPECT_EQ(stages, (std::vector<std::string>{"reading pages", "writing pages", "full-text index",
                                                "reading " + profile.File("Content"),
                                                "writing the package"}));
    EXPECT_FALSE(bBackwards);
    EXPECT_EQ(last["reading pages"], (std::pair<std::uint64_t, std::uint64_t>{40, 40}));
    EXPECT_EQ(last["full-text index"], (std::pair<std::uint64_t, std::uint64_t>{40, 40}));
    const auto written = last["writing the package"];
    EXPECT_EQ(written.first, written.second);
    EXPECT_EQ(last["reading " + profile.File("Content")].first, written.second)
        << "every file read is written";
}

TEST(ProgressBar, KalimorctlDrawsItOnATerminalAndNowhereElse)
{
    CTempDir src, work;
    WriteSource(src, 30);
    const std::string strMorphology = WriteSmallMorphology(src);
    const std::vector<std::string> publish{KALIMORCTL_PATH, "publish",  "--morphology",
                                           strMorphology,   src.Path(), work.File("profile")};
    const std::string strTerminal = RunOnTerminal(publish);
    EXPECT_NE(strTerminal.find("\r\033[Kreading pages ["), std::string::npos) << strTerminal;
    EXPECT_NE(strTerminal.find("] 100%  30/30 pages"), std::string::npos) << strTerminal;
    // The bar's line is cleared, and then the report begins.
    const std::size_t nReport = strTerminal.find("encyclopedia.xml -> encyclopedia.dat");
    ASSERT_NE(nReport, std::string::npos);
    EXPECT_EQ(strTerminal.substr(nReport - 4, 4), "\r\033[K");

    const CProcessResult piped = RunProcess(publish);
    ASSERT_EQ(piped.m_nExitCode, 0) << piped.m_strErr;
    EXPECT_EQ(piped.m_strErr.find('\r'), std::string::npos)
        << "no bar when standard error is no terminal";
    EXPECT_EQ(piped.m_strErr.find('['), std::string::npos);
}
