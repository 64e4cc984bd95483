#include "BlankInfoData.h"
#include "CtlContext.h"
#include "DocumentSearch.h"
#include "EncyclopediaData.h"
#include "NewInfoData.h"
#include "RegistryConfig.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace
{
int RunSearch(CCtlContext& context);
int RunSections(CCtlContext& context);
int RunInfo(CCtlContext& context);

constexpr std::array<CCtlCommand, 3> kCommands{{
    {"search", "[--json] QUERY...",
     "ranked documents of a full-text query and the words to highlight", RunSearch},
    {"sections", "[--json] QUERY...",
     "the encyclopedia sections a query finds, by first-level code", RunSections},
    {"info", "[--json]", "what a profile's content holds", RunInfo},
}};

// The search objects of a profile, loaded.
struct CSearchSetup
{
    CMorphoSearch m_morpho;
    CFullTextSearch2 m_index;
    std::string m_strProblem;

    explicit CSearchSetup(const CProfileConfig& config)
        : m_morpho(config.m_strMorphologyDirPath),
          m_index(config.m_strFullTextDirPath)
    {
        // Without a dictionary the search looks words up as written.
        m_morpho.LoadData();
        if (!m_index.LoadData())
            m_strProblem = "cannot load the full-text index from " + config.m_strFullTextDirPath;
    }
};

std::string JoinArguments(const std::vector<std::string>& args)
{
    std::string strQuery;
    for (const std::string& arg : args)
        strQuery += (strQuery.empty() ? "" : " ") + arg;
    return strQuery;
}

// Scores with 17 significant digits, so that runs can be compared exactly.
std::string FormatScore(double dScore)
{
    if (!std::isfinite(dScore))
        return "null";
    char szBuffer[40];
    std::snprintf(szBuffer, sizeof(szBuffer), "%.17g", dScore);
    return szBuffer;
}

std::vector<std::vector<std::string>> ToGroups(const CHighlightWords& highlight)
{
    std::vector<std::vector<std::string>> groups;
    for (const auto& forms : highlight)
        groups.emplace_back(forms.begin(), forms.end());
    return groups;
}

int RunSearch(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (context.m_args.empty())
        return CtlUsageError(kCommands[0], "expects a query");
    CSearchSetup setup(CtlLoadProfile(context));
    if (!setup.m_strProblem.empty())
        return CtlFail(setup.m_strProblem);
    const std::string strQuery = JoinArguments(context.m_args);
    SearchResultSet results;
    CHighlightWords highlight;
    CDocumentSearch(setup.m_index, setup.m_morpho).Search(strQuery, results, highlight);
    if (!context.m_bJson)
    {
        for (const SearchResult& result : results)
            std::cout << result.docNumber << "\t" << FormatScore(result.score) << "\tspan "
                      << result.span << "\t" << result.path << "\n";
        return CTL_OK;
    }
    std::string strOut = "{\"query\":" + nlohmann::json(strQuery).dump() + ",\"results\":[";
    bool bFirst = true;
    for (const SearchResult& result : results)
    {
        strOut += (bFirst ? "" : ",");
        bFirst = false;
        strOut += "{\"docNumber\":" + std::to_string(result.docNumber) +
                  ",\"path\":" + nlohmann::json(result.path.str()).dump() +
                  ",\"firstPosition\":" + std::to_string(result.firstPosition) +
                  ",\"lastPosition\":" + std::to_string(result.lastPosition) +
                  ",\"span\":" + std::to_string(result.span) +
                  ",\"score\":" + FormatScore(result.score) + "}";
    }
    strOut += "],\"highlight\":" + nlohmann::json(ToGroups(highlight)).dump() + "}";
    std::cout << strOut << "\n";
    return CTL_OK;
}

int RunSections(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (context.m_args.empty())
        return CtlUsageError(kCommands[1], "expects a query");
    const CProfileConfig config = CtlLoadProfile(context);
    CSearchSetup setup(config);
    if (!setup.m_strProblem.empty())
        return CtlFail(setup.m_strProblem);
    CEncyclopediaData encyclopedia;
    if (!encyclopedia.LoadData(config.m_strEncyclopediaPath, config.m_strDocumentsDirPath))
        return CtlFail("cannot load the encyclopedia from " + config.m_strEncyclopediaPath);
    const std::string strQuery = JoinArguments(context.m_args);
    SearchResultSet results;
    CHighlightWords highlight;
    CDocumentSearch(setup.m_index, setup.m_morpho).Search(strQuery, results, highlight);
    const auto groups = ToGroups(highlight);
    nlohmann::json jsonGroups = nlohmann::json::array();
    for (const auto& [strCode, sections] :
         CEncyclopediaData::SortByCode(encyclopedia.FindSectionsBySearchResult(results)))
    {
        nlohmann::json jsonSections = nlohmann::json::array();
        if (!context.m_bJson)
            std::cout << strCode << "\n";
        for (const CEncyclopediaSection* pSection : sections)
        {
            const std::string strSnippet = encyclopedia.GetContent(pSection, groups);
            if (context.m_bJson)
                jsonSections.push_back({{"name", pSection->m_strName},
                                        {"url", pSection->m_strURL},
                                        {"anchor", pSection->m_strAnchor},
                                        {"snippet", strSnippet}});
            else
                std::cout << "  " << pSection->m_strName << " (" << pSection->m_strURL
                          << (pSection->m_strAnchor.empty() ? "" : "#" + pSection->m_strAnchor)
                          << ")\n    " << strSnippet << "\n";
        }
        if (context.m_bJson)
            jsonGroups.push_back({{"code", strCode}, {"sections", jsonSections}});
    }
    if (context.m_bJson)
        std::cout << nlohmann::json{{"query", strQuery}, {"groups", jsonGroups}}.dump() << "\n";
    return CTL_OK;
}
std::size_t CountSections(const CEncyclopediaSection* pSection)
{
    std::size_t nCount = 0;
    for (const auto& child : pSection->m_children)
        nCount += 1 + CountSections(child.get());
    return nCount;
}

std::size_t CountPages(const std::string& strFolder)
{
    std::size_t nPages = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(strFolder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        nPages += it->is_regular_file() && it->path().extension() == ".dat";
    return nPages;
}

int RunInfo(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (!context.m_args.empty())
        return CtlUsageError(kCommands[2], "takes no arguments");
    const CProfileConfig config = CtlLoadProfile(context);
    CRegistryConfig settings;
    settings.LoadSettings();
    CEncyclopediaData encyclopedia;
    encyclopedia.LoadData(config.m_strEncyclopediaPath, config.m_strDocumentsDirPath);
    CBlankInfoData blanks;
    blanks.LoadData(config.m_strBlanksPath);
    CNewInfoData news;
    news.LoadData(config.m_strNewsPath);
    CFullTextSearch2 index(config.m_strFullTextDirPath);
    index.LoadData();
    CMorphoSearch morpho(config.m_strMorphologyDirPath);
    morpho.LoadData();

    const nlohmann::json info = {
        {"profile", config.m_strProfileRoot},
        {"contentVersion", settings.GetContentVersion()},
        {"sections", encyclopedia.GetRoot() ? CountSections(encyclopedia.GetRoot()) : 0},
        {"firstLevelSections",
         encyclopedia.GetRoot() ? encyclopedia.GetRoot()->m_children.size() : 0},
        {"pages", CountPages(config.m_strDocumentsDirPath)},
        {"forms", blanks.GetBlankNews().size()},
        {"formSections", blanks.GetSections().size()},
        {"newsItems", news.GetItems().size()},
        {"indexDocuments", index.GetDocCount()},
        {"indexWords", index.GetWordCount()},
        {"dictionaryEntries", morpho.GetNodeCount()},
    };
    if (context.m_bJson)
        std::cout << info.dump() << "\n";
    else
        for (const auto& [strKey, value] : info.items())
            std::cout << strKey << ": " << value.dump() << "\n";
    return CTL_OK;
}
} // namespace

std::span<const CCtlCommand> GetQueryCommands()
{
    return kCommands;
}
