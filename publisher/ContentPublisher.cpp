#include "ContentPublisher.h"

#include "CatalogueChecks.h"
#include "Cipher.h"
#include "FileUtils.h"
#include "HunspellMorphology.h"
#include "Logger.h"
#include "SearchIndexBuilder.h"
#include "TextUtils.h"
#include "XMLUtils.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{
// A fresh folder beside strContent, removed again unless released.
class CStagingFolder
{
public:
    explicit CStagingFolder(const std::string& strContent)
    {
        std::string strTemplate = strContent + ".staging-XXXXXX";
        if (::mkdtemp(strTemplate.data()))
            m_strPath = strTemplate;
    }
    ~CStagingFolder()
    {
        if (!m_strPath.empty())
        {
            std::error_code error;
            fs::remove_all(m_strPath, error);
        }
    }
    CStagingFolder(const CStagingFolder&) = delete;
    CStagingFolder& operator=(const CStagingFolder&) = delete;

    const std::string& Path() const { return m_strPath; }
    void Release() { m_strPath.clear(); }

private:
    std::string m_strPath;
};

std::string WithoutTrailingSlash(std::string strPath)
{
    while (strPath.size() > 1 && strPath.back() == '/')
        strPath.pop_back();
    return strPath;
}
} // namespace

bool CContentPublisher::Publish(const std::string& strSource, const std::string& strProfileRoot,
                                CPublishReport& report, const CPublishOptions& options)
{
    KTRACE("CContentPublisher::Publish", strSource, strProfileRoot);
    if (!CFileUtils::DirectoryExists(strSource))
    {
        report.Error(strSource, 0, "the source folder does not exist");
        return false;
    }
    const std::string strContent = WithoutTrailingSlash(strProfileRoot) + "/Content";
    if (!CFileUtils::MakePath(strProfileRoot))
    {
        report.Error(strProfileRoot, 0, "the profile folder cannot be created");
        return false;
    }
    CStagingFolder staging(strContent);
    if (staging.Path().empty())
    {
        report.Error(strProfileRoot, 0, "no staging folder can be created in the profile");
        return false;
    }
    m_pages.clear();
    CEncyclopediaPublisher encyclopedia;
    const bool bEncyclopedia = encyclopedia.Publish(strSource, staging.Path(), report, m_pages);
    if (!PublishCatalogues(strSource, staging.Path(), report) || !bEncyclopedia ||
        report.HasErrors())
        return false;
    if (!PublishMorphology(staging.Path(), options, report) ||
        !PublishIndex(staging.Path(), report))
        return false;
    if (!SyncToDisk(staging.Path(), report) || !PutInPlace(staging.Path(), strContent, report))
        return false;
    staging.Release();
    return true;
}

