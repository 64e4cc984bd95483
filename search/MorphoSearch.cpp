#include "MorphoSearch.h"

#include "Logger.h"

#include <cstring>
#include <exception>
#include <span>

namespace
{
constexpr int kDictOther = 0;
constexpr int kDictAdditional = 1;
constexpr int kBucketCount = 8192;
constexpr std::uint32_t kBucketTableOffset = 16;
// Node size, key length, entry count, left flag and right offset.
constexpr std::size_t kNodeFixedSize = 2 + 1 + 1 + 1 + 4;

// One tree node, parsed from its own bytes.
struct CMorphoNode
{
    std::string_view key;
    std::uint8_t nEntries = 0;
    bool bHasLeft = false;
    std::uint32_t nRight = 0;
    std::span<const std::uint8_t> entries; // the rest of the node
};

bool ParseNode(std::span<const std::uint8_t> bytes, CMorphoNode& node)
{
    if (bytes.size() < kNodeFixedSize)
        return false;
    const std::size_t nKey = bytes[2];
    if (bytes.size() < kNodeFixedSize + nKey)
        return false;
    node.key = std::string_view(reinterpret_cast<const char*>(bytes.data()) + 3, nKey);
    node.nEntries = bytes[3 + nKey];
    node.bHasLeft = bytes[4 + nKey] > 0;
    node.nRight = (std::uint32_t{bytes[5 + nKey]} << 24) | (std::uint32_t{bytes[6 + nKey]} << 16) |
                  (std::uint32_t{bytes[7 + nKey]} << 8) | bytes[8 + nKey];
    node.entries = bytes.subspan(kNodeFixedSize + nKey);
    return true;
}

// One entry: an ending (type 1) or the tail of a form after p key bytes (type 2).
struct CMorphoEntry
{
    std::size_t nPrefix = 0;
    std::string_view text;
};

// Reads the entries in order; stops (and says so) when one runs past the node.
class CEntryReader
{
public:
    CEntryReader(const CMorphoNode& node, bool bWholeWords)
        : m_node(node),
          m_bWholeWords(bWholeWords)
    {
    }

    bool Next(CMorphoEntry& entry)
    {
        if (m_nRead >= m_node.nEntries)
            return false;
        const std::size_t nHeader = m_bWholeWords ? 2 : 1;
        const auto& bytes = m_node.entries;
        if (m_nPos + nHeader > bytes.size() || m_nPos + nHeader + bytes[m_nPos] > bytes.size())
        {
            m_bDamaged = true;
            return false;
        }
        const std::size_t nLength = bytes[m_nPos];
        entry.nPrefix = m_bWholeWords ? bytes[m_nPos + 1] : m_node.key.size();
        entry.text = std::string_view(
            reinterpret_cast<const char*>(bytes.data()) + m_nPos + nHeader, nLength);
        m_nPos += nHeader + nLength;
        ++m_nRead;
        return true;
    }
    bool IsDamaged() const { return m_bDamaged; }

private:
    const CMorphoNode& m_node;
    bool m_bWholeWords;
    std::size_t m_nPos = 0;
    std::size_t m_nRead = 0;
    bool m_bDamaged = false;
};

bool EntryMatches(const CMorphoEntry& entry, bool bWholeWords, std::string_view prefix,
                  std::string_view suffix)
{
    if (!bWholeWords)
        return entry.text == suffix;
    const std::size_t nTotal = entry.nPrefix + entry.text.size();
    return nTotal > 0 && nTotal == prefix.size() && prefix.substr(entry.nPrefix) == entry.text;
}

// The form an entry stands for; false when it would reach past the key.
bool BuildForm(const CMorphoNode& node, const CMorphoEntry& entry, std::string& form)
{
    if (entry.nPrefix > node.key.size())
        return false;
    form.assign(node.key.substr(0, entry.nPrefix));
    form.append(entry.text);
    return true;
}
// Every form of a stem-and-ending node; a whole-word node adds nothing.
void AppendAllForms(const CMorphoNode& node, bool bWholeWords, std::vector<std::string>& allForms)
{
    if (bWholeWords)
        return;
    CEntryReader reader(node, false);
    CMorphoEntry entry;
    std::string form;
    while (reader.Next(entry))
        if (BuildForm(node, entry, form))
            if (std::string text = CSearchUtils::Win1251ToTChar(form); !text.empty())
                allForms.push_back(std::move(text));
}
} // namespace

CMorphoSearch::CMorphoSearch(std::string strMorphologyFolder)
    : m_strMorphologyFolder(std::move(strMorphologyFolder))
{
}

std::string CMorphoSearch::GetDictFileName(int nDictIndex)
{
    if (nDictIndex == kDictAdditional)
        return "add/words.additional";
    if (nDictIndex == kDictOther)
        return "common/words.other";
    if ((nDictIndex >= kIndexIdFirst && nDictIndex <= kIndexIdLast) || nDictIndex == kIndexIdYo)
        return "common/words." + std::to_string(nDictIndex);
    return {};
}

