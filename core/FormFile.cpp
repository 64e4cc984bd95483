#include "FormFile.h"

#include "FileUtils.h"
#include "Logger.h"
#include "StringTable.h"
#include "TextUtils.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace
{
constexpr std::array<std::string_view, 9> kDocumentTypes{".pdf",  ".rtf", ".doc", ".docx", ".xls",
                                                         ".xlsx", ".odt", ".ods", ".txt"};

bool ReadFile(const std::string& strPath, std::string& strData)
{
    CByteArray bytes;
    if (!std::filesystem::is_regular_file(strPath) || !CFileUtils::LoadAllBinFile(strPath, bytes))
        return false;
    strData.assign(bytes.begin(), bytes.end());
    return true;
}
} // namespace

bool CFormFile::IsDocumentType(std::string_view name)
{
    const std::string ext = CTextUtils::ToLower(CFileUtils::GetFileExt(name));
    return std::find(kDocumentTypes.begin(), kDocumentTypes.end(), ext) != kDocumentTypes.end();
}

bool CFormFile::ContentFitsType(std::string_view name, std::string_view head)
{
    const std::string ext = CTextUtils::ToLower(CFileUtils::GetFileExt(name));
    if (ext == ".pdf")
        return head.starts_with("%PDF-");
    if (ext == ".rtf")
        return head.starts_with("{\\rtf");
    // The old Office formats are compound files, the new ones and the open
    // document formats ZIP archives.
    if (ext == ".doc" || ext == ".xls")
        return head.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    if (ext == ".docx" || ext == ".xlsx" || ext == ".odt" || ext == ".ods")
        return head.starts_with("PK\x03\x04");
    if (ext == ".txt")
    {
        // Plain text: no NUL byte, and nothing a desktop would run or read
        // as a launcher or a page.
        const std::string lower = CTextUtils::ToLower(head.substr(0, 512));
        return head.find('\0') == std::string_view::npos && !head.starts_with("#!") &&
               !head.starts_with("\x7F"
                                 "ELF") &&
               lower.find("[desktop entry]") == std::string::npos &&
               lower.find("<html") == std::string::npos &&
               lower.find("<!doctype") == std::string::npos &&
               lower.find("<script") == std::string::npos &&
               lower.find("<svg") == std::string::npos;
    }
    return false;
}

std::string CFormFile::CopyForDesktop(const std::string& strSource, const std::string& strFolder)
{
    KTRACE("CFormFile::CopyForDesktop", strSource);
    const std::string strName = std::filesystem::path(strSource).filename().string();
    std::string strData;
    if (!IsDocumentType(strName))
    {
        KLOG_ERR << "CFormFile::CopyForDesktop refuses a file of this type: " << strSource;
        return {};
    }
    if (!ReadFile(strSource, strData) || !ContentFitsType(strName, strData))
    {
        KLOG_ERR << "CFormFile::CopyForDesktop refuses a file that is not what its name says: "
                 << strSource;
        return {};
    }
    if (!CFileUtils::MakePath(strFolder))
    {
        KLOG_ERR << "CFormFile::CopyForDesktop can't make " << strFolder;
        return {};
    }
    const std::filesystem::path name(strName);
    for (int nCopy = 1; nCopy < 1000; ++nCopy)
    {
        std::string strTarget = strFolder + "/" +
                                (nCopy == 1 ? strName
                                            : name.stem().string() + " (" + std::to_string(nCopy) +
                                                  ")" + name.extension().string());
        std::string strExisting;
        if (std::filesystem::exists(strTarget))
        {
            // The same form again opens the same copy; a copy that changed
            // is the user's and stays as it is.
            if (ReadFile(strTarget, strExisting) && strExisting == strData)
                return strTarget;
            continue;
        }
        // Written without the execute bit, whatever the package said.
        if (!CFileUtils::SaveFileAtomically(strTarget, strData, 0644))
        {
            KLOG_ERR << "CFormFile::CopyForDesktop can't write " << strTarget;
            return {};
        }
        return strTarget;
    }
    KLOG_ERR << "CFormFile::CopyForDesktop has no free name in " << strFolder;
    return {};
}

std::string CFormFile::GetCopiesFolder()
{
    return CFileUtils::GetUserDocumentsFolder() + "/" +
           std::string(CStringTable::Get(IDS_FORMS_FOLDER));
}
