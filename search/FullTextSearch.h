#pragma once

#include "SearchUtils.h"

#include <map>
#include <string>

// The first generation of the full-text index ("index.<id>", "numbers.dat").
// Nothing searches it any more; it is opened and checked at start-up and kept
// open (and so locked) until it is released.
class CFullTextSearch
{
public:
    explicit CFullTextSearch(std::string strIndexFolder = {});
    void SetIndexFolder(std::string strIndexFolder)
    {
        m_strIndexFolder = std::move(strIndexFolder);
    }

    bool LoadData();
    void FreeData();
    bool LoadIndex(int nId);
    bool LoadNumbers();

    bool IsLoaded() const { return m_pNumbers != nullptr; }

private:
    std::string m_strIndexFolder;
    MFilePtr m_pNumbers;
    std::map<int, MFilePtr> m_indexFiles;
};
