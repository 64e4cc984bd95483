// The morphology dictionary built from hunspell-ru and a phrase index over a
// synthetic Russian corpus: building the dictionary, and the three lookups
// every search makes (base forms, all forms, word positions).
#include "FullTextSearch2.h"
#include "HunspellDictionary.h"
#include "HunspellMorphology.h"
#include "MorphoSearch.h"
#include "PhraseIndexWriter.h"
#include "TextUtils.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <random>

namespace
{
const std::string kHunspellBase = KALIMOR_HUNSPELL_RU;
const std::string kMorphologyFolder = KALIMOR_RU_PROFILE "/Content/morphology";

std::uint64_t FolderSize(const std::string& strFolder)
{
    std::uint64_t nSize = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(strFolder))
        if (entry.is_regular_file())
            nSize += entry.file_size();
    return nSize;
}

// Words to look up and a loaded dictionary and index, made once.
struct CBenchData
{
    CMorphoSearch m_morpho{kMorphologyFolder};
    CFullTextSearch2 m_index;
    std::vector<std::string> m_forms;    // inflected forms of a sample of entries
    std::vector<std::string> m_frequent; // base forms common in the corpus
    std::vector<std::string> m_rare;
    std::string m_strIndexFolder;
    bool m_bReady = false;

    CBenchData()
    {
        if (!m_morpho.LoadData())
        {
            CHunspellMorphologyReport report;
            if (!BuildMorphologyFromHunspell(kHunspellBase, kMorphologyFolder, report) ||
                !m_morpho.LoadData())
                return;
        }
        CHunspellDictionary dictionary;
        if (!dictionary.Load(kHunspellBase + ".aff", kHunspellBase + ".dic"))
            return;
        std::vector<std::string> bases;
        for (std::size_t i = 0; i < dictionary.EntryCount(); i += 37)
        {
            const std::vector<std::string> forms = dictionary.ExpandEntry(i);
            bases.push_back(CTextUtils::ToLower(forms[0]));
            m_forms.push_back(CTextUtils::ToLower(forms[i % forms.size()]));
        }
        // 2000 documents of 500 words; word frequencies follow Zipf's law.
        std::mt19937 random(1);
        std::shuffle(bases.begin(), bases.end(), random);
        std::vector<double> weights;
        for (std::size_t i = 0; i < bases.size(); ++i)
            weights.push_back(1.0 / static_cast<double>(i + 1));
        std::discrete_distribution<std::size_t> pick(weights.begin(), weights.end());
        CPhraseIndexWriter writer;
        for (int nDoc = 0; nDoc < 2000; ++nDoc)
        {
            std::vector<std::string> words;
            for (int i = 0; i < 500; ++i)
                words.push_back(bases[pick(random)]);
            writer.AddDocumentWords("/doc" + std::to_string(nDoc) + ".htm", words);
        }
        m_strIndexFolder = std::filesystem::temp_directory_path() /
                           ("kalimor-bench-index-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_strIndexFolder);
        if (!writer.Save(m_strIndexFolder))
            return;
        m_index.SetIndexFolder(m_strIndexFolder);
        if (!m_index.LoadData())
            return;
        m_frequent.assign(bases.begin(), bases.begin() + 20);
        m_rare.assign(bases.end() - 200, bases.end());
        m_bReady = true;
    }
    ~CBenchData()
    {
        m_index.FreeData();
        if (!m_strIndexFolder.empty())
            std::filesystem::remove_all(m_strIndexFolder);
    }
};

CBenchData& Data()
{
    static CBenchData data;
    return data;
}

void BM_BuildRussianMorphology(benchmark::State& state)
{
    const std::string strFolder = std::filesystem::temp_directory_path() /
                                  ("kalimor-bench-morphology-" + std::to_string(::getpid()));
    CHunspellMorphologyReport report;
    for (auto _ : state)
        if (!BuildMorphologyFromHunspell(kHunspellBase, strFolder, report))
            state.SkipWithError("build failed");
    state.counters["bytes"] = static_cast<double>(FolderSize(strFolder));
    state.counters["paradigms"] = static_cast<double>(report.m_writer.m_nParadigms);
    state.counters["forms"] = static_cast<double>(report.m_writer.m_nForms);
    std::filesystem::remove_all(strFolder);
}
BENCHMARK(BM_BuildRussianMorphology)->Iterations(1)->Unit(benchmark::kSecond);

template <typename Lookup>
void RunLookups(benchmark::State& state, const std::vector<std::string>& words,
                const Lookup& lookup)
{
    if (!Data().m_bReady || words.empty())
    {
        state.SkipWithError("no dictionary or index");
        return;
    }
    std::size_t i = 0;
    std::size_t nFound = 0;
    for (auto _ : state)
    {
        nFound += lookup(words[i]);
        i = (i + 1) % words.size();
    }
    state.counters["found_per_lookup"] =
        static_cast<double>(nFound) /
        static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}

void BM_GetBaseForms(benchmark::State& state)
{
    RunLookups(state, Data().m_forms,
               [](const std::string& word) { return Data().m_morpho.GetBaseForms(word).size(); });
}
BENCHMARK(BM_GetBaseForms)->Unit(benchmark::kMicrosecond);

void BM_GetAllForms(benchmark::State& state)
{
    RunLookups(state, Data().m_forms,
               [](const std::string& word) { return Data().m_morpho.GetAllForms(word).size(); });
}
BENCHMARK(BM_GetAllForms)->Unit(benchmark::kMicrosecond);

void BM_GetWordPositions(benchmark::State& state)
{
    const auto& words = state.range(0) == 0 ? Data().m_frequent : Data().m_rare;
    RunLookups(state, words, [](const std::string& word) {
        std::vector<WordPosition> positions;
        Data().m_index.GetWordPositions(word, positions);
        return positions.size();
    });
}
BENCHMARK(BM_GetWordPositions)->ArgName("rare")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
} // namespace

BENCHMARK_MAIN();
