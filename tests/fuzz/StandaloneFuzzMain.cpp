// Without libFuzzer (gcc builds) a fuzz target replays the files of the
// folders or files it is given, so its seed corpus still runs as a test.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize);

namespace
{
void RunFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
} // namespace

int main(int argc, char** argv)
{
    std::size_t nRuns = 0;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path path = argv[i];
        if (path.string().starts_with("-"))
            continue;
        if (std::filesystem::is_directory(path))
        {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file())
                {
                    RunFile(entry.path());
                    ++nRuns;
                }
        }
        else if (std::filesystem::is_regular_file(path))
        {
            RunFile(path);
            ++nRuns;
        }
    }
    std::cout << "replayed " << nRuns << " inputs\n";
    return nRuns > 0 ? 0 : 1;
}
