#include "LineProtocol.h"
#include "DeviceID.h"
#include "Digest.h"
#include "HttpIO.h"
#include "HttpSession.h"
#include "ServiceConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
CAnswerLines Parse(std::string_view text)
{
    CAnswerLines lines;
    CLineProtocol::ParseText(
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), lines);
    return lines;
}
} // namespace

TEST(LineProtocol, ParseTextCutsAtEveryLineFeedAndKeepsTheLastPiece)
{
    EXPECT_EQ(Parse("OK\n1"), (CAnswerLines{"OK", "1"}));
    EXPECT_EQ(Parse("OK\n1\n"), (CAnswerLines{"OK", "1", ""}))
        << "a final line feed leaves an empty line";
    EXPECT_EQ(Parse("OK\r\n1\r\n"), (CAnswerLines{"OK\r", "1\r", ""})) << "carriage returns stay";
    EXPECT_TRUE(Parse("").empty());
    EXPECT_EQ(Parse("\n"), (CAnswerLines{"", ""}));
    EXPECT_EQ(Parse("\xEF\xBB\xBFOK\n1"), (CAnswerLines{"OK", "1"}))
        << "a leading byte-order mark is dropped";
    EXPECT_EQ(Parse("OK\n\xEF\xBB\xBF"), (CAnswerLines{"OK", "\xEF\xBB\xBF"}))
        << "only a leading one";
    EXPECT_EQ(Parse(std::string_view("OK\n1\0\nignored", 13)), (CAnswerLines{"OK", "1"}))
        << "stops at a zero byte";
    EXPECT_EQ(Parse("OK\nП\xD0\nz\xFF"), (CAnswerLines{"OK", "П?", "z?"}))
        << "invalid bytes become ?";
    EXPECT_EQ(Parse("\xEF\xBF\xBD"), (CAnswerLines{"\xEF\xBF\xBD"}))
        << "a real replacement character stays";
}

TEST(LineProtocol, ParseTextTakesOneMebibyteAndRefusesMore)
{
    CLogCapture log(1);
    std::string text = "OK\n1\n";
    text.resize(CLineProtocol::kMaxAnswerSize, 'a');
    EXPECT_EQ(Parse(text).size(), 3u);
    text += 'a';
    EXPECT_TRUE(Parse(text).empty());
    EXPECT_TRUE(log.Contains("Buffer is too big"));
}

TEST(LineProtocol, CheckResultAcceptsOnlyOkAndVersionOneAndLogsEveryOtherAnswer)
{
    struct CCase
    {
        CAnswerLines m_lines;
        bool m_bResult;
        const char* m_szLog;
    };
    const CCase cases[] = {
        {{"OK", "1"}, true, nullptr},
        {{"OK", "1", ""}, true, nullptr},
        {{}, false, "CHttpRequest::CheckResult: empty response"},
        {{"OK", "2"}, false, "CHttpRequest::CheckResult: incorrect protocol version"},
        {{"OK"}, false, "CHttpRequest::CheckResult: incorrect response format"},
        {{"ERROR", "1", "42", "Нет доступа"},
         false,
         "CHttpRequest::CheckResult: error response, code: 42 text: Нет доступа"},
        {{"ERROR", "1", "42"}, false, "CHttpRequest::CheckResult: error response"},
        {{"OK\r", "1\r", ""}, false, "CHttpRequest::CheckResult: incorrect response"},
        {{"error", "1", "42", "x"}, false, "CHttpRequest::CheckResult: incorrect response"},
    };
    for (const auto& test : cases)
    {
        CLogCapture log(1);
        EXPECT_EQ(CLineProtocol::CheckResult(test.m_lines), test.m_bResult)
            << ::testing::PrintToString(test.m_lines);
        if (test.m_szLog)
            EXPECT_TRUE(log.Contains(test.m_szLog)) << log.Text();
        else
            EXPECT_EQ(log.Text(), "");
    }
}

TEST(LineProtocol, ErrorExtractionIgnoresCaseButNeedsFourLines)
{
    int nCode = 0;
    std::string strText;
    EXPECT_TRUE(CLineProtocol::ExtractError({"error", "1", "42", "Текст"}, nCode, strText));
    EXPECT_EQ(nCode, 42);
    EXPECT_EQ(strText, "Текст");
    EXPECT_TRUE(CLineProtocol::ExtractError({"ERROR", "x", "abc", "t"}, nCode, strText));
    EXPECT_EQ(nCode, 0) << "a code that is not a number reads as 0";
    nCode = 7;
    EXPECT_FALSE(CLineProtocol::ExtractError({"ERROR", "1", "42"}, nCode, strText));
    EXPECT_FALSE(CLineProtocol::ExtractError({"OK", "1", "42", "t"}, nCode, strText));
    EXPECT_EQ(nCode, 7);
}

TEST(LineProtocol, BodiesAreVersionOneAndLinesJoinedByLineFeeds)
{
    const auto body = CLineProtocol::BuildBody({"ivanov", "", "Д"});
    EXPECT_EQ(std::string(body.begin(), body.end()), "1\nivanov\n\nД");
    EXPECT_EQ(CLineProtocol::BuildBody({}).size(), 1u);
}

