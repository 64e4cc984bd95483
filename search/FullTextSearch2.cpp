#include "FullTextSearch2.h"

#include "Logger.h"
#include "SearchIndexFiles.h"
#include "SearchTreeWalk.h"

#include <cstring>
#include <exception>

namespace
{
constexpr std::uint32_t kRootOffset = 16;
constexpr std::uint32_t kNodeHeaderSize = 8;
constexpr std::uint32_t kRecordsOffset = 17;
constexpr SearchIndexFiles::CGeneration kGeneration2{"phrase_index.", SEARCH_FILE_INDEX_2,
                                                     "phrase_numbers.dat", SEARCH_FILE_FNAMES_2,
                                                     "CFullTextSearch2"};
// Nodes of at least this many documents have their end remembered: finding
// it means summing all their counts, and the upper nodes of a tree are passed
// by many lookups.
constexpr std::uint32_t kRememberedNodeSize = 32;

// One node of a phrase index tree, as far as a walk needs it.
struct CPhraseNode
{
    std::uint32_t nOffset = 0;
    std::string_view word;       // points into the mapped file
    std::uint32_t nDocCount = 0; // N
    bool bHasLeft = false;
    std::uint32_t nRight = 0;
    std::uint32_t nCountsOffset = 0; // D
    std::uint32_t nLeftOffset = 0;   // right after the node
};

std::uint16_t ReadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// Reads the node at nOffset, with the messages of a failed read. Beyond them
// the whole node must lie inside the file: its counts can claim far more
// positions than the file holds, and reading them one by one would only
// produce a failed read for each.
bool ReadPhraseNode(const MFile* pFile, int nId, std::uint32_t nOffset, CPhraseNode& node,
                    CNodeEnds& ends)
{
    if (pFile->type != SEARCH_FILE_INDEX_2)
    {
        KLOG_ERR << "Unsupported index type";
        return false;
    }
    const std::uint8_t nLength = CSearchUtils::MFileReadUChar(pFile, nOffset, 0);
    if (nLength == 0)
    {
        KLOG_ERR << "Invalid word length";
        return false;
    }
    const std::uint64_t nWordOffset = std::uint64_t{nOffset} + kNodeHeaderSize;
    if (nWordOffset + nLength > pFile->size)
    {
        KLOG_ERR << "Can't read word";
        return false;
    }
    node.nOffset = nOffset;
    node.word = std::string_view(reinterpret_cast<const char*>(pFile->view) + nWordOffset, nLength);
    node.nDocCount = CSearchUtils::MFileReadUShort(pFile, nOffset + 1, 0);
    node.bHasLeft = CSearchUtils::MFileReadUChar(pFile, nOffset + 3, 0) >= 1;
    node.nRight = CSearchUtils::MFileReadULong(pFile, nOffset + 4, 0);
    node.nCountsOffset = static_cast<std::uint32_t>(nWordOffset + nLength);
    const bool bRemember = node.nDocCount >= kRememberedNodeSize;
    if (bRemember)
    {
        if (const auto it = ends.find(nOffset); it != ends.end())
        {
            node.nLeftOffset = it->second;
            return true;
        }
    }

    std::uint64_t nEnd = std::uint64_t{node.nCountsOffset} + 2ull * node.nDocCount;
    if (nEnd <= pFile->size)
    {
        // The counts lie inside the file: they are summed straight from the view.
        std::uint64_t nPositions = 0;
        for (std::uint32_t i = 0; i < node.nDocCount; ++i)
            nPositions += ReadU16(pFile->view + node.nCountsOffset + 2 * std::size_t{i});
        nEnd += 2ull * (node.nDocCount + nPositions);
    }
    if (nEnd > pFile->size)
    {
        KLOG_ERR << "Index node runs past the end of the file. Index id: " << nId
                 << "; offset: " << nOffset;
        return false;
    }
    node.nLeftOffset = static_cast<std::uint32_t>(nEnd);
    if (bRemember)
        ends.emplace(nOffset, node.nLeftOffset);
    return true;
}

// strncmp(prefix, word, length of prefix).
int ComparePrefix(std::string_view prefix, std::string_view word)
{
    return CompareSearchBytes(prefix, word.substr(0, prefix.size()));
}

// An index with no words holds only its magic.
bool IsEmptyTree(const MFile* pFile, std::uint32_t nOffset)
{
    return nOffset == kRootOffset && pFile->size == kRootOffset;
}

// Walks one path from the node at nOffset down to the word's node; an exact
// match ends the walk. False when the word is not in the tree (or the walk
// hit damage, which is logged).
bool FindWordNode(const MFile* pFile, int nId, std::string_view bytes, std::uint32_t nOffset,
                  CPhraseNode& node, CNodeEnds& ends)
{
    if (IsEmptyTree(pFile, nOffset))
        return false;
    CTreeWalkVisits visits;
    for (;;)
    {
        if (!visits.Enter(nOffset))
        {
            KLOG_ERR << "Index tree loops back to offset " << nOffset << ". Index id: " << nId;
            return false;
        }
        if (!ReadPhraseNode(pFile, nId, nOffset, node, ends))
            return false;
        const int nCmp = CompareSearchBytes(bytes, node.word);
        if (nCmp == 0)
            return true;
        if (node.bHasLeft && nCmp < 0)
            nOffset = node.nLeftOffset;
        else if (node.nRight >= 1 && nCmp > 0)
            nOffset = node.nRight;
        else
            return false;
    }
}

// The index id of a word's file and its Windows-1251 bytes; false when the
// word has no Windows-1251 form.
bool PrepareWord(std::string_view word, int& nId, std::string& bytes)
{
    nId = CSearchUtils::GetIndexForWord(word);
    if (nId == -1)
        nId = kIndexIdOther;
    if (CSearchUtils::TCharToWin1251(word, bytes))
        return true;
    KLOG_ERR << "Can't convert word to cp1251";
    return false;
}
} // namespace

