// The full-text search measured against Xapian on the same corpora (built by
// bench/search/make-corpus; bench/search/run does everything):
//
//   bench_search_xapian [benchmark flags] --corpus DIR --work DIR
//       [--corpora man,docs20000,docs100000] [--rounds N] [--reuse | --reuse-xapian]
//       [--clock wall|cpu] [--queries-out FILE]
//
// For each corpus: the publisher's run over the source tree (the morphology
// dictionary built once before and copied in), Xapian's indexing of the same
// pages and its compaction, the size of both indexes, then every query of
// DIR/queries.tsv against both, interleaved: ours through
// CDocumentSearch::Search (the complete ranked set with paths, and the
// highlight words), Xapian's the best 50 with their paths. Each query's time
// is the median of its rounds; a class's p50 and p95 are taken over its
// queries. A table of everything is printed at the end. --reuse keeps what an
// earlier run published and indexed, --reuse-xapian Xapian's databases only;
// what is reused is not timed. --clock cpu times the queries by the
// thread's processor time instead of the wall clock; --queries-out appends
// every query's medians to a file (corpus, class, query, ours, Xapian's).
#include "BenchCorpus.h"
#include "ContentPublisher.h"
#include "DocumentSearch.h"
#include "HunspellMorphology.h"
#include "XapianEngine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using BenchCorpus::Percentile;

