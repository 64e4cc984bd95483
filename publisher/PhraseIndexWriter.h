#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Builds the full-text index of a content folder: the phrase index
// ("phrase_index.<id>" for every index id, words to documents to positions,
// each file one balanced binary search tree) with its document list
// ("phrase_numbers.dat"), and the first-generation files ("index.<id>",
// "numbers.dat"). The client opens and locks those at start-up but never
// reads them, so they hold their magic and nothing else.
//
// The formats have 16-bit fields, and what does not fit is never written
// wrong:
// - document numbers are stored as 16-bit steps; a longer step is bridged
//   with entries that hold no position (readers step over them);
// - a word's node holds at most 65535 entries: a word found in more
//   documents keeps those where it makes the largest share of the words
//   (the order in which a search for it alone ranks them), and the number
//   left out is reported;
// - positions are 16-bit steps within a document: an occurrence more than
//   65535 words past the word's previous one in that document (in practice,
//   in a document of more than 65535 words) is left out and reported;
// - a document's word count is capped at 65535 and the document reported.
class CPhraseIndexWriter
{
public:
    struct CStatistics
    {
        std::uint64_t m_nWords = 0;              // distinct words written
        std::uint64_t m_nOccurrences = 0;        // positions written
        std::uint64_t m_nRejectedWords = 0;      // empty, too long, or not Windows-1251
        std::uint64_t m_nDroppedOccurrences = 0; // positions the 16-bit fields cannot hold
        std::uint64_t m_nBridgeEntries = 0;      // empty entries that bridge long document steps
        // Words found in more documents than a node holds, with the number of
        // documents left out.
        std::vector<std::pair<std::string, std::uint32_t>> m_overfullWords;
        // Documents some of whose occurrences could not be written, with the words.
        std::map<std::uint32_t, std::vector<std::string>> m_cutDocuments;
        // Documents of more than 65535 words (number, word count).
        std::vector<std::pair<std::uint32_t, std::uint32_t>> m_longDocuments;

        // Forgets what the last save counted, keeping what AddDocument saw.
        void ResetWrittenCounts()
        {
            const auto longDocuments = std::move(m_longDocuments);
            const std::uint64_t nRejected = m_nRejectedWords;
            *this = {};
            m_longDocuments = longDocuments;
            m_nRejectedWords = nRejected;
        }
    };

    std::uint32_t Documents() const { return static_cast<std::uint32_t>(m_documents.size()); }
    // Adds a document and returns its number (1, 2, ...). The path is kept
    // as given (relative to the content folder, "/" separators).
    std::uint32_t AddDocument(std::string_view path, std::uint32_t nWordCount);
    // Records a word of a document at an ordinal position. Words are stored
    // lower case; several words may share one position (a form and its base
    // forms). False when the word cannot be stored.
    bool AddWord(std::uint32_t nDocNumber, std::string_view word, std::uint32_t nPosition);
    // A document whose words take positions 0, 1, 2, ... in order.
    std::uint32_t AddDocumentWords(std::string_view path, const std::vector<std::string>& words);

    // AddWord in two steps, for callers that meet the same words again and
    // again: the word's handle, looked up once, then its occurrences.
    static constexpr std::uint32_t kNoWord = 0xFFFFFFFFu;
    // kNoWord when the word cannot be stored.
    std::uint32_t GetWordHandle(std::string_view word);
    // False (and counted as a rejected word) for kNoWord or a document that
    // was not added.
    bool AddOccurrence(std::uint32_t nWord, std::uint32_t nDocNumber, std::uint32_t nPosition);

    // The bytes of each file; empty on failure (logged).
    std::vector<std::uint8_t> BuildPhraseIndex(int nId);
    std::vector<std::uint8_t> BuildPhraseNumbers() const;
    static std::vector<std::uint8_t> BuildIndex1();
    static std::vector<std::uint8_t> BuildNumbers1();

    // Writes every file into the folder. Fails when a document path has no
    // Windows-1251 form or is longer than 255 bytes.
    bool Save(const std::string& strFolder);

    const CStatistics& Statistics() const { return m_statistics; }

private:
    struct CDocument
    {
        std::string m_path; // Windows-1251
        std::uint32_t m_nWordCount = 0;
    };
    // One word (Windows-1251) with its (document, position) pairs.
    struct CWord
    {
        std::string m_bytes;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> m_occurrences;
    };
    struct CBytesHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view bytes) const
        {
            return std::hash<std::string_view>()(bytes);
        }
    };

    bool EncodePaths(std::vector<std::string>& paths, std::uint8_t& nWidth) const;
    // The words of an index id in byte order, their occurrences sorted.
    std::vector<CWord*> SortedWords(int nId);

    std::vector<CDocument> m_documents;
    std::vector<CWord> m_words;
    std::unordered_map<std::string, std::uint32_t, CBytesHash, std::equal_to<>>
        m_handles; // by bytes
    std::map<int, std::vector<std::uint32_t>> m_wordsById;
    CStatistics m_statistics;
    bool m_bBadPath = false;
};
