#include "Cipher.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{
CProcessResult Ctl(std::vector<std::string> args)
{
    args.insert(args.begin(), KALIMORCTL_PATH);
    return RunProcess(args);
}
} // namespace

TEST(Kalimorctl, EncryptDecryptAndPrintACatalogue)
{
    CTempDir dir;
    const std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                            "<news><item id=\"1\" title=\"Срок уплаты НДС\"/></news>\n";
    WriteFileText(dir.File("news.xml"), xml);

    auto result = Ctl({"encrypt", dir.File("news.xml"), dir.File("news.dat")});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    std::string enciphered = ReadFileText(dir.File("news.dat"));
    ASSERT_EQ(enciphered.size(), xml.size());
    CipherBuffer(reinterpret_cast<std::uint8_t*>(enciphered.data()), enciphered.size());
    EXPECT_EQ(enciphered, xml);

    result = Ctl({"xml", "--enciphered", dir.File("news.dat")});
    ASSERT_EQ(result.m_nExitCode, 0) << result.m_strErr;
    EXPECT_NE(result.m_strOut.find("title=\"Срок уплаты НДС\""), std::string::npos)
        << result.m_strOut;

    result = Ctl({"decrypt", dir.File("news.dat"), dir.File("plain.xml")});
    ASSERT_EQ(result.m_nExitCode, 0);
    EXPECT_EQ(ReadFileText(dir.File("plain.xml")), xml);
}

TEST(Kalimorctl, FailuresAndUsageErrorsHaveTheirOwnExitCodes)
{
    CTempDir dir;
    WriteFileText(dir.File("plain.xml"), "<a/>");
    auto result = Ctl({"xml", "--enciphered", dir.File("plain.xml")});
    EXPECT_EQ(result.m_nExitCode, 1);
    EXPECT_NE(result.m_strErr.find("Can't load XML from file"), std::string::npos)
        << "the client's own log line explains the failure: " << result.m_strErr;

    result = Ctl({"decrypt", dir.File("missing.dat"), dir.File("x")});
    EXPECT_EQ(result.m_nExitCode, 1);
    EXPECT_NE(result.m_strErr.find("cannot read"), std::string::npos);

    EXPECT_EQ(Ctl({"encrypt", "only-one"}).m_nExitCode, 2);
    EXPECT_EQ(Ctl({"frobnicate"}).m_nExitCode, 2);
    EXPECT_EQ(Ctl({"--bogus", "xml"}).m_nExitCode, 2);
    EXPECT_EQ(Ctl({}).m_nExitCode, 2);
    result = Ctl({"--help"});
    EXPECT_EQ(result.m_nExitCode, 0);
    EXPECT_NE(result.m_strOut.find("encrypt IN OUT"), std::string::npos);
}