std::vector<int> CMorphoSearch::GetDictIndexes()
{
    std::vector<int> indexes = GetSearchIndexIds();
    indexes.insert(indexes.begin(), kDictAdditional);
    return indexes;
}

bool CMorphoSearch::LoadData()
{
    KTRACE("CMorphoSearch::LoadData");
    FreeData();
    try
    {
        for (const int nIndex : GetDictIndexes())
            if (!LoadDict(nIndex))
                return false;
        return true;
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Can't load morpho dictionaries";
        return false;
    }
}

void CMorphoSearch::FreeData()
{
    KTRACE("CMorphoSearch::FreeData");
    m_dicts.clear();
}

bool CMorphoSearch::LoadDict(int nDictIndex)
{
    KTRACE("CMorphoSearch::LoadDict");
    const std::string strName = GetDictFileName(nDictIndex);
    if (strName.empty() || m_strMorphologyFolder.empty())
    {
        KLOG_ERR << "Can't get path for dictionary with index " << nDictIndex;
        m_dicts.erase(nDictIndex);
        return false;
    }
    std::string strPath = m_strMorphologyFolder;
    if (!strPath.ends_with('/'))
        strPath += '/';
    strPath += strName;
    KLOG_DEBUG << "CMorphoSearch::LoadDict dictPath: " << strPath;
    MFilePtr pFile = CSearchUtils::MFileLoad(strPath);
    if (!pFile)
    {
        KLOG_ERR << "Can't open handles for " << strPath;
        m_dicts.erase(nDictIndex);
        return false;
    }
    if (pFile->type != SEARCH_FILE_WORDS_1 && pFile->type != SEARCH_FILE_WORDS_2)
    {
        KLOG_ERR << "Incorrect dictionary format (" << strPath << ". Closing";
        m_dicts.erase(nDictIndex);
        return false;
    }
    m_dicts[nDictIndex] = std::move(pFile);
    return true;
}

std::vector<std::string> CMorphoSearch::GetBaseForms(std::string_view word)
{
    KTRACE("CMorphoSearch::GetBaseForms", word);
    std::vector<std::string> baseForms;
    Search(word, baseForms, nullptr);
    return baseForms;
}

std::vector<std::string> CMorphoSearch::GetAllForms(std::string_view word)
{
    KTRACE("CMorphoSearch::GetAllForms", word);
    std::vector<std::string> baseForms;
    std::vector<std::string> allForms;
    Search(word, baseForms, &allForms);
    return allForms;
}

void CMorphoSearch::Search(std::string_view word, std::vector<std::string>& baseForms,
                           std::vector<std::string>* pAllForms)
{
    try
    {
        const int nId = CSearchUtils::GetIndexForWord(word);
        if (nId == -1)
            return;
        std::string bytes;
        if (!CSearchUtils::TCharToWin1251(word, bytes))
        {
            KLOG_ERR << "Can't convert word to cp1251";
            return;
        }
        for (const int nDict : {kDictOther, kDictAdditional, nId})
            SearchInDict(bytes, nDict, baseForms, pAllForms);
    }
    catch (const std::exception&)
    {
        KLOG_ERR << "Exception in CMorphoSearch::Search";
    }
}

const MFile* CMorphoSearch::GetDict(int nDictIndex) const
{
    const auto it = m_dicts.find(nDictIndex);
    if (it == m_dicts.end() || !it->second)
    {
        KLOG_ERR << "Dictionary index " << nDictIndex << " incorrect";
        return nullptr;
    }
    return it->second.get();
}

void CMorphoSearch::SearchInDict(std::string_view bytes, int nDictIndex,
                                 std::vector<std::string>& baseForms,
                                 std::vector<std::string>* pAllForms)
{
    const MFile* pFile = GetDict(nDictIndex);
    if (!pFile || bytes.empty())
        return;
    // Longest stem first; a whole-word dictionary is keyed by the whole word.
    for (std::size_t k = bytes.size(); k >= 1; --k)
    {
        const std::string_view prefix = bytes.substr(0, k);
        const std::uint32_t nRoot = GetTreeOffset(pFile, CSearchUtils::GetHash(prefix));
        if (nRoot > 0)
            SearchInNode(pFile, nDictIndex, nRoot, prefix, bytes.substr(k), baseForms, pAllForms);
        if (pFile->type == SEARCH_FILE_WORDS_2)
            break;
    }
}

std::uint32_t CMorphoSearch::GetTreeOffset(const MFile* pFile, int nHash)
{
    if (nHash < 0 || nHash >= kBucketCount)
    {
        KLOG_ERR << "Incorrect hash parameter: " << nHash;
        return 0;
    }
    const std::uint32_t nOffset =
        CSearchUtils::MFileReadULong(pFile, kBucketTableOffset + 4 * nHash, 0);
    // An empty bucket holds 0 or a negative number.
    return static_cast<std::int32_t>(nOffset) < 1 ? 0 : nOffset;
}

std::uint16_t CMorphoSearch::GetTreeNodeSize(const MFile* pFile, std::uint32_t nOffset)
{
    return CSearchUtils::MFileReadUShort(pFile, nOffset, 0);
}

