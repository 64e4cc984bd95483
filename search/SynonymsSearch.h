#pragma once

#include "Utf16Order.h"

#include <libxml/tree.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

// Groups of interchangeable words and phrases ("search_synonyms.dat",
// enciphered XML): every member of a group is a key whose synonyms are the
// other members. The search box looks prompts up for the typed text and for
// each of its synonyms.
class CSynonymsSearch
{
public:
    // False when the file cannot be read or is not a synonyms file; groups
    // read before a problem inside the file are kept.
    bool LoadData(const std::string& strPath);
    void FreeData();

    // The synonyms of a text: it is normalised (split into words and joined
    // by single blanks) but not lower-cased, so callers pass lower-case text.
    // A group's head word is found folded ("ё" and "е" alike), its other
    // members as written.
    Utf16StringSet GetSynonyms(std::string_view text) const;

    bool IsEmpty() const { return m_synonyms.empty() && m_headWords.empty(); }

private:
    bool LoadXml(const xmlNode* pRoot);
    void AddGroup(const std::vector<std::string>& group);

    // By the other members as written, and by the head words folded.
    std::map<std::string, Utf16StringSet, std::less<>> m_synonyms;
    std::map<std::string, Utf16StringSet, std::less<>> m_headWords;
};