namespace
{
constexpr std::size_t kXapianTop = 50;
const char* const kClasses[] = {"1word", "2word", "3word", "prefix"};

struct COptions
{
    std::string m_strCorpus;
    std::string m_strWork;
    std::vector<std::string> m_corpora;
    std::string m_strHunspell = "/usr/share/hunspell/ru_RU";
    int m_nRounds = 3;
    bool m_bReuse = false;       // ours and Xapian's
    bool m_bReuseXapian = false; // Xapian's only
    bool m_bCpuClock = false;    // queries timed by the thread's processor time
    std::string m_strQueriesOut; // where each query's medians are appended, or empty
};

struct CClassResult
{
    std::size_t m_nQueries = 0;
    double m_dOursP50 = 0, m_dOursP95 = 0, m_dXapianP50 = 0, m_dXapianP95 = 0; // ms
    double m_dOursResults = 0;     // mean size of our result sets
    double m_dXapianMatches = 0;   // mean of Xapian's match estimates
    std::size_t m_nFallbacks = 0;  // queries our exact search found nothing for
    std::size_t m_nEmptyPaths = 0; // records left without a path
};

struct CCorpusResult
{
    std::size_t m_nDocuments = 0;
    double m_dPublishSeconds = -1, m_dXapianIndexSeconds = -1, m_dXapianCompactSeconds = -1;
    std::uint64_t m_nOursIndex = 0, m_nOursPhraseIndex = 0, m_nMorphology = 0;
    std::uint64_t m_nXapianCompact = 0, m_nXapianFull = 0;
    std::size_t m_nWarnings = 0;
    std::map<std::string, CClassResult> m_classes;
};

COptions g_options;
double g_dMorphologySeconds = -1;
std::map<std::string, CCorpusResult> g_results;

double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// A query's clock: wall-clock time, or with --clock cpu the processor time
// of this thread, which time spent waiting for a core shared with other
// programs does not add to.
double QueryClockMs()
{
    if (!g_options.m_bCpuClock)
        return Seconds(std::chrono::steady_clock::now().time_since_epoch()) * 1e3;
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string MorphologyFolder()
{
    return g_options.m_strWork + "/morphology";
}
std::string SourceFolder(const std::string& strCorpus)
{
    return g_options.m_strCorpus + "/" + strCorpus;
}
std::string ProfileFolder(const std::string& strCorpus)
{
    return g_options.m_strWork + "/" + strCorpus + "/profile";
}
std::string XapianFolder(const std::string& strCorpus, bool bCompact)
{
    return g_options.m_strWork + "/" + strCorpus + (bCompact ? "/xapian-compact" : "/xapian");
}

void BM_BuildMorphology(benchmark::State& state)
{
    for (auto _ : state)
    {
        if (g_options.m_bReuse && fs::exists(MorphologyFolder() + "/common/words.other"))
        {
            state.SkipWithError("reused");
            return;
        }
        fs::remove_all(MorphologyFolder());
        CHunspellMorphologyReport report;
        const auto start = std::chrono::steady_clock::now();
        if (!BuildMorphologyFromHunspell(g_options.m_strHunspell, MorphologyFolder(), report))
        {
            state.SkipWithError("the morphology dictionary cannot be built");
            return;
        }
        g_dMorphologySeconds = Seconds(std::chrono::steady_clock::now() - start);
    }
}

void BM_Publish(benchmark::State& state, const std::string& strCorpus)
{
    CCorpusResult& result = g_results[strCorpus];
    const std::string strProfile = ProfileFolder(strCorpus);
    const std::string strIndex = strProfile + "/Content/fulltextsearch";
    for (auto _ : state)
    {
        if (!(g_options.m_bReuse && fs::exists(strIndex + "/phrase_numbers.dat")))
        {
            fs::remove_all(strProfile);
            CContentPublisher publisher;
            CPublishReport report;
            CPublishOptions options;
            options.m_strMorphologyFolder = MorphologyFolder();
            const auto start = std::chrono::steady_clock::now();
            const bool bPublished =
                publisher.Publish(SourceFolder(strCorpus), strProfile, report, options);
            result.m_dPublishSeconds = Seconds(std::chrono::steady_clock::now() - start);
            for (const std::string& error : report.GetErrors())
                std::cerr << "publish: " << error << "\n";
            for (const std::string& note : report.GetNotes())
                if (note.starts_with("full-text index"))
                    std::cerr << "publish: " << note << "\n";
            result.m_nWarnings = report.GetWarnings().size();
            for (std::size_t i = 0; i < report.GetWarnings().size() && i < 5; ++i)
                std::cerr << "publish: warning: " << report.GetWarnings()[i] << "\n";
            if (!bPublished)
            {
                state.SkipWithError("the publisher failed");
                return;
            }
        }
    }
    result.m_nOursIndex = BenchCorpus::DiskSize(strIndex);
    for (const auto& entry : fs::directory_iterator(strIndex))
        if (entry.path().filename().string().starts_with("phrase_"))
            result.m_nOursPhraseIndex += entry.file_size();
    result.m_nMorphology = BenchCorpus::DiskSize(strProfile + "/Content/morphology");
    state.counters["index_MB"] = static_cast<double>(result.m_nOursIndex) / 1e6;
}

void BM_XapianIndex(benchmark::State& state, const std::string& strCorpus)
{
    CCorpusResult& result = g_results[strCorpus];
    for (auto _ : state)
    {
        if ((g_options.m_bReuse || g_options.m_bReuseXapian) &&
            fs::exists(XapianFolder(strCorpus, true)))
            continue;
        const std::vector<BenchCorpus::CPage> pages =
            BenchCorpus::ListPages(SourceFolder(strCorpus));
        auto start = std::chrono::steady_clock::now();
        if (!CXapianEngine::Index(pages, XapianFolder(strCorpus, false)))
        {
            state.SkipWithError("Xapian's indexing failed");
            return;
        }
        result.m_dXapianIndexSeconds = Seconds(std::chrono::steady_clock::now() - start);
        start = std::chrono::steady_clock::now();
        if (!CXapianEngine::Compact(XapianFolder(strCorpus, false), XapianFolder(strCorpus, true)))
        {
            state.SkipWithError("xapian-compact failed");
            return;
        }
        result.m_dXapianCompactSeconds = Seconds(std::chrono::steady_clock::now() - start);
    }
    result.m_nXapianFull = BenchCorpus::DiskSize(XapianFolder(strCorpus, false));
    result.m_nXapianCompact = BenchCorpus::DiskSize(XapianFolder(strCorpus, true));
    state.counters["compact_MB"] = static_cast<double>(result.m_nXapianCompact) / 1e6;
}

// Our search as the search command runs it: the complete ranked set with
// paths, and the highlight words. Returns the number of records.
std::size_t RunOurs(CDocumentSearch& search, const std::string& strQuery,
                    std::size_t* pEmptyPaths = nullptr)
{
    SearchResultSet results;
    CHighlightWords highlight;
    search.Search(strQuery, results, highlight);
    if (pEmptyPaths)
        for (const SearchResult& result : results)
            *pEmptyPaths += result.path.empty();
    return results.size();
}

void BM_Queries(benchmark::State& state, const std::string& strCorpus, const std::string& strClass)
{
    std::vector<std::string> queries;
    for (const BenchCorpus::CQuery& query :
         BenchCorpus::LoadQueries(g_options.m_strCorpus + "/queries.tsv"))
        if (query.m_strClass == strClass)
            queries.push_back(query.m_strText);
    const std::string strContent = ProfileFolder(strCorpus) + "/Content";
    CFullTextSearch2 index(strContent + "/fulltextsearch");
    CMorphoSearch morpho(strContent + "/morphology");
    CXapianEngine xapian;
    if (queries.empty() || !index.LoadData() || !morpho.LoadData() ||
        !xapian.Open(XapianFolder(strCorpus, true)))
    {
        state.SkipWithError("no queries, or an index cannot be opened");
        return;
    }
    CDocumentSearch search(index, morpho);
    const bool bPrefix = strClass == "prefix";
    CClassResult& result = g_results[strCorpus].m_classes[strClass];
    result = {};
    result.m_nQueries = queries.size();
    for (auto _ : state)
    {
        // A first pass warms both and counts what each finds.
        std::size_t nOurs = 0, nXapian = 0;
        for (const std::string& query : queries)
        {
            nOurs += RunOurs(search, query, &result.m_nEmptyPaths);
            std::vector<std::string> paths;
            nXapian += xapian.Search(query, bPrefix, kXapianTop, paths);
            SearchResultSet exact;
            search.FindDocuments(query, exact);
            result.m_nFallbacks += exact.empty();
        }
        result.m_dOursResults = static_cast<double>(nOurs) / static_cast<double>(queries.size());
        result.m_dXapianMatches =
            static_cast<double>(nXapian) / static_cast<double>(queries.size());

        std::vector<std::vector<double>> ours(queries.size()), theirs(queries.size());
        for (int nRound = 0; nRound < g_options.m_nRounds; ++nRound)
        {
            for (std::size_t i = 0; i < queries.size(); ++i)
            {
                double dStart = QueryClockMs();
                benchmark::DoNotOptimize(RunOurs(search, queries[i]));
                ours[i].push_back(QueryClockMs() - dStart);
                dStart = QueryClockMs();
                std::vector<std::string> paths;
                benchmark::DoNotOptimize(xapian.Search(queries[i], bPrefix, kXapianTop, paths));
                theirs[i].push_back(QueryClockMs() - dStart);
            }
        }
        std::vector<double> oursMedians, theirMedians;
        for (std::size_t i = 0; i < queries.size(); ++i)
        {
            oursMedians.push_back(Percentile(ours[i], 50));
            theirMedians.push_back(Percentile(theirs[i], 50));
        }
        if (!g_options.m_strQueriesOut.empty())
        {
            // corpus, class, query, ours and Xapian's median in ms: what a
            // comparison of two builds pairs query by query.
            std::ofstream out(g_options.m_strQueriesOut, std::ios::app);
            for (std::size_t i = 0; i < queries.size(); ++i)
                out << strCorpus << '\t' << strClass << '\t' << queries[i] << '\t' << oursMedians[i]
                    << '\t' << theirMedians[i] << '\n';
        }
        result.m_dOursP50 = Percentile(oursMedians, 50);
        result.m_dOursP95 = Percentile(oursMedians, 95);
        result.m_dXapianP50 = Percentile(theirMedians, 50);
        result.m_dXapianP95 = Percentile(theirMedians, 95);
    }
    state.counters["ours_p50_ms"] = result.m_dOursP50;
    state.counters["ours_p95_ms"] = result.m_dOursP95;
    state.counters["xapian_p50_ms"] = result.m_dXapianP50;
    state.counters["xapian_p95_ms"] = result.m_dXapianP95;
}

std::string Format(const char* szFormat, double dValue)
{
    if (dValue < 0)
        return "-";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, szFormat, dValue);
    return buffer;
}

std::string Ratio(double dOurs, double dTheirs)
{
    return dOurs < 0 || dTheirs <= 0 ? "-" : Format("%.2f", dOurs / dTheirs);
}

void PrintTable()
{
    std::ostringstream out;
    out << "\nSearch benchmark: ours (complete ranked set, paths, highlight) vs Xapian (AND, "
           "Russian stemmer, top "
        << kXapianTop << "); ratio = ours / Xapian\n";
    out << "morphology dictionary built from hunspell-ru once: "
        << Format("%.1f s", g_dMorphologySeconds) << " (copied in by every publish below)\n";
    for (const std::string& strCorpus : g_options.m_corpora)
    {
        const auto it = g_results.find(strCorpus);
        if (it == g_results.end())
            continue;
        const CCorpusResult& r = it->second;
        out << "\n== " << strCorpus << ": " << r.m_nDocuments << " documents\n";
        out << "  publish (ours, whole content)  " << Format("%.1f s", r.m_dPublishSeconds)
            << "   Xapian indexing " << Format("%.1f s", r.m_dXapianIndexSeconds) << " + compact "
            << Format("%.1f s", r.m_dXapianCompactSeconds) << "   ratio "
            << Ratio(r.m_dPublishSeconds, r.m_dXapianIndexSeconds) << "\n";
        out << "  index (ours fulltextsearch/)    "
            << Format("%.1f MB", static_cast<double>(r.m_nOursIndex) / 1e6) << " (phrase_* "
            << Format("%.1f MB", static_cast<double>(r.m_nOursPhraseIndex) / 1e6)
            << "; morphology/ " << Format("%.1f MB", static_cast<double>(r.m_nMorphology) / 1e6)
            << " not counted)   Xapian compacted "
            << Format("%.1f MB", static_cast<double>(r.m_nXapianCompact) / 1e6)
            << " (before compact " << Format("%.1f MB", static_cast<double>(r.m_nXapianFull) / 1e6)
            << ")   ratio "
            << Ratio(static_cast<double>(r.m_nOursIndex), static_cast<double>(r.m_nXapianCompact))
            << "\n";
        if (r.m_nWarnings)
            out << "  publisher warnings: " << r.m_nWarnings << "\n";
        out << "  class    n   ours p50   p95 ms | Xapian p50   p95 ms | ratio p50  p95 | ours "
               "results  Xapian matches\n";
        for (const char* szClass : kClasses)
        {
            const auto itClass = r.m_classes.find(szClass);
            if (itClass == r.m_classes.end())
                continue;
            const CClassResult& c = itClass->second;
            char line[256];
            std::snprintf(line, sizeof line,
                          "  %-6s %3zu  %9.3f %8.3f | %9.3f %8.3f | %8s %5s | %12.0f %15.0f",
                          szClass, c.m_nQueries, c.m_dOursP50, c.m_dOursP95, c.m_dXapianP50,
                          c.m_dXapianP95, Ratio(c.m_dOursP50, c.m_dXapianP50).c_str(),
                          Ratio(c.m_dOursP95, c.m_dXapianP95).c_str(), c.m_dOursResults,
                          c.m_dXapianMatches);
            out << line;
            if (std::string_view(szClass) == "prefix")
                out << "  (" << c.m_nFallbacks << " of " << c.m_nQueries
                    << " through the fallback)";
            if (c.m_nEmptyPaths)
                out << "  " << c.m_nEmptyPaths << " records without a path";
            out << "\n";
        }
    }
    std::cout << out.str() << std::flush;
}

bool ParseOptions(int argc, char** argv)
{
    std::string strCorpora;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const bool bValue = i + 1 < argc;
        if (arg == "--corpus" && bValue)
            g_options.m_strCorpus = argv[++i];
        else if (arg == "--work" && bValue)
            g_options.m_strWork = argv[++i];
        else if (arg == "--corpora" && bValue)
            strCorpora = argv[++i];
        else if (arg == "--hunspell" && bValue)
            g_options.m_strHunspell = argv[++i];
        else if (arg == "--rounds" && bValue)
            g_options.m_nRounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--reuse")
            g_options.m_bReuse = true;
        else if (arg == "--reuse-xapian")
            g_options.m_bReuseXapian = true;
        else if (arg == "--queries-out" && bValue)
            g_options.m_strQueriesOut = argv[++i];
        else if (arg == "--clock" && bValue &&
                 (std::string_view(argv[i + 1]) == "cpu" ||
                  std::string_view(argv[i + 1]) == "wall"))
            g_options.m_bCpuClock = std::string_view(argv[++i]) == "cpu";
        else
        {
            std::cerr << "unknown argument " << arg << "\n";
            return false;
        }
    }
    if (g_options.m_strCorpus.empty() || g_options.m_strWork.empty())
    {
        std::cerr << "usage: bench_search_xapian [benchmark flags] --corpus DIR --work DIR "
                     "[--corpora man,docs20000,docs100000] [--rounds N] [--reuse | --reuse-xapian] "
                     "[--hunspell BASE] "
                     "[--clock wall|cpu] [--queries-out FILE]\n";
        return false;
    }
    std::stringstream list(strCorpora.empty() ? "man,docs20000,docs100000" : strCorpora);
    for (std::string strName; std::getline(list, strName, ',');)
        if (fs::exists(SourceFolder(strName) + "/encyclopedia.xml"))
            g_options.m_corpora.push_back(strName);
        else
            std::cerr << "no corpus " << SourceFolder(strName) << ", skipped\n";
    return !g_options.m_corpora.empty();
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!ParseOptions(argc, argv))
        return 2;
    fs::create_directories(g_options.m_strWork);
    benchmark::RegisterBenchmark("BuildMorphology", BM_BuildMorphology)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
    for (const std::string& strCorpus : g_options.m_corpora)
    {
        g_results[strCorpus].m_nDocuments = BenchCorpus::ListPages(SourceFolder(strCorpus)).size();
        benchmark::RegisterBenchmark(("Publish/" + strCorpus).c_str(), BM_Publish, strCorpus)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("XapianIndex/" + strCorpus).c_str(), BM_XapianIndex,
                                     strCorpus)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
        for (const char* szClass : kClasses)
            benchmark::RegisterBenchmark(("Queries/" + strCorpus + "/" + szClass).c_str(),
                                         BM_Queries, strCorpus, std::string(szClass))
                ->Iterations(1)
                ->Unit(benchmark::kSecond)
                ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    return 0;
}
