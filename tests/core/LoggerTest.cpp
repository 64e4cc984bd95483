#include "Logger.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <thread>

namespace
{
// "05/12 08:07:40 NOTICE text"
const std::regex kLine(R"((\d\d)/(\d\d) (\d\d):(\d\d):(\d\d) ([A-Z]*) (.*))");
} // namespace

TEST(Logger, ThresholdSelectsLevelsAndLinesHaveTheFormat)
{
    CTempDir dir;
    ASSERT_TRUE(GetLog().Open(dir.File("k.log"), LOG_NOTICE));
    KLOG_ERR << "error " << 42;
    KLOG_WARN << "warning";
    KLOG_NOTICE << "notice";
    KLOG_TRACE << "trace";
    KLOG_DEBUG << "debug";
    {
        KTRACE("CFoo::Bar");
    }
    GetLog().Close();

    const std::string text = ReadFileText(dir.File("k.log"));
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();)
    {
        const auto end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "every line ends in a line feed";
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u);
    const char* expected[][2] = {{"ERR", "error 42"}, {"WARN", "warning"}, {"NOTICE", "notice"}};
    for (std::size_t i = 0; i < 3; ++i)
    {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, kLine)) << lines[i];
        EXPECT_EQ(match[6], expected[i][0]);
        EXPECT_EQ(match[7], expected[i][1]);
        const int day = std::stoi(match[1]), month = std::stoi(match[2]);
        EXPECT_TRUE(day >= 1 && day <= 31 && month >= 1 && month <= 12);
    }
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(Logger, TraceScopesNullTextAndLocations)
{
    CLogCapture log(LOG_DEBUG);
    {
        KTRACE("CEncyclopediaData::LoadData");
        KTRACE("CFileUtils::CopyFile", "a.dat", "b.html");
        KTRACE("CXMLUtils::Load", "x");
    }
    const char* szNull = nullptr;
    KLOG_ERR << "value " << szNull;
    KLOG_ERR << CLogLocation{"/src/core/File.cpp", 17} << "located";
    KLOG_ERR << "then " << CLogLocation{"/src/core/File.cpp", 18};
    KLOG_ERR << CLogLocation{"/src/core/File.cpp", 0} << "no line";

    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 10u);
    auto body = [&](std::size_t i) { return lines[i].substr(15); };
    EXPECT_EQ(body(0), "TRACE Entering: CEncyclopediaData::LoadData()");
    EXPECT_EQ(body(1), "TRACE Entering: CFileUtils::CopyFile(a.dat, b.html)");
    EXPECT_EQ(body(2), "TRACE Entering: CXMLUtils::Load(x)");
    EXPECT_EQ(body(3), "TRACE Exiting: CXMLUtils::Load");
    EXPECT_EQ(body(4), "TRACE Exiting: CFileUtils::CopyFile");
    EXPECT_EQ(body(5), "TRACE Exiting: CEncyclopediaData::LoadData");
    EXPECT_EQ(body(6), "ERR value <NULL>");
    EXPECT_EQ(body(7), "ERR File.cpp:17 located");
    EXPECT_EQ(body(8), "ERR then File.cpp:18");
    EXPECT_EQ(body(9), "ERR no line");
}

TEST(Logger, DisabledRecordsCostNothingAndEmptyRecordsWriteNothing)
{
    CLogCapture log(LOG_ERR);
    int evaluated = 0;
    auto count = [&] {
        ++evaluated;
        return std::string("x");
    };
    KLOG_DEBUG << count();
    EXPECT_EQ(evaluated, 0) << "a disabled statement must not build its values";
    {
        CLogWriter writer = GetLog().Record(LOG_ERR);
    }
    EXPECT_EQ(log.Text(), "");
}

TEST(Logger, EachValueIsOnDiskBeforeTheRecordEnds)
{
    CTempDir dir;
    ASSERT_TRUE(GetLog().Open(dir.File("k.log"), LOG_ERR));
    {
        CLogWriter writer = GetLog().Record(LOG_ERR);
        writer << "first part";
        EXPECT_NE(ReadFileText(dir.File("k.log")).find("ERR first part"), std::string::npos);
        writer << " second";
    }
    GetLog().Close();
    EXPECT_NE(ReadFileText(dir.File("k.log")).find("first part second\n"), std::string::npos);
}

TEST(Logger, NewRunDeletesThePreviousLogAndNothingIsWrittenWhenClosed)
{
    CTempDir dir;
    const std::string path = dir.File("k.log");
    ASSERT_TRUE(GetLog().Open(path, LOG_ERR));
    KLOG_ERR << "first run";
    GetLog().Close();
    KLOG_ERR << "after close";
    EXPECT_EQ(GetLog().GetLevel(), -1);
    EXPECT_EQ(ReadFileText(path).find("after close"), std::string::npos);

    ASSERT_TRUE(GetLog().Open(path, LOG_ERR));
    KLOG_ERR << "second run";
    GetLog().Close();
    const std::string text = ReadFileText(path);
    EXPECT_EQ(text.find("first run"), std::string::npos);
    EXPECT_NE(text.find("second run"), std::string::npos);
}

TEST(Logger, FailedOpenDropsRecords)
{
    CTempDir dir;
    EXPECT_FALSE(GetLog().Open(dir.File("missing/folder/k.log"), LOG_DEBUG));
    EXPECT_FALSE(GetLog().IsOpened());
    KLOG_ERR << "dropped"; // must not touch a missing file
    GetLog().Close();
}

TEST(Logger, LinesFromSeveralThreadsNeverInterleave)
{
    CLogCapture log(LOG_ERR);
    constexpr int kThreads = 4, kRecords = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i)
                KLOG_ERR << "thread " << t << " record " << i << " end";
        });
    for (auto& thread : threads)
        thread.join();
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kRecords));
    const std::regex record(R"(.{14} ERR thread \d record \d+ end)");
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, record)) << line;
}

// Workers keep logging while the application opens and closes the file (the
// tests' log capture does it around running windows): every record lands
// whole in one file or is dropped, and nothing writes to a closed file.
TEST(Logger, RecordsOfWorkersSurviveTheFileBeingReopenedUnderThem)
{
    CTempDir dir;
    std::atomic<bool> bStop{false};
    std::thread worker([&bStop] {
        while (!bStop)
            KLOG_ERR << "worker "
                     << "record "
                     << "end";
    });
    for (int i = 0; i < 200; ++i)
    {
        ASSERT_TRUE(GetLog().Open(dir.File("k" + std::to_string(i % 2) + ".log"), LOG_ERR));
        GetLog().Close();
    }
    bStop = true;
    worker.join();
    const std::regex record(R"(.{14} ERR worker record end)");
    for (const char* szFile : {"k0.log", "k1.log"})
    {
        std::istringstream in(ReadFileText(dir.File(szFile)));
        for (std::string line; std::getline(in, line);)
            EXPECT_TRUE(std::regex_match(line, record)) << line;
    }
}