bool CContentPublisher::PublishCatalogues(const std::string& strSource,
                                          const std::string& strContent, CPublishReport& report)
{
    for (const CCatalogueSpec& spec : GetCatalogueSpecs())
    {
        const std::string strPath = strSource + "/" + std::string(spec.m_sourceName);
        if (!CFileUtils::FileExists(strPath))
        {
            report.Note(std::string(spec.m_sourceName) + ": not in the source, not published");
            continue;
        }
        CByteArray bytes;
        if (!CFileUtils::LoadAllBinFile(strPath, bytes))
        {
            report.Error(strPath, 0, "cannot be read");
            continue;
        }
        if (!CTextUtils::IsValidUtf8(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
        {
            report.Error(strPath, 0, "is not valid UTF-8");
            continue;
        }
        CXmlDocPtr doc;
        xmlNode* pRoot = nullptr;
        std::string strError;
        long nLine = 0;
        if (!CXMLUtils::LoadXmlDocumentForReport(strPath, doc, pRoot, strError, nLine))
        {
            report.Error(strPath, nLine, strError);
            continue;
        }
        const std::size_t nErrors = report.GetErrors().size();
        CCatalogueChecker checker(report, strPath);
        spec.m_pCheck(pRoot, checker);
        if (report.GetErrors().size() != nErrors)
            continue;
        CipherBuffer(bytes.data(), bytes.size());
        if (!CFileUtils::SaveFileAtomically(strContent + "/" + std::string(spec.m_targetName),
                                            bytes))
        {
            report.Error(strContent, 0, "cannot write " + std::string(spec.m_targetName));
            return false;
        }
        report.Note(std::string(spec.m_sourceName) + " -> " + std::string(spec.m_targetName));
    }
    return true;
}

bool CContentPublisher::PublishMorphology(const std::string& strContent,
                                          const CPublishOptions& options, CPublishReport& report)
{
    const std::string strTarget = strContent + "/morphology";
    if (!options.m_strMorphologyFolder.empty())
    {
        std::error_code error;
        fs::copy(options.m_strMorphologyFolder, strTarget, fs::copy_options::recursive, error);
        if (error)
        {
            report.Error(options.m_strMorphologyFolder, 0,
                         "the morphology dictionary cannot be copied: " + error.message());
            return false;
        }
        report.Note("morphology: copied from " + options.m_strMorphologyFolder);
        return true;
    }
    CHunspellMorphologyReport morphology;
    const ProgressFn progress = [&report](const CProgress& p) {
        report.Progress(p.m_stage, p.m_unit, p.m_nDone, p.m_nTotal);
    };
    if (!BuildMorphologyFromHunspell(options.m_strHunspellBase, strTarget, morphology, progress))
    {
        report.Error(
            options.m_strHunspellBase + ".dic", 0,
            "the morphology dictionary cannot be built from it (is hunspell-ru installed?)");
        return false;
    }
    report.Note("morphology: " + std::to_string(morphology.m_nParadigms) + " paradigms, " +
                std::to_string(morphology.m_writer.m_nForms) + " forms from " +
                options.m_strHunspellBase);
    return true;
}

bool CContentPublisher::PublishIndex(const std::string& strContent, CPublishReport& report)
{
    CMorphoSearch morpho(strContent + "/morphology/");
    if (!morpho.LoadData())
    {
        report.Error(strContent + "/morphology", 0,
                     "the morphology dictionary cannot be read back");
        return false;
    }
    CSearchIndexBuilder builder(morpho);
    for (std::size_t i = 0; i < m_pages.size(); ++i)
    {
        report.Progress("full-text index", "pages", i + 1, m_pages.size());
        builder.AddPage("content" + m_pages[i].m_strURL, m_pages[i].m_strText);
        // Each text goes once it is indexed: a large library's texts and its
        // index's occurrences would otherwise be held at once (the run's peak).
        std::string().swap(m_pages[i].m_strText);
    }
    return builder.Save(strContent + "/fulltextsearch/", report);
}

bool CContentPublisher::SyncToDisk(const std::string& strStaging, CPublishReport& report)
{
    // The pages are written without a flush each; the whole file system is
    // flushed once, before the folder takes the old content's place.
    const int fd = ::open(strStaging.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool bSynced = fd >= 0 && ::syncfs(fd) == 0;
    const int nError = errno;
    if (fd >= 0)
        ::close(fd);
    if (!bSynced)
        report.Error(strStaging, 0,
                     "cannot be flushed to disk: " + std::string(std::strerror(nError)));
    return bSynced;
}

bool CContentPublisher::PutInPlace(const std::string& strStaging, const std::string& strContent,
                                   CPublishReport& report)
{
    std::error_code error;
    std::string strOld;
    if (fs::exists(strContent, error))
    {
        strOld = strContent + ".old-" + std::to_string(::getpid());
        fs::remove_all(strOld, error);
        fs::rename(strContent, strOld, error);
        if (error)
        {
            report.Error(strContent, 0,
                         "the old content cannot be moved aside: " + error.message());
            return false;
        }
    }
    fs::rename(strStaging, strContent, error);
    if (error)
    {
        report.Error(strContent, 0, "the new content cannot be put in place: " + error.message());
        if (!strOld.empty())
            fs::rename(strOld, strContent, error);
        return false;
    }
    if (!strOld.empty())
        fs::remove_all(strOld, error);
    return true;
}
