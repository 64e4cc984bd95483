#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The two layouts of a morphology file.
enum EMorphoLayout : int
{
    MORPHO_LAYOUT_STEMS = 1,       // a node per paradigm: the stem and its endings
    MORPHO_LAYOUT_WHOLE_WORDS = 2, // a node per form: the form and its base form
};

// Builds one morphology file: 8192 hash buckets, each a balanced binary
// search tree of nodes written in preorder (a node, its left subtree right
// after it, then its right subtree).
class CMorphoFileWriter
{
public:
    explicit CMorphoFileWriter(EMorphoLayout layout = MORPHO_LAYOUT_STEMS) : m_layout(layout) {}

    // Forms are lower-case Windows-1251 bytes, the base form first, without
    // duplicates, none longer than 255 bytes. The stem layout needs a common
    // stem of 1 to 255 bytes; false when the paradigm does not fit.
    bool AddParadigm(const std::vector<std::string>& forms);
    std::vector<std::uint8_t> Build() const;

    EMorphoLayout Layout() const { return m_layout; }
    std::size_t NodeCount() const { return m_nodes.size(); }

private:
    struct CEntry
    {
        std::uint8_t m_nPrefix = 0; // whole-word layout: bytes taken from the key
        std::string m_text;
    };
    struct CNode
    {
        std::string m_key;
        std::vector<CEntry> m_entries;
        std::size_t EncodedSize(EMorphoLayout layout) const;
    };

    bool AddStemParadigm(const std::vector<std::string>& forms);
    bool AddWholeWordParadigm(const std::vector<std::string>& forms);
    void WriteNode(std::vector<std::uint8_t>& out, const CNode& node, bool bHasLeft) const;
    void WriteTree(std::vector<std::uint8_t>& out, const std::vector<std::size_t>& nodes,
                   std::size_t nLow, std::size_t nHigh) const;

    EMorphoLayout m_layout;
    std::vector<CNode> m_nodes;
};

// Builds the whole dictionary: "common/words.<id>" for every first letter
// а..я, ё (stem layout), "common/words.other" (whole-word layout: paradigms
// whose forms share no stem, so no letter file can hold them) and
// "add/words.additional" (stem layout, for additions of the publisher).
class CMorphologyWriter
{
public:
    struct CStatistics
    {
        std::uint64_t m_nParadigms = 0;         // written
        std::uint64_t m_nStemParadigms = 0;     // of them in the stem layout
        std::uint64_t m_nForms = 0;             // forms written
        std::uint64_t m_nRejectedParadigms = 0; // base form unusable or not Cyrillic
        std::uint64_t m_nRejectedForms = 0;     // no Windows-1251 form or longer than 255 bytes
    };

    CMorphologyWriter();

    // Forms are UTF-8, the base form first; they are lower-cased and
    // duplicates are dropped. False when nothing of the paradigm is kept.
    bool AddParadigm(const std::vector<std::string>& forms);
    bool AddAdditionalParadigm(const std::vector<std::string>& forms);

    bool Save(const std::string& strFolder) const;
    const CStatistics& Statistics() const { return m_statistics; }

private:
    bool PrepareForms(const std::vector<std::string>& forms, std::vector<std::string>& bytes);

    std::map<int, CMorphoFileWriter> m_files; // by dictionary index
    CStatistics m_statistics;
};