CFullTextSearch2::CFullTextSearch2(std::string strIndexFolder)
    : m_strIndexFolder(std::move(strIndexFolder))
{
}

bool CFullTextSearch2::LoadData()
{
    KTRACE("CFullTextSearch2::LoadData");
    FreeData();
    return SearchIndexFiles::LoadGeneration([this](int nId) { return LoadIndex(nId); },
                                            [this] { return LoadNumbers(); });
}

void CFullTextSearch2::FreeData()
{
    KTRACE("CFullTextSearch2::FreeData");
    m_indexFiles.clear();
    m_nodeEnds.clear();
    m_pNumbers = CSearchUtils::MFileClose(std::move(m_pNumbers));
    m_nPathWidth = 0;
    m_nDocCount = 0;
}

bool CFullTextSearch2::LoadIndex(int nId)
{
    KTRACE("CFullTextSearch2::LoadIndex");
    m_nodeEnds.erase(nId);
    return SearchIndexFiles::LoadIndexInto(kGeneration2, m_strIndexFolder, nId, m_indexFiles);
}

bool CFullTextSearch2::LoadNumbers()
{
    KTRACE("CFullTextSearch2::LoadNumbers");
    m_pNumbers = CSearchUtils::MFileClose(std::move(m_pNumbers));
    m_nPathWidth = 0;
    m_nDocCount = 0;
    m_pNumbers = SearchIndexFiles::LoadNumbers(kGeneration2, m_strIndexFolder);
    return m_pNumbers != nullptr;
}

const MFile* CFullTextSearch2::GetIndexFile(int nId) const
{
    const auto it = m_indexFiles.find(nId);
    if (it == m_indexFiles.end() || !it->second)
    {
        KLOG_ERR << "Index id " << nId << " incorrect";
        return nullptr;
    }
    return it->second.get();
}

void CFullTextSearch2::GetWordPositions(std::string_view word, std::vector<WordPosition>& positions)
{
    KTRACE("CFullTextSearch2::GetWordPositions", word);
    try
    {
        int nId = 0;
        std::string bytes;
        if (PrepareWord(word, nId, bytes))
            SearchInNodePositions(bytes, nId, kRootOffset, positions);
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Exception in CFullTextSearch2::GetWordPositions";
    }
}

void CFullTextSearch2::SearchInNodePositions(std::string_view bytes, int nId, std::uint32_t nOffset,
                                             std::vector<WordPosition>& positions)
{
    const MFile* pFile = GetIndexFile(nId);
    CPhraseNode node;
    if (!pFile || !FindWordNode(pFile, nId, bytes, nOffset, node, m_nodeEnds[nId]))
        return;
    // ReadPhraseNode checked that the whole node lies inside the file.
    const std::uint8_t* pCounts = pFile->view + node.nCountsOffset;
    const std::uint8_t* pCursor = pCounts + 2 * std::size_t{node.nDocCount};
    std::uint32_t nDocument = 0;
    for (std::uint32_t i = 0; i < node.nDocCount; ++i)
    {
        const std::uint16_t nCount = ReadU16(pCounts + 2 * std::size_t{i});
        nDocument += ReadU16(pCursor);
        pCursor += 2;
        std::uint32_t nPosition = 0;
        for (std::uint32_t j = 0; j < nCount; ++j, pCursor += 2)
        {
            nPosition += ReadU16(pCursor);
            positions.push_back({nDocument, nPosition});
        }
    }
}