bool CMorphoSearch::GetTreeNode(const MFile* pFile, int nDictIndex, std::uint32_t nOffset,
                                std::uint16_t nSize, std::vector<std::uint8_t>& buffer)
{
    buffer.resize(nSize);
    if (CSearchUtils::MFileRead(pFile, nOffset, nSize, buffer.data()) != nSize)
    {
        KLOG_ERR << "Can't read tree node. Dict index: " << nDictIndex;
        return false;
    }
    return true;
}

void CMorphoSearch::SearchInNode(const MFile* pFile, int nDictIndex, std::uint32_t nOffset,
                                 std::string_view prefix, std::string_view suffix,
                                 std::vector<std::string>& baseForms,
                                 std::vector<std::string>* pAllForms)
{
    if (pFile->type != SEARCH_FILE_WORDS_1 && pFile->type != SEARCH_FILE_WORDS_2)
    {
        KLOG_ERR << "Unsupported dictionary type";
        return;
    }
    const bool bWholeWords = pFile->type == SEARCH_FILE_WORDS_2;
    // Node, left subtree, right subtree, without recursion: equal keys send
    // the search into both subtrees, and a damaged file must not exhaust the
    // stack or loop.
    CTreeWalkVisits& visits = m_visits;
    std::vector<std::uint32_t>& pending = m_pending;
    visits.Clear();
    pending.assign(1, nOffset);
    std::string form;
    while (!pending.empty())
    {
        nOffset = pending.back();
        pending.pop_back();
        if (!visits.Enter(nOffset))
        {
            KLOG_ERR << "Dictionary tree loops back to offset " << nOffset
                     << ". Dict index: " << nDictIndex;
            continue;
        }
        const std::uint16_t nSize = GetTreeNodeSize(pFile, nOffset);
        if (nSize == 0)
        {
            KLOG_ERR << "Invalid tree offset";
            continue;
        }
        if (!GetTreeNode(pFile, nDictIndex, nOffset, nSize, m_nodeBuffer))
        {
            KLOG_ERR << "Can't read node to buffer";
            continue;
        }
        CMorphoNode node;
        if (!ParseNode(m_nodeBuffer, node))
        {
            KLOG_ERR << "Tree node is shorter than its key. Dict index: " << nDictIndex
                     << "; offset: " << nOffset;
            continue;
        }
        const int nCmp = CompareSearchBytes(prefix, node.key);
        if (nCmp == 0)
        {
            CEntryReader reader(node, bWholeWords);
            CMorphoEntry entry;
            CMorphoEntry first;
            bool bMatched = false;
            for (bool bFirst = true; reader.Next(entry); bFirst = false)
            {
                if (bFirst)
                    first = entry;
                bMatched = bMatched || EntryMatches(entry, bWholeWords, prefix, suffix);
            }
            // The entries that fit are still used.
            if (reader.IsDamaged())
                KLOG_ERR << "Tree node entries run past the node. Dict index: " << nDictIndex
                         << "; offset: " << nOffset;
            if (bMatched && BuildForm(node, first, form))
            {
                if (std::string base = CSearchUtils::Win1251ToTChar(form); !base.empty())
                    baseForms.push_back(std::move(base));
                if (pAllForms)
                    AppendAllForms(node, bWholeWords, *pAllForms);
            }
        }
        if (node.nRight >= 1 && nCmp >= 0)
            pending.push_back(node.nRight);
        if (node.bHasLeft && nCmp <= 0)
        {
            const std::uint64_t nLeft = std::uint64_t{nOffset} + nSize;
            if (nLeft <= 0xFFFFFFFFu)
                pending.push_back(static_cast<std::uint32_t>(nLeft));
        }
    }
}

std::uint64_t CMorphoSearch::GetNodeCount()
{
    std::uint64_t nNodes = 0;
    for (const auto& [nDictIndex, pFile] : m_dicts)
    {
        if (!pFile)
            continue;
        for (int nHash = 0; nHash < kBucketCount; ++nHash)
        {
            const std::uint32_t nRoot = GetTreeOffset(pFile.get(), nHash);
            if (nRoot == 0)
                continue;
            m_visits.Clear();
            m_pending.assign(1, nRoot);
            while (!m_pending.empty())
            {
                const std::uint32_t nOffset = m_pending.back();
                m_pending.pop_back();
                const std::uint16_t nSize = GetTreeNodeSize(pFile.get(), nOffset);
                CMorphoNode node;
                if (!m_visits.Enter(nOffset) || nSize == 0 ||
                    !GetTreeNode(pFile.get(), nDictIndex, nOffset, nSize, m_nodeBuffer) ||
                    !ParseNode(m_nodeBuffer, node))
                    continue;
                ++nNodes;
                if (node.nRight >= 1)
                    m_pending.push_back(node.nRight);
                if (node.bHasLeft && std::uint64_t{nOffset} + nSize <= 0xFFFFFFFFu)
                    m_pending.push_back(nOffset + nSize);
            }
        }
    }
    return nNodes;
}
