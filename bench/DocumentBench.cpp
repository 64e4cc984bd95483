// A content page read, cleaned and written out for the browser, as the view
// and the bridge do for every page shown: an ordinary page, and a 38 MB one
// that is shown cut. The resident size after the page is let go is reported
// too (the memory a huge page held must go back).
#include "DocumentPage.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace
{
std::string MakePage(std::size_t nBytes)
{
    std::string html =
        "<!DOCTYPE html><html><head><title>Страница</title></head><body><h1>Заголовок</h1>";
    const std::string rows =
        "<p>Налоговый вычет предоставляется при наличии <a href=\"other.html#a\">счета-фактуры</a> "
        "и "
        "<b>первичных документов</b>.</p><table><tr><td>Ставка</td><td>20%</td></tr></table>\n";
    while (html.size() < nBytes)
        html += rows;
    return html + "</body></html>";
}

double ResidentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t nPages = 0, nResident = 0;
    statm >> nPages >> nResident;
    return static_cast<double>(nResident) * 4096.0 / (1 << 20);
}

void ShowPage(benchmark::State& state)
{
    const std::string html = MakePage(static_cast<std::size_t>(state.range(0)) << 10);
    std::size_t nOut = 0;
    double dHeld = 0;
    for (auto _ : state)
    {
        CDocumentPage page;
        page.LoadHtml(html, "/dir/page.html");
        const std::string safe = page.GetSafeHtml();
        nOut = safe.size();
        benchmark::DoNotOptimize(safe.data());
        state.PauseTiming();
        dHeld = ResidentMegabytes();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(html.size()));
    state.counters["out_kb"] = static_cast<double>(nOut >> 10);
    // Both less the page's source, which the benchmark keeps throughout.
    state.counters["rss_held_mb"] = dHeld - static_cast<double>(html.size()) / (1 << 20);
    state.counters["rss_after_mb"] =
        ResidentMegabytes() - static_cast<double>(html.size()) / (1 << 20);
}
} // namespace

BENCHMARK(ShowPage)->Arg(64)->Arg(1024)->Arg(38 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