void CFullTextSearch2::GetWordDocuments(std::string_view word, std::vector<WordDocument>& documents)
{
    KTRACE("CFullTextSearch2::GetWordDocuments", word);
    int nId = 0;
    std::string bytes;
    if (!PrepareWord(word, nId, bytes))
        return;
    const MFile* pFile = GetIndexFile(nId);
    CPhraseNode node;
    if (!pFile || !FindWordNode(pFile, nId, bytes, kRootOffset, node, m_nodeEnds[nId]))
        return;
    // Only the first position of each document is read; the others are
    // stepped over, so a frequent word costs one read per document.
    documents.reserve(documents.size() + node.nDocCount);
    const std::uint8_t* pCounts = pFile->view + node.nCountsOffset;
    const std::uint8_t* pCursor = pCounts + 2 * std::size_t{node.nDocCount};
    std::uint32_t nDocument = 0;
    for (std::uint32_t i = 0; i < node.nDocCount; ++i)
    {
        const std::uint16_t nCount = ReadU16(pCounts + 2 * std::size_t{i});
        nDocument += ReadU16(pCursor);
        if (nCount > 0)
            documents.push_back({nDocument, ReadU16(pCursor + 2), nCount});
        pCursor += 2 + 2 * std::size_t{nCount};
    }
}

std::set<std::string> CFullTextSearch2::GetStartWords(std::string_view text)
{
    KTRACE("CFullTextSearch2::GetStartWords", text);
    std::set<std::string> words;
    try
    {
        const std::vector<std::string> parts = SplitSearchString(text);
        if (parts.size() != 1)
            return words;
        int nId = 0;
        std::string bytes;
        if (PrepareWord(parts[0], nId, bytes))
            SearchInNodeStartWords(bytes, nId, kRootOffset, words);
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Exception in CFullTextSearch2::GetStartWords";
    }
    return words;
}

void CFullTextSearch2::SearchInNodeStartWords(std::string_view prefix, int nId,
                                              std::uint32_t nOffset, std::set<std::string>& words)
{
    const MFile* pFile = GetIndexFile(nId);
    if (!pFile || IsEmptyTree(pFile, nOffset))
        return;
    // Node, left subtree, right subtree, without recursion: a damaged file
    // cannot exhaust the stack.
    CTreeWalkVisits visits;
    CNodeEnds& ends = m_nodeEnds[nId];
    std::vector<std::uint32_t> pending{nOffset};
    while (!pending.empty())
    {
        nOffset = pending.back();
        pending.pop_back();
        if (!visits.Enter(nOffset))
        {
            KLOG_ERR << "Index tree loops back to offset " << nOffset << ". Index id: " << nId;
            continue;
        }
        CPhraseNode node;
        if (!ReadPhraseNode(pFile, nId, nOffset, node, ends))
            continue;
        const int nCmp = ComparePrefix(prefix, node.word);
        if (nCmp == 0)
        {
            std::string word = CSearchUtils::Win1251ToTChar(node.word);
            if (!word.empty())
                words.insert(std::move(word));
        }
        if (node.nRight >= 1 && nCmp >= 0)
            pending.push_back(node.nRight);
        if (node.bHasLeft && nCmp <= 0)
            pending.push_back(node.nLeftOffset);
    }
}

std::uint32_t CFullTextSearch2::GetPathWidth()
{
    if (m_nPathWidth == 0)
        m_nPathWidth = CSearchUtils::MFileReadUChar(m_pNumbers.get(), 16, 0);
    if (m_nPathWidth == 0)
        KLOG_ERR << "Can't read path length";
    return m_nPathWidth;
}

std::uint32_t CFullTextSearch2::GetDocCount()
{
    if (m_nDocCount != 0)
        return m_nDocCount;
    const std::uint32_t nWidth = GetPathWidth();
    if (nWidth == 0)
        return 0;
    m_nDocCount = (m_pNumbers->size - kRecordsOffset) / (nWidth + 2);
    return m_nDocCount;
}

