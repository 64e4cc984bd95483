// Search-box prompts over 100 000 phrases of real Russian words: the lookup
// as the registry does it (a sorted word map, the last word's prefix one run
// of words) against the plain scan of every word, for texts of one letter,
// three letters and two words as a user types them.
#include "FileUtils.h"
#include "HunspellMorphology.h"
#include "MorphoSearch.h"
#include "PromptScanReference.h"
#include "RussianPhrases.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"

#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

namespace
{
const std::string kHunspellBase = KALIMOR_HUNSPELL_RU;
const std::string kMorphologyFolder = KALIMOR_RU_PROFILE "/Content/morphology";
constexpr std::size_t kPhrases = 100000;
constexpr std::size_t kTexts = 1000;

enum ETextKind
{
    TEXT_ONE_LETTER,
    TEXT_THREE_LETTERS,
    TEXT_TWO_WORDS,
};

struct CBenchData
{
    CMorphoSearch m_morpho{kMorphologyFolder};
    CSearchPrompt2Manager m_prompts;
    CSearchRegistry m_registry{&m_morpho, &m_prompts};
    std::unique_ptr<CPromptScanReference> m_pReference;
    std::vector<std::string> m_texts[3];
    std::size_t m_nWords = 0;
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
        CRussianPhrases phrases;
        if (!phrases.Make(kHunspellBase, kPhrases, 7, 1))
            return;
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() /
            ("kalimor-bench-prompts-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        const bool bLoaded =
            CRussianPhrases::WriteEnciphered(folder / "registry2.dat", phrases.RegistryXml()) &&
            CRussianPhrases::WriteEnciphered(folder / "search_prompts2.dat",
                                             phrases.PromptsXml()) &&
            m_registry.LoadData(folder / "registry2.dat") &&
            m_prompts.LoadData(folder / "search_prompts2.dat");
        std::filesystem::remove_all(folder);
        if (!bLoaded)
            return;
        m_registry.BuildSearchPromptMap();
        m_pReference = std::make_unique<CPromptScanReference>(m_registry, &m_prompts, &m_morpho);
        MakeTexts(phrases.m_registry);
        m_bReady = true;
    }

    // What a user types on the way to a phrase: the first letter or three
    // of one of its words, or one whole word and three letters of the next.
    void MakeTexts(const std::vector<std::string>& phrases)
    {
        std::mt19937 random(2);
        std::uniform_int_distribution<std::size_t> pickPhrase(0, phrases.size() - 1);
        while (m_texts[TEXT_TWO_WORDS].size() < kTexts)
        {
            const std::vector<std::string> words =
                SplitSearchString(CTextUtils::ToLower(phrases[pickPhrase(random)]));
            const std::size_t nWord =
                std::uniform_int_distribution<std::size_t>(0, words.size() - 1)(random);
            const std::u32string word = CTextUtils::ToUtf32(words[nWord]);
            if (m_texts[TEXT_ONE_LETTER].size() < kTexts)
                m_texts[TEXT_ONE_LETTER].push_back(CTextUtils::FromUtf32(word.substr(0, 1)));
            if (word.size() >= 3 && m_texts[TEXT_THREE_LETTERS].size() < kTexts)
                m_texts[TEXT_THREE_LETTERS].push_back(CTextUtils::FromUtf32(word.substr(0, 3)));
            if (nWord + 1 < words.size())
                m_texts[TEXT_TWO_WORDS].push_back(
                    words[nWord] + " " +
                    CTextUtils::FromUtf32(CTextUtils::ToUtf32(words[nWord + 1]).substr(0, 3)));
        }
    }
};

CBenchData& Data()
{
    static CBenchData data;
    return data;
}

double Percentile(std::vector<double> values, double dShare)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(dShare * static_cast<double>(values.size())))];
}

