#include "BenchCorpus.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace BenchCorpus
{
std::vector<CQuery> LoadQueries(const std::string& strPath)
{
    std::vector<CQuery> queries;
    std::ifstream in(strPath);
    for (std::string strLine; std::getline(in, strLine);)
    {
        const std::size_t nTab = strLine.find('\t');
        if (nTab != std::string::npos && nTab + 1 < strLine.size())
            queries.push_back({strLine.substr(0, nTab), strLine.substr(nTab + 1)});
    }
    return queries;
}

std::vector<CPage> ListPages(const std::string& strSource)
{
    const fs::path pages = fs::path(strSource) / "pages";
    std::vector<fs::path> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(pages, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file() && it->path().extension() == ".html")
            files.push_back(it->path());
    // The publisher sorts the files by path and numbers the pages in the
    // order of their urls, which is the same order for these trees.
    std::sort(files.begin(), files.end());
    std::vector<CPage> result;
    for (const fs::path& file : files)
        result.push_back({"content/" + fs::relative(file, pages).generic_string(), file.string()});
    return result;
}

std::uint64_t DiskSize(const std::string& strPath)
{
    std::error_code error;
    if (fs::is_regular_file(strPath, error))
        return fs::file_size(strPath, error);
    std::uint64_t nSize = 0;
    for (auto it = fs::recursive_directory_iterator(strPath, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file())
            nSize += it->file_size();
    return nSize;
}

double Percentile(std::vector<double> samples, double dPercent)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto nRank =
        static_cast<std::size_t>(std::ceil(dPercent / 100.0 * static_cast<double>(samples.size())));
    return samples[std::clamp<std::size_t>(nRank, 1, samples.size()) - 1];
}
} // namespace BenchCorpus