std::uint32_t CFullTextSearch2::GetWordsCountInDoc(std::uint32_t nDocNumber)
{
    // A record inside the file with a count is read straight from the view;
    // anything else takes the way below with its messages.
    if (m_nPathWidth != 0 && nDocNumber >= 1)
    {
        const std::uint64_t nOffset = std::uint64_t{nDocNumber} * (m_nPathWidth + 2) + 15;
        if (nOffset + 2 <= m_pNumbers->size)
            if (const std::uint16_t nCount = ReadU16(m_pNumbers->view + nOffset); nCount != 0)
                return nCount;
    }
    const std::uint32_t nWidth = GetPathWidth();
    if (nWidth == 0)
        return 0;
    // Record numbers start at 1; record 0 would read the end of the header.
    const std::uint64_t nOffset = std::uint64_t{nDocNumber} * (nWidth + 2) + 15;
    std::uint16_t nCount = 0;
    if (nDocNumber >= 1 && nOffset <= 0xFFFFFFFFu)
        nCount =
            CSearchUtils::MFileReadUShort(m_pNumbers.get(), static_cast<std::uint32_t>(nOffset), 0);
    if (nCount == 0)
        KLOG_ERR << "Can't read words count";
    return nCount;
}

void CFullTextSearch2::FillDocumentPathByNumber(SearchResultSet& results)
{
    KTRACE("CFullTextSearch2::FillDocumentPathByNumber");
    const std::uint32_t nWidth = GetPathWidth();
    if (nWidth == 0)
        return;
    for (const SearchResult& result : results)
        FillDocumentPath(result, nWidth);
}

void CFullTextSearch2::FillDocumentPathByNumber(std::span<const SearchResult* const> records)
{
    KTRACE("CFullTextSearch2::FillDocumentPathByNumber");
    const std::uint32_t nWidth = GetPathWidth();
    if (nWidth == 0)
        return;
    // Records come in rank order, their documents anywhere in the list: the
    // path a few records ahead is fetched while this one is read.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        if (i + kAhead < records.size())
        {
            const std::uint64_t nAhead =
                (std::uint64_t{records[i + kAhead]->docNumber} - 1) * (nWidth + 2) + kRecordsOffset;
            if (records[i + kAhead]->docNumber != 0 && nAhead < m_pNumbers->size)
                __builtin_prefetch(m_pNumbers->view + nAhead);
        }
        FillDocumentPath(*records[i], nWidth);
    }
}

std::uint64_t CFullTextSearch2::GetWordCount() const
{
    std::uint64_t nWords = 0;
    for (const auto& [nId, pFile] : m_indexFiles)
    {
        if (!pFile || IsEmptyTree(pFile.get(), kRootOffset))
            continue;
        CTreeWalkVisits visits;
        CNodeEnds ends; // each node is read once: nothing to remember across reads
        std::vector<std::uint32_t> pending{kRootOffset};
        while (!pending.empty())
        {
            const std::uint32_t nOffset = pending.back();
            pending.pop_back();
            CPhraseNode node;
            if (!visits.Enter(nOffset) || !ReadPhraseNode(pFile.get(), nId, nOffset, node, ends))
                continue;
            ++nWords;
            if (node.nRight >= 1)
                pending.push_back(node.nRight);
            if (node.bHasLeft)
                pending.push_back(node.nLeftOffset);
        }
    }
    return nWords;
}

void CFullTextSearch2::FillDocumentPath(const SearchResult& result, std::uint32_t nWidth)
{
    const std::uint64_t nOffset =
        (std::uint64_t{result.docNumber} - 1) * (nWidth + 2) + kRecordsOffset;
    if (result.docNumber == 0 || nOffset + nWidth > m_pNumbers->size)
    {
        // A record past the end: the reader's own message comes first, as
        // for every failed read.
        char nUnused = 0;
        if (result.docNumber != 0 && nOffset <= 0xFFFFFFFFu)
            CSearchUtils::MFileRead(m_pNumbers.get(), static_cast<std::uint32_t>(nOffset), nWidth,
                                    &nUnused);
        KLOG_ERR << "Can't read path";
        return;
    }
    // The record is read in place: the file is mapped whole.
    const std::string_view bytes(reinterpret_cast<const char*>(m_pNumbers->view) + nOffset, nWidth);
    std::string_view path;
    if (!CSearchUtils::Win1251IsAscii(bytes, path))
    {
        CSearchUtils::Win1251ToTChar(bytes, m_pathBuffer);
        path = m_pathBuffer;
    }
    // Paths written as "ontent/..." are made to start at their "/".
    if (path.starts_with("ontent/"))
        path.remove_prefix(6);
    result.path.assign(path);
}
