// Unpacking and enciphering an update package of about 200 MB, against plain
// unzip(1) of the same file in the same run.
//   bench_update [--benchmark_repetitions=N]
// The package is generated once into a scratch folder ($TMPDIR) and removed at
// the end: HTML pages of word-like text (enciphered on install) and images of
// random bytes (stored as they are).
#include "UpdateProcess.h"

#include <benchmark/benchmark.h>
#include <minizip/zip.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
extern char** environ;

namespace
{
constexpr std::size_t kPageBytes = 256 * 1024;
constexpr std::size_t kImageBytes = 512 * 1024;
constexpr int kPages = 1000; // 250 MiB of HTML, about a seventh of it compressed
constexpr int kImages = 320; // 160 MiB of incompressible images

class CScratch
{
public:
    CScratch()
    {
        std::string strTemplate = (fs::temp_directory_path() / "kalimor-bench-XXXXXX").string();
        if (!::mkdtemp(strTemplate.data()))
            std::abort();
        m_path = strTemplate;
        MakePackage();
    }
    ~CScratch()
    {
        std::error_code error;
        fs::remove_all(m_path, error);
    }
    std::string Zip() const { return (m_path / "1.zip").string(); }
    std::string Folder(const char* szName) const { return (m_path / szName).string() + "/"; }
    std::uintmax_t ZipSize() const { return fs::file_size(Zip()); }

private:
    void MakePackage()
    {
        static const char* kWords[] = {
            "налог",       "вычет",      "декларация", "бухгалтер", "счёт", "проводка",
            "организация", "отчётность", "срок",       "уплата",    "НДС",  "<p>",
            "</p>",        "страховые",  "взносы",     "<b>",       "</b>", "период"};
        std::uint64_t nSeed = 88172645463325252ULL;
        const auto next = [&nSeed] {
            nSeed ^= nSeed << 13;
            nSeed ^= nSeed >> 7;
            nSeed ^= nSeed << 17;
            return nSeed;
        };
        zipFile zip = zipOpen64(Zip().c_str(), APPEND_STATUS_CREATE);
        std::string data;
        for (int n = 0; n < kPages + kImages; ++n)
        {
            const bool bPage = n < kPages;
            data.clear();
            if (bPage)
            {
                data = "<html><body>";
                while (data.size() < kPageBytes)
                {
                    data += kWords[next() % (sizeof(kWords) / sizeof(*kWords))];
                    data += ' ';
                    if (next() % 7 == 0)
                        data += std::to_string(next() % 100000) + " ";
                }
                data += "</body></html>";
            }
            else
            {
                data.resize(kImageBytes);
                for (std::size_t k = 0; k + 8 <= data.size(); k += 8)
                {
                    const std::uint64_t nValue = next();
                    std::memcpy(data.data() + k, &nValue, 8);
                }
            }
            const std::string strName = bPage ? "Content/docs/" + std::to_string(n / 100) +
                                                    "/page" + std::to_string(n) + ".html"
                                              : "Content/images/image" + std::to_string(n) + ".png";
            zip_fileinfo info{};
            zipOpenNewFileInZip64(zip, strName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0);
            zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size()));
            zipCloseFileInZip(zip);
        }
        zipClose(zip, nullptr);
    }

    fs::path m_path;
};

CScratch& Scratch()
{
    static CScratch scratch;
    return scratch;
}

void Reset(const std::string& strFolder)
{
    std::error_code error;
    fs::remove_all(strFolder, error);
    fs::create_directories(strFolder, error);
}

void BM_UnpackAndEncipher(benchmark::State& state)
{
    CScratch& scratch = Scratch();
    const std::string strContent = scratch.Folder("Content");
    CUnpackJob job;
    job.m_strZipPath = scratch.Zip();
    const CUnpackTarget target{strContent, strContent + "style.css.win", strContent + "style.css"};
    for (auto _ : state)
    {
        state.PauseTiming();
        Reset(strContent);
        state.ResumeTiming();
        if (!CUpdateProcess::Process(target, job, nullptr))
            state.SkipWithError("the package did not unpack");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * scratch.ZipSize()));
    state.counters["zip_MB"] = static_cast<double>(scratch.ZipSize()) / 1e6;
}

void BM_PlainUnzip(benchmark::State& state)
{
    CScratch& scratch = Scratch();
    const std::string strOut = scratch.Folder("unzip");
    std::vector<std::string> args = {"/usr/bin/unzip", "-q", "-o", scratch.Zip(), "-d", strOut};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (auto _ : state)
    {
        state.PauseTiming();
        Reset(strOut);
        state.ResumeTiming();
        pid_t pid = 0;
        int nStatus = 0;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
            ::waitpid(pid, &nStatus, 0) != pid || !WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0)
            state.SkipWithError("unzip failed (is it installed?)");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * scratch.ZipSize()));
}
} // namespace

BENCHMARK(BM_UnpackAndEncipher)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainUnzip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
