#pragma once

#include "SearchUtils.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>

// Loading shared by the two generations of the full-text index.
namespace SearchIndexFiles
{
// The folder with a trailing "/", or empty when the folder is not known.
std::string FolderPath(const std::string& strFolder);
// Loads one index file and checks its type; null on failure (logged).
MFilePtr Load(const std::string& strPath, std::uint32_t nExpectedType);
bool IsIndexId(int nId);

// What tells the two generations' files apart: names, types and the
// reader's name in its log lines.
struct CGeneration
{
    std::string_view m_indexPrefix; // "index." or "phrase_index."
    std::uint32_t m_nIndexType;
    std::string_view m_numbersName; // "numbers.dat" or "phrase_numbers.dat"
    std::uint32_t m_nNumbersType;
    std::string_view m_reader; // "CFullTextSearch" or "CFullTextSearch2"
};

// The load of a whole generation: every index id in order, then the
// document list; the first failure stops it. Returns false then, or when
// anything throws ("Can't load search indexes", logged).
bool LoadGeneration(const std::function<bool(int)>& loadIndex,
                    const std::function<bool()>& loadNumbers);

// Loads the index file of nId from the folder into files; on failure the
// entry is removed and false returned (logged).
bool LoadIndexInto(const CGeneration& generation, const std::string& strFolder, int nId,
                   std::map<int, MFilePtr>& files);
// Loads the generation's document list; null on failure (logged).
MFilePtr LoadNumbers(const CGeneration& generation, const std::string& strFolder);
} // namespace SearchIndexFiles
