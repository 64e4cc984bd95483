#include "CtlContext.h"
#include "FullTextSearch2.h"
#include "HunspellMorphology.h"
#include "MorphoSearch.h"
#include "ProfileConfig.h"

#include <nlohmann/json.hpp>

#include <array>
#include <chrono>
#include <iostream>

namespace
{
int RunMorph(CCtlContext& context);
int RunWords(CCtlContext& context);
int RunBuildMorphology(CCtlContext& context);

constexpr std::array<CCtlCommand, 3> kCommands{{
    {"morph", "[--json] WORD...", "base forms and all forms of lower-case words", RunMorph},
    {"words", "[--json] PREFIX", "indexed words that begin with a prefix", RunWords},
    {"build-morphology", "HUNSPELL_BASE OUT_FOLDER",
     "build the morphology dictionary from hunspell (e.g. /usr/share/hunspell/ru_RU)",
     RunBuildMorphology},
}};

void PrintList(const char* szLabel, const std::vector<std::string>& items)
{
    std::cout << "  " << szLabel << ":";
    for (const std::string& item : items)
        std::cout << " " << item;
    std::cout << "\n";
}

int RunMorph(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (context.m_args.empty())
        return CtlUsageError(kCommands[0], "expects at least one word");
    const CProfileConfig config = CtlLoadProfile(context);
    CMorphoSearch morpho(config.m_strMorphologyDirPath);
    if (!morpho.LoadData())
        return CtlFail("cannot load the morphology dictionary from " +
                       config.m_strMorphologyDirPath);
    nlohmann::json words = nlohmann::json::array();
    for (const std::string& word : context.m_args)
    {
        const std::vector<std::string> baseForms = morpho.GetBaseForms(word);
        const std::vector<std::string> allForms = morpho.GetAllForms(word);
        if (context.m_bJson)
            words.push_back({{"word", word}, {"base", baseForms}, {"all", allForms}});
        else
        {
            std::cout << word << "\n";
            PrintList("base", baseForms);
            PrintList("all", allForms);
        }
    }
    if (context.m_bJson)
        std::cout << nlohmann::json{{"words", words}}.dump() << "\n";
    return CTL_OK;
}

int RunWords(CCtlContext& context)
{
    CtlTakeJsonFlag(context);
    if (context.m_args.size() != 1)
        return CtlUsageError(kCommands[1], "expects one prefix");
    const CProfileConfig config = CtlLoadProfile(context);
    CFullTextSearch2 index(config.m_strFullTextDirPath);
    if (!index.LoadData())
        return CtlFail("cannot load the full-text index from " + config.m_strFullTextDirPath);
    const std::string& prefix = context.m_args[0];
    const std::set<std::string> words = index.GetStartWords(prefix);
    if (context.m_bJson)
        std::cout << nlohmann::json{{"prefix", prefix}, {"words", words}}.dump() << "\n";
    else
        for (const std::string& word : words)
            std::cout << word << "\n";
    return CTL_OK;
}

int RunBuildMorphology(CCtlContext& context)
{
    if (context.m_args.size() != 2)
        return CtlUsageError(kCommands[2], "expects the hunspell dictionary and an output folder");
    const auto start = std::chrono::steady_clock::now();
    CHunspellMorphologyReport report;
    if (!BuildMorphologyFromHunspell(context.m_args[0], context.m_args[1], report))
        return CtlFail("cannot build the morphology dictionary from " + context.m_args[0]);
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto& dictionary = report.m_dictionary;
    const auto& writer = report.m_writer;
    std::cout << "entries " << dictionary.m_nEntries << ", affix rules " << dictionary.m_nAffixRules
              << ", ignored continuation rules " << dictionary.m_nContinuationRules
              << ", unknown flags " << dictionary.m_nUnknownFlags << "\n"
              << "paradigms " << writer.m_nParadigms << " of " << report.m_nParadigms
              << " (stem layout " << writer.m_nStemParadigms << "), forms " << writer.m_nForms
              << ", rejected paradigms " << writer.m_nRejectedParadigms << ", rejected forms "
              << writer.m_nRejectedForms << "\n"
              << "seconds " << dSeconds << "\n";
    return CTL_OK;
}
} // namespace

std::span<const CCtlCommand> GetSearchCommands()
{
    return kCommands;
}
