#pragma once

#include "SearchTreeWalk.h"
#include "SearchUtils.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The morphology dictionary: 35 files, each a table of 8192 hash buckets of
// binary search trees whose nodes hold one paradigm, either as a stem with
// its endings (type 1) or as whole forms (type 2). Dictionaries 0
// ("common/words.other") and 1 ("add/words.additional") are searched for
// every word, the others by the word's first letter.
class CMorphoSearch
{
public:
    explicit CMorphoSearch(std::string strMorphologyFolder = {});
    void SetMorphologyFolder(std::string strFolder)
    {
        m_strMorphologyFolder = std::move(strFolder);
    }

    bool LoadData();
    void FreeData();
    bool LoadDict(int nDictIndex);

    // The base forms of every paradigm holding the word, in the order found,
    // duplicates kept. Words must be lower case; others have none.
    std::vector<std::string> GetBaseForms(std::string_view word);
    // Every form of every stem-and-ending paradigm holding the word.
    std::vector<std::string> GetAllForms(std::string_view word);

    // The number of nodes (paradigms, or whole forms) in the loaded files.
    std::uint64_t GetNodeCount();
    // The file of a dictionary below the morphology folder, or empty.
    static std::string GetDictFileName(int nDictIndex);
    // The dictionary indexes in load order: 1, 0, а..я, ё.
    static std::vector<int> GetDictIndexes();

private:
    void Search(std::string_view word, std::vector<std::string>& baseForms,
                std::vector<std::string>* pAllForms);
    void SearchInDict(std::string_view bytes, int nDictIndex, std::vector<std::string>& baseForms,
                      std::vector<std::string>* pAllForms);
    void SearchInNode(const MFile* pFile, int nDictIndex, std::uint32_t nOffset,
                      std::string_view prefix, std::string_view suffix,
                      std::vector<std::string>& baseForms, std::vector<std::string>* pAllForms);
    // The dictionary's file is passed along with its index, which the
    // messages name, so that a walk looks the file up once.
    static std::uint32_t GetTreeOffset(const MFile* pFile, int nHash);
    static std::uint16_t GetTreeNodeSize(const MFile* pFile, std::uint32_t nOffset);
    static bool GetTreeNode(const MFile* pFile, int nDictIndex, std::uint32_t nOffset,
                            std::uint16_t nSize, std::vector<std::uint8_t>& buffer);
    const MFile* GetDict(int nDictIndex) const;

    std::string m_strMorphologyFolder;
    std::map<int, MFilePtr> m_dicts;
    // Scratch space of one tree walk, kept between walks to spare allocations.
    std::vector<std::uint8_t> m_nodeBuffer;
    std::vector<std::uint32_t> m_pending;
    CTreeWalkVisits m_visits;
};
