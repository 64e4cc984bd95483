#pragma once

#include "BenchCorpus.h"

#include <xapian.h>

#include <memory>
#include <string>
#include <vector>

// The reference engine of the search benchmark: the same pages, one Xapian
// document each (the page's text as the publisher extracts it, the Russian
// stemmer, positions), queried with AND of the stemmed words, or a wildcard
// for a prefix, for the 50 best documents and their paths.
class CXapianEngine
{
public:
    // Indexes the pages into a new database at strFolder.
    static bool Index(const std::vector<BenchCorpus::CPage>& pages, const std::string& strFolder);
    // What xapian-compact does: strFolder compacted into strTarget.
    static bool Compact(const std::string& strFolder, const std::string& strTarget);

    bool Open(const std::string& strFolder);
    // The paths of the best nTop documents; returns how many matched in all
    // (Xapian's estimate).
    std::size_t Search(const std::string& strQuery, bool bPrefix, std::size_t nTop,
                       std::vector<std::string>& paths);

private:
    std::unique_ptr<Xapian::Database> m_pDatabase;
};
