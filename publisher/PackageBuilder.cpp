#include "PackageBuilder.h"

#include "Cipher.h"
#include "FileUtils.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace
{
constexpr const char* kStyleSheet = "Content/online/styles/style.css";
constexpr unsigned long kUtf8Names = 1u << 11;

// One file of a content folder as the installer will see it: the name of
// its entry and the bytes it carries.
struct CPackageFile
{
    std::string m_strEntry;
    CByteArray m_bytes;
};

// The entry name of an installed file: enciphered catalogues (top level) and
// pages (under Content/) are carried readable.
std::string EntryName(const std::string& strInstalled, bool& bDecipher)
{
    bDecipher = false;
    if (strInstalled == kStyleSheet)
        return strInstalled + ".win";
    if (!strInstalled.ends_with(".dat"))
        return strInstalled;
    const std::string strStem = strInstalled.substr(0, strInstalled.size() - 4);
    if (strInstalled.find('/') == std::string::npos)
    {
        bDecipher = true;
        return strStem + ".xml";
    }
    if (strInstalled.starts_with("Content/"))
    {
        bDecipher = true;
        return strStem + ".html";
    }
    return strInstalled; // the search files' own ".dat" files
}

// Every file of a content folder by its installed name; false on a read error.
bool ReadContent(const std::string& strFolder, std::map<std::string, CPackageFile>& files,
                 CPublishReport& report)
{
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(strFolder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        if (!it->is_regular_file())
            continue;
        const std::string strInstalled = fs::relative(it->path(), strFolder).generic_string();
        CPackageFile file;
        bool bDecipher = false;
        file.m_strEntry = EntryName(strInstalled, bDecipher);
        if (!CFileUtils::LoadAllBinFile(it->path().string(), file.m_bytes))
        {
            report.Error(it->path().string(), 0, "cannot be read");
            return false;
        }
        if (bDecipher)
            CipherBuffer(file.m_bytes.data(), file.m_bytes.size());
        files.emplace(strInstalled, std::move(file));
        report.Progress("reading " + strFolder, "files", files.size(), 0);
    }
    if (error)
        report.Error(strFolder, 0, "cannot be listed: " + error.message());
    return !error;
}

bool AddEntry(zipFile zip, const std::string& strName, const CByteArray& bytes)
{
    zip_fileinfo info{};
    info.tmz_date = {0, 0, 0, 1, 0, 2026}; // 1 January 2026, for every entry
    if (zipOpenNewFileInZip4_64(zip, strName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_BEST_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, 0, kUtf8Names, 1) != ZIP_OK)
        return false;
    const bool bWritten =
        bytes.empty() ||
        zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK;
    return zipCloseFileInZip(zip) == ZIP_OK && bWritten;
}
} // namespace

bool CPackageBuilder::AddZip64EndRecords(const std::string& strPath)
{
    std::fstream file(strPath, std::ios::in | std::ios::out | std::ios::binary);
    constexpr std::streamoff kEndSize = 22;
    file.seekg(0, std::ios::end);
    const std::streamoff nSize = file.tellg();
    if (!file || nSize < kEndSize)
        return false;
    std::array<std::uint8_t, kEndSize> end{};
    file.seekg(nSize - kEndSize);
    file.read(reinterpret_cast<char*>(end.data()), kEndSize);
    const auto u16 = [](const std::uint8_t* p) { return std::uint32_t(p[0] | p[1] << 8); };
    const auto u32 = [&](const std::uint8_t* p) { return u16(p) | u16(p + 2) << 16; };
    if (!file || u32(end.data()) != 0x06054b50)
        return false;
    if (u16(end.data() + 10) != 0xFFFF)
        return true; // the end record holds the count itself
    const std::uint64_t nDirSize = u32(end.data() + 12), nDirOffset = u32(end.data() + 16);
    if (nDirOffset + nDirSize != static_cast<std::uint64_t>(nSize - kEndSize))
        return true; // something follows the directory: zip64 records already there
    // The entries are counted in the central directory itself.
    std::vector<std::uint8_t> directory(nDirSize);
    file.seekg(static_cast<std::streamoff>(nDirOffset));
    file.read(reinterpret_cast<char*>(directory.data()), static_cast<std::streamsize>(nDirSize));
    std::uint64_t nEntries = 0;
    for (std::size_t at = 0; file && at + 46 <= directory.size(); ++nEntries)
    {
        if (u32(&directory[at]) != 0x02014b50)
            return false;
        at += 46 + u16(&directory[at + 28]) + u16(&directory[at + 30]) + u16(&directory[at + 32]);
    }
    std::string records;
    const auto put = [&records](std::uint64_t nValue, int nBytes) {
        for (int i = 0; i < nBytes; ++i)
            records += static_cast<char>((nValue >> (8 * i)) & 0xFF);
    };
    put(0x06064b50, 4); // zip64 end of central directory record
    put(44, 8);         // its size after this field
    put(45, 2);         // made by, and needed: zip64 (4.5)
    put(45, 2);
    put(0, 4); // this disk, and the directory's
    put(0, 4);
    put(nEntries, 8);
    put(nEntries, 8);
    put(nDirSize, 8);
    put(nDirOffset, 8);
    put(0x07064b50, 4); // its locator
    put(0, 4);
    put(static_cast<std::uint64_t>(nSize - kEndSize), 8);
    put(1, 4);
    records.append(reinterpret_cast<const char*>(end.data()), kEndSize);
    file.seekp(nSize - kEndSize);
    file.write(records.data(), static_cast<std::streamsize>(records.size()));
    return static_cast<bool>(file.flush());
}

bool CPackageBuilder::Build(const std::string& strContent, const std::string& strBaseContent,
                            const std::string& strZipPath, CPublishReport& report)
{
    std::map<std::string, CPackageFile> files, baseFiles;
    if (!ReadContent(strContent, files, report) ||
        (!strBaseContent.empty() && !ReadContent(strBaseContent, baseFiles, report)))
        return false;

    std::string strRemoved;
    for (const auto& [strInstalled, file] : baseFiles)
        if (!files.contains(strInstalled))
            strRemoved += strInstalled + "\n";

    CFileUtils::MakePathForFile(strZipPath);
    const std::string strTemp = strZipPath + ".part";
    zipFile zip = zipOpen64(strTemp.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
    {
        report.Error(strZipPath, 0, "cannot be created");
        return false;
    }
    std::size_t nEntries = 0, nSeen = 0;
    bool bWritten = true;
    for (const auto& [strInstalled, file] : files)
    {
        report.Progress("writing the package", "files", ++nSeen, files.size());
        const auto itBase = baseFiles.find(strInstalled);
        if (itBase != baseFiles.end() && itBase->second.m_bytes == file.m_bytes)
            continue;
        bWritten = bWritten && AddEntry(zip, file.m_strEntry, file.m_bytes);
        ++nEntries;
    }
    if (!strRemoved.empty())
        bWritten = bWritten &&
                   AddEntry(zip, "remove.files", CByteArray(strRemoved.begin(), strRemoved.end()));
    bWritten = zipClose(zip, nullptr) == ZIP_OK && bWritten && AddZip64EndRecords(strTemp);
    std::error_code error;
    if (bWritten)
        fs::rename(strTemp, strZipPath, error);
    if (!bWritten || error)
    {
        fs::remove(strTemp, error);
        report.Error(strZipPath, 0, "cannot be written");
        return false;
    }
    report.Note(strZipPath + ": " + std::to_string(nEntries) + " files" +
                (strRemoved.empty() ? std::string() : ", and a list of files to remove"));
    return true;
}