TEST(Digest, Md5AndTheCredentialDigestOverWindows1251)
{
    EXPECT_EQ(CDigest::ToHex(CDigest::MD5(std::string_view("abc"))),
              "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(CDigest::ToCP1251("Ёё Аяz"), "\xA8\xB8 \xC0\xFFz");
    EXPECT_EQ(CDigest::ToCP1251("日\xFF"), "??")
        << "characters the code page lacks, and bad bytes, become ?";
    EXPECT_EQ(CDigest::FromCP1251("\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
    EXPECT_EQ(CDigest::MakeCredentialDigest("salt42", "пароль"),
              "salt424f3797c5f282415cf6f08de1da3f01df");
}

TEST(DeviceID, DigestOfTheAdapterAddressesOrOfDefaultModel)
{
    CLogCapture log(1);
    EXPECT_EQ(CDeviceID::MakeDeviceID(std::nullopt), "WCA962F0429472C29DDBFC70E7AE26A27");
    EXPECT_TRUE(log.Contains("Can't get MAC address"));
    const std::vector<std::vector<std::uint8_t>> adapters = {
        {0x00, 0x11, 0x22, 0xAA, 0xBB, 0xCC}, {}, {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}};
    EXPECT_EQ(CDeviceID::MakeDeviceID(adapters), "WB54082F6EFBFE2DA9F154B1E28563852")
        << "an adapter without an address gives only its line feed";
    const std::string id = CDeviceID::GetDeviceID();
    EXPECT_EQ(id.size(), 33u);
    EXPECT_EQ(id, CDeviceID::GetDeviceID()) << "the same machine, the same identifier";
}

TEST(ServiceConfig, DeploymentValuesAndTheEnvironmentOverride)
{
    {
        CScopedEnv env("KALIMOR_SERVICE", "");
        const CServiceConfig config = CServiceConfig::FromEnvironment();
        EXPECT_TRUE(config.m_strUpdateHost.ends_with(".example"));
        EXPECT_TRUE(config.m_strWebHost.ends_with(".example"));
        EXPECT_EQ(config.m_nUpdatePort, 80u);
        EXPECT_EQ(config.GetWebUrl("/forms/a.doc"),
                  "http://" + config.m_strWebHost + "/forms/a.doc");
    }
    {
        CScopedEnv env("KALIMOR_SERVICE", "127.0.0.1:8123");
        const CServiceConfig config = CServiceConfig::FromEnvironment();
        EXPECT_EQ(config.m_strUpdateHost, "127.0.0.1");
        EXPECT_EQ(config.m_strWebHost, "127.0.0.1");
        EXPECT_EQ(config.m_nUpdatePort, 8123u);
        EXPECT_EQ(config.m_nWebPort, 8123u);
        EXPECT_EQ(config.GetWebUrl("forms/a.doc"), "http://127.0.0.1:8123/forms/a.doc");
    }
    for (const char* szBad : {"127.0.0.1", "host:0", "host:65536", ":80", "host:80x", "a/b:80"})
    {
        CScopedEnv env("KALIMOR_SERVICE", szBad);
        EXPECT_TRUE(CServiceConfig::FromEnvironment().m_strUpdateHost.ends_with(".example"))
            << szBad;
    }
}

TEST(HttpOutputs, BufferGrowsExactlyAndIsBounded)
{
    CHttpBufferOutput output(16);
    output.Write("abc", 3);
    output.Write("de", 2);
    EXPECT_EQ(output.GetData().size(), 5u);
    output.SeekWritePosition(5);
    output.Write("f", 1);
    EXPECT_EQ(std::string(output.GetData().begin(), output.GetData().end()), "abcdef")
        << "a seek to the end of the array is ignored";
    output.SeekWritePosition(1);
    output.Write("X", 1);
    EXPECT_EQ(std::string(output.GetData().begin(), output.GetData().end()), "aXcdef");

    CHttpBufferOutput announced(16);
    announced.SetDataLength(8);
    announced.Write("1234", 4);
    EXPECT_EQ(announced.GetData().size(), 8u) << "the announced length is kept";
    CLogCapture log(1);
    EXPECT_THROW(announced.Write(std::string(13, 'x').data(), 13), CHTTPException);
    EXPECT_TRUE(log.Contains("Buffer is too big"));
}

TEST(HttpOutputs, FileOutputReportsPercentAndFailsWithoutAFile)
{
    CTempDir dir;
    CHttpFileOutput output;
    output.Open(dir.File("download.bin"));
    std::vector<unsigned> reports;
    output.SetProgressCallback([&](unsigned n) { reports.push_back(n); });
    output.SetDataLength(200);
    output.Write(std::string(50, 'a').data(), 50);
    output.Write(std::string(50, 'b').data(), 50); // within 100 ms: not reported
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), 25u);
    EXPECT_LE(reports.size(), 2u) << "at most one report a tenth of a second";
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    output.Write(std::string(100, 'c').data(), 100);
    EXPECT_EQ(reports.back(), 100u);
    output.Close();
    EXPECT_EQ(ReadFileText(dir.File("download.bin")).size(), 200u);

    CHttpFileOutput broken;
    broken.Open(dir.File("missing-folder/x.bin"));
    EXPECT_THROW(broken.Write("x", 1), CHTTPException);
    EXPECT_THROW(broken.SeekWritePosition(0), CHTTPException);
}

TEST(HttpOutputs, FileTransferAdaptsAMemoryFile)
{
    CMemFile file(std::vector<std::uint8_t>{'1', '\n', 'x'});
    CHttpFileTransfer transfer(&file, 7);
    EXPECT_EQ(transfer.GetLength(), 3);
    char buffer[8] = {};
    EXPECT_EQ(transfer.Read(buffer, 2), 2u);
    EXPECT_EQ(transfer.Read(buffer, 8), 1u);
    EXPECT_EQ(transfer.Read(buffer, 8), 0u);
    transfer.Seek(0);
    EXPECT_EQ(transfer.Read(buffer, 8), 3u);
    EXPECT_EQ(transfer.GetContext(), 7u);

    CHttpFileTransfer empty(nullptr, 0);
    EXPECT_EQ(empty.GetLength(), -1);
    EXPECT_EQ(empty.Read(buffer, 8), 0u);
}
