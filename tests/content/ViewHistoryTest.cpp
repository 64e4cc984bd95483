#include "FileUtils.h"
#include "TestContent.h"
#include "TextUtils.h"
#include "ViewHistoryData.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace
{
std::time_t At(unsigned year, unsigned month, unsigned day, int hour)
{
    return FromLocalDate({year, month, day}) + std::time_t{hour - 12} * 3600;
}

std::vector<std::string> DamagedCopies(const CTempDir& dir)
{
    std::vector<std::string> copies;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            copies.push_back(entry.path().string());
    return copies;
}
} // namespace

TEST(ViewHistory, OncePerPageAndDayNewestAtTheEnd)
{
    CTempDir dir;
    CViewHistoryData history;
    EXPECT_FALSE(history.LoadData(dir.File("history.xml"))) << "no file yet";
    history.AddSection("/nds/a.html", "НДС", "Ставки", At(2026, 12, 5, 9));
    history.AddSection("/usn/b.html", "УСН", "", At(2026, 12, 5, 10));
    CLogCapture log;
    history.AddSection("/nds/a.html", "НДС", "Ставки", At(2026, 12, 5, 11));
    EXPECT_TRUE(log.Contains("Section /nds/a.html was viewed today"));
    ASSERT_EQ(history.GetRecords().size(), 2u);
    EXPECT_EQ(history.GetRecords()[0]->m_time.m_nHour, 9) << "the first view's time stays";

    history.AddSection("/nds/a.html", "НДС", "Ставки", At(2026, 12, 6, 8));
    ASSERT_EQ(history.GetRecords().size(), 3u);
    EXPECT_EQ(history.GetLastIndex("/nds/a.html"), 2);
    EXPECT_EQ(history.GetLastIndex("/none.html"), -1);

    CViewHistoryData reloaded;
    ASSERT_TRUE(reloaded.LoadData(dir.File("history.xml")));
    ASSERT_EQ(reloaded.GetRecords().size(), 3u);
    const CHistoryInfo& last = *reloaded.GetRecords()[2];
    EXPECT_EQ(last.m_strURL, "/nds/a.html");
    EXPECT_EQ(last.m_strFirstLine, "НДС");
    EXPECT_EQ(last.m_strSecondLine, "Ставки");
    EXPECT_EQ(last.m_time.m_date, (CDate{2026, 12, 6}));
    EXPECT_EQ(last.m_time.m_nHour, 8);
    EXPECT_TRUE(DamagedCopies(dir).empty());
}

TEST(ViewHistory, KeepsTheNewestHundred)
{
    CTempDir dir;
    CViewHistoryData history;
    history.LoadData(dir.File("history.xml"));
    for (int i = 0; i < 101; ++i)
        history.AddSection("/p" + std::to_string(i) + ".html", "t", "", At(2026, 1, 10, 12));
    ASSERT_EQ(history.GetRecords().size(), 100u);
    EXPECT_EQ(history.GetRecords().front()->m_strURL, "/p1.html");
    const std::string xml = ReadFileText(dir.File("history.xml"));
    std::size_t count = 0;
    for (auto pos = xml.find("<section "); pos != std::string::npos;
         pos = xml.find("<section ", pos + 1))
        ++count;
    EXPECT_EQ(count, 100u);
}

TEST(ViewHistory, ADamagedFileIsKeptAsideAndWhatCanBeReadLoads)
{
    CTempDir dir;
    const std::string good = "<section url=\"/a.html\" first-line=\"A\" second-line=\"\" day=\"1\" "
                             "month=\"2\" year=\"2026\""
                             " hour=\"1\" minute=\"2\" second=\"3\"/>";
    const std::string damaged =
        "<?xml version=\"1.0\"?>\n<history>" + good +
        "<section url=\"/nourl-time.html\" first-line=\"B\" second-line=\"\"/>" + good +
        "<section url=\"/c.html\" first-li";
    WriteFileText(dir.File("history.xml"), damaged);
    CViewHistoryData history;
    ASSERT_TRUE(history.LoadData(dir.File("history.xml")));
    EXPECT_EQ(history.GetRecords().size(), 2u) << "both whole records before the break";
    const auto copies = DamagedCopies(dir);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadFileText(copies[0]), damaged);

    history.AddSection("/new.html", "N", "", At(2026, 3, 1, 12));
    EXPECT_EQ(ReadFileText(copies[0]), damaged) << "the next save never touches the copy";

    WriteFileText(dir.File("other.xml"), "\x01\x02 not xml at all");
    CViewHistoryData garbage;
    EXPECT_FALSE(garbage.LoadData(dir.File("other.xml")));
    EXPECT_EQ(DamagedCopies(dir).size(), 2u) << "even an unreadable file is kept";
}

TEST(ViewHistory, ARecoveredRecordReadsTheSameAfterTheNextSave)
{
    // A damaged file is read by the recovering parser, which can let through
    // bytes a well-formed file cannot hold; the save writes them as U+FFFD, so
    // the record must hold them so already.
    const char* const kLines[] = {
        "\xD0\xD0\x9D\x94\xD0\xA1", // what the fuzz target found
        "\xFF\xFE",
        "\xD0\x9D\xD0",
        "ok\xC0\xAF",
    };
    for (const char* szLine : kLines)
    {
        SCOPED_TRACE(szLine);
        CTempDir dir;
        WriteFileText(
            dir.File("history.xml"),
            std::string("<history><section url=\"/nds/a.html\" first-line=\"") + szLine +
                "\" second-line=\"\" day=\"5\" month=\"12\" year=\"2026\" hour=\"9\" minute=\"0\""
                " second=\"0\"/><section url=\"/x\" day=\"1\"");
        CViewHistoryData history;
        ASSERT_TRUE(history.LoadData(dir.File("history.xml")));
        ASSERT_EQ(history.GetRecords().size(), 1u);
        const std::string first = history.GetRecords()[0]->m_strFirstLine;
        EXPECT_TRUE(CTextUtils::IsValidUtf8(first)) << first;

        ASSERT_TRUE(history.SaveData());
        CViewHistoryData reloaded;
        ASSERT_TRUE(reloaded.LoadData(dir.File("history.xml")));
        ASSERT_EQ(reloaded.GetRecords().size(), 1u);
        EXPECT_EQ(reloaded.GetRecords()[0]->m_strFirstLine, first);
        EXPECT_EQ(reloaded.GetRecords()[0]->m_strURL, "/nds/a.html");
    }
}
