// Throughput of the content cipher and of loading an enciphered catalogue
// through the deciphering stream, the path every catalogue takes at start-up.
#include "Cipher.h"
#include "FileUtils.h"
#include "XMLUtils.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>

namespace
{
// A catalogue of nSections sections in three levels, enciphered into a file.
std::string MakeCatalogue(int nSections)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<encyclopedia>\n";
    for (int i = 0; i < nSections / 100; ++i)
    {
        xml += "<section name=\"Раздел " + std::to_string(i) + "\" code=\"c" + std::to_string(i) +
               "\">\n";
        for (int j = 0; j < 10; ++j)
        {
            xml += " <section name=\"Подраздел " + std::to_string(j) + "\">\n";
            for (int k = 0; k < 9; ++k)
                xml += "  <section name=\"Документ о порядке уплаты налога " + std::to_string(k) +
                       "\" url=\"/d" + std::to_string(i) + "/" + std::to_string(j) + "/" +
                       std::to_string(k) + ".html\" anchor=\"a" + std::to_string(k) + "\"/>\n";
            xml += " </section>\n";
        }
        xml += "</section>\n";
    }
    return xml + "</encyclopedia>\n";
}

void BM_CipherBuffer(benchmark::State& state)
{
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(state.range(0)), 0x5A);
    for (auto _ : state)
    {
        CipherBuffer(buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CipherBuffer)->Arg(4096)->Arg(1 << 20);

void BM_LoadEncipheredCatalogue(benchmark::State& state)
{
    std::string xml = MakeCatalogue(static_cast<int>(state.range(0)));
    CipherBuffer(reinterpret_cast<std::uint8_t*>(xml.data()), xml.size());
    char szPath[] = "/tmp/kalimor-bench-XXXXXX";
    const int fd = ::mkstemp(szPath);
    ::close(fd);
    CFileUtils::SaveBinFile(szPath, xml.data(), xml.size());
    for (auto _ : state)
    {
        CXmlDocPtr doc;
        xmlNode* pRoot = nullptr;
        if (!CXMLUtils::LoadXmlDocument(szPath, doc, pRoot, true))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(pRoot);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * xml.size()));
    ::unlink(szPath);
}
BENCHMARK(BM_LoadEncipheredCatalogue)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