double ThreadSeconds()
{
    timespec time{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

// The wall-clock and the thread's processor time of every lookup: other work
// on the machine stretches the first, not the second.
struct CTimings
{
    std::vector<double> m_wall;
    std::vector<double> m_cpu;
    std::size_t m_nPrompts = 0;

    template <typename Lookup> double Time(const Lookup& lookup)
    {
        const double dCpuStart = ThreadSeconds();
        const auto start = std::chrono::steady_clock::now();
        m_nPrompts += lookup();
        const double dWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m_cpu.push_back(ThreadSeconds() - dCpuStart);
        m_wall.push_back(dWall);
        return dWall;
    }

    void Report(benchmark::State& state) const
    {
        state.counters["p50_us"] = Percentile(m_wall, 0.50) * 1e6;
        state.counters["p95_us"] = Percentile(m_wall, 0.95) * 1e6;
        state.counters["p50_cpu_us"] = Percentile(m_cpu, 0.50) * 1e6;
        state.counters["p95_cpu_us"] = Percentile(m_cpu, 0.95) * 1e6;
        state.counters["max_cpu_us"] = Percentile(m_cpu, 1.0) * 1e6;
        state.counters["prompts_per_text"] =
            static_cast<double>(m_nPrompts) /
            static_cast<double>(std::max<std::size_t>(m_wall.size(), 1));
    }

    double TotalCpu() const
    {
        double dTotal = 0;
        for (const double d : m_cpu)
            dTotal += d;
        return dTotal;
    }
};

// The registry's lookup, appending copies of the texts or views of them.
template <typename Text> std::size_t FastLookup(const std::string& text)
{
    std::vector<Text> prompts;
    Data().m_registry.GetSearchPrompts(text, prompts);
    benchmark::DoNotOptimize(prompts.data());
    return prompts.size();
}

// One text per iteration, cycling through the texts of a kind.
void BM_GetSearchPrompts(benchmark::State& state)
{
    if (!Data().m_bReady)
    {
        state.SkipWithError("no dictionary or phrases");
        return;
    }
    const auto& texts = Data().m_texts[state.range(0)];
    const bool bViews = state.range(1) != 0;
    CTimings timings;
    std::size_t i = 0;
    for (auto _ : state)
    {
        const std::string& text = texts[i];
        state.SetIterationTime(timings.Time([&] {
            return bViews ? FastLookup<std::string_view>(text) : FastLookup<std::string>(text);
        }));
        i = (i + 1) % texts.size();
    }
    timings.Report(state);
}
BENCHMARK(BM_GetSearchPrompts)
    ->ArgNames({"kind", "views"})
    ->ArgsProduct({{TEXT_ONE_LETTER, TEXT_THREE_LETTERS, TEXT_TWO_WORDS}, {0, 1}})
    ->Iterations(3 * kTexts)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The plain scan on the first texts, each also looked up the registry's way
// (not counted in the time) to check the two agree and to give the speed-up
// on the same texts.
void BM_GetSearchPromptsPlainScan(benchmark::State& state)
{
    if (!Data().m_bReady)
    {
        state.SkipWithError("no dictionary or phrases");
        return;
    }
    const auto& texts = Data().m_texts[state.range(0)];
    CTimings scan, fast, views;
    std::size_t i = 0;
    for (auto _ : state)
    {
        std::vector<std::string> expected;
        state.SetIterationTime(scan.Time([&] {
            expected = Data().m_pReference->GetSearchPrompts(texts[i]);
            return expected.size();
        }));
        fast.Time([&] { return FastLookup<std::string>(texts[i]); });
        views.Time([&] { return FastLookup<std::string_view>(texts[i]); });
        std::vector<std::string> prompts;
        Data().m_registry.GetSearchPrompts(texts[i], prompts);
        if (prompts != expected)
        {
            state.SkipWithError(("the lookups differ for " + texts[i]).c_str());
            break;
        }
        i = (i + 1) % texts.size();
    }
    scan.Report(state);
    // Processor time over the same texts: the registry appending copies of
    // the texts (as the scan does), and appending views.
    state.counters["speedup"] = fast.TotalCpu() > 0 ? scan.TotalCpu() / fast.TotalCpu() : 0;
    state.counters["speedup_views"] = views.TotalCpu() > 0 ? scan.TotalCpu() / views.TotalCpu() : 0;
}
BENCHMARK(BM_GetSearchPromptsPlainScan)
    ->ArgName("kind")
    ->Arg(TEXT_ONE_LETTER)
    ->Arg(TEXT_THREE_LETTERS)
    ->Arg(TEXT_TWO_WORDS)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Building the map from the loaded phrases, as the first lookup after a
// content load does.
void BM_BuildSearchPromptMap(benchmark::State& state)
{
    if (!Data().m_bReady)
    {
        state.SkipWithError("no dictionary or phrases");
        return;
    }
    for (auto _ : state)
        Data().m_registry.BuildSearchPromptMap();
}
BENCHMARK(BM_BuildSearchPromptMap)->Iterations(5)->Unit(benchmark::kMillisecond);
} // namespace

// With --write-profile DIR the phrases are written as a profile's registry
// and prompt list (DIR/Content), with the typed texts (DIR/texts.tsv: kind,
// tab, text), for timing the search box in the client itself.
int WriteProfile(const std::filesystem::path& folder)
{
    CRussianPhrases phrases;
    if (!phrases.Make(kHunspellBase, kPhrases, 7, 1))
        return 1;
    std::filesystem::create_directories(folder / "Content");
    if (!CRussianPhrases::WriteEnciphered(folder / "Content" / "registry2.dat",
                                          phrases.RegistryXml()) ||
        !CRussianPhrases::WriteEnciphered(folder / "Content" / "search_prompts2.dat",
                                          phrases.PromptsXml()))
        return 1;
    std::string tsv;
    static const char* const kKinds[] = {"1letter", "3letters", "2words"};
    for (int nKind = 0; nKind < 3; ++nKind)
        for (const std::string& text : Data().m_texts[nKind])
            tsv += std::string(kKinds[nKind]) + "\t" + text + "\n";
    return CFileUtils::SaveFileAtomically((folder / "texts.tsv").string(), tsv) ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string_view(argv[1]) == "--write-profile")
        return WriteProfile(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
