#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the search benchmark reads from a corpus built by make-corpus, and the
// small sums it prints.
namespace BenchCorpus
{
struct CQuery
{
    std::string m_strClass; // "1word", "2word", "3word", "prefix"
    std::string m_strText;
};

// queries.tsv: one "class<TAB>query" a line.
std::vector<CQuery> LoadQueries(const std::string& strPath);

// One page of a source tree: its path in the document list ("content" + url)
// and its file.
struct CPage
{
    std::string m_strPath;
    std::string m_strFile;
};
// The .html files under SRC/pages, in the order the publisher numbers them.
std::vector<CPage> ListPages(const std::string& strSource);

// Bytes of the regular files below a folder (or of one file).
std::uint64_t DiskSize(const std::string& strPath);

// The nearest-rank percentile (0 < p <= 100) of a set of samples.
double Percentile(std::vector<double> samples, double dPercent);
} // namespace BenchCorpus
