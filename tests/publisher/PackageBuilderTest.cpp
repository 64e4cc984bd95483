#include "PackageBuilder.h"
#include "TestContent.h"

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <string>

namespace
{
// What a reader that trusts the archive's count sees: the count, the entries
// it can walk, and how the walk ended.
struct CSeen
{
    std::uint64_t m_nCount = 0, m_nWalked = 0;
    int m_nEnd = UNZ_OK;
};

CSeen Read(const std::string& strPath)
{
    CSeen seen;
    unzFile zip = unzOpen64(strPath.c_str());
    unz_global_info64 global{};
    if (!zip || unzGetGlobalInfo64(zip, &global) != UNZ_OK)
        return seen;
    seen.m_nCount = global.number_entry;
    seen.m_nEnd = unzGoToFirstFile(zip);
    while (seen.m_nEnd == UNZ_OK && ++seen.m_nWalked)
        seen.m_nEnd = unzGoToNextFile(zip);
    unzClose(zip);
    return seen;
}
} // namespace

// A whole large library in one package: more files than the zip end record's
// 16-bit count holds. Every entry must be there for a reader that trusts the
// count, as the client's unpacker does; a small package is left as it is.
TEST(PackageBuilder, APackageOfMoreThan65535FilesCountsThemAll)
{
    CTempDir out;
    for (const std::uint64_t nEntries : {3u, 65540u})
    {
        const std::string strPath = out.File(std::to_string(nEntries) + ".zip");
        zipFile zip = zipOpen64(strPath.c_str(), APPEND_STATUS_CREATE);
        ASSERT_NE(zip, nullptr);
        for (std::uint64_t i = 0; i < nEntries; ++i)
        {
            const std::string strName = "images/" + std::to_string(i) + ".png";
            zip_fileinfo info{};
            ASSERT_EQ(zipOpenNewFileInZip64(zip, strName.c_str(), &info, nullptr, 0, nullptr, 0,
                                            nullptr, 0, 0, 1),
                      ZIP_OK);
            ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
        }
        ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
        const std::uint64_t nBefore = Read(strPath).m_nCount;

        ASSERT_TRUE(CPackageBuilder::AddZip64EndRecords(strPath)) << nEntries;
        const CSeen seen = Read(strPath);
        EXPECT_EQ(seen.m_nCount, nEntries);
        EXPECT_EQ(seen.m_nWalked, nEntries);
        EXPECT_EQ(seen.m_nEnd, UNZ_END_OF_LIST_OF_FILE);
        EXPECT_EQ(nBefore, std::min<std::uint64_t>(nEntries, 65535u)) << "what the archive said";
        ASSERT_TRUE(CPackageBuilder::AddZip64EndRecords(strPath))
            << "a second pass changes nothing";
        EXPECT_EQ(Read(strPath).m_nWalked, nEntries);
    }
}
