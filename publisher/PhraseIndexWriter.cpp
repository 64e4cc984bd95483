#include "PhraseIndexWriter.h"

#include "Logger.h"
#include "SearchFileWriter.h"
#include "SearchUtils.h"
#include "TextUtils.h"

#include <algorithm>
#include <span>

namespace
{
constexpr std::uint32_t kMax16 = 0xFFFF;
constexpr std::size_t kMaxWordLength = 255;

// A word's node body in the 16-bit steps of the format: the occurrence count
// of each entry, and per entry the step from the previous entry's document
// followed by the steps between the word's positions in that document. A
// step of more than 65535 documents is bridged with entries that hold no
// position; a node holds at most 65535 entries, so a word found in more
// documents is first cut down to them (KeepWeightiestDocuments); a position
// more than 65535 past the previous one in its document cannot be written.
struct CEncodedNode
{
    std::vector<std::uint16_t> m_counts;
    std::vector<std::uint16_t> m_steps;
    std::uint32_t m_nDroppedDocuments = 0;
    std::vector<std::uint32_t> m_cutDocuments;
};

// The occurrences are sorted and unique.
void EncodeOccurrences(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& occurrences,
                       CEncodedNode& node, CPhraseIndexWriter::CStatistics& statistics)
{
    node.m_counts.clear();
    node.m_steps.clear();
    node.m_nDroppedDocuments = 0;
    node.m_cutDocuments.clear();
    std::uint32_t nPreviousDocument = 0;
    for (std::size_t i = 0; i < occurrences.size();)
    {
        const std::uint32_t nDocument = occurrences[i].first;
        std::size_t nEnd = i;
        while (nEnd < occurrences.size() && occurrences[nEnd].first == nDocument)
            ++nEnd;
        std::uint32_t nGap = nDocument - nPreviousDocument;
        while (nGap > kMax16 && node.m_counts.size() < kMax16)
        {
            node.m_counts.push_back(0);
            node.m_steps.push_back(static_cast<std::uint16_t>(kMax16));
            ++statistics.m_nBridgeEntries;
            nPreviousDocument += kMax16;
            nGap -= kMax16;
        }
        if (node.m_counts.size() >= kMax16)
        {
            for (std::size_t k = i; k < occurrences.size(); ++k)
                if (k == i || occurrences[k].first != occurrences[k - 1].first)
                    ++node.m_nDroppedDocuments;
            statistics.m_nDroppedOccurrences += occurrences.size() - i;
            break;
        }
        node.m_steps.push_back(static_cast<std::uint16_t>(nGap));
        std::uint32_t nPrevious = 0;
        std::uint32_t nWritten = 0;
        bool bCut = false;
        for (std::size_t k = i; k < nEnd; ++k)
        {
            const std::uint32_t nPosition = occurrences[k].second;
            if (nPosition - nPrevious > kMax16 || nWritten >= kMax16)
            {
                bCut = true;
                ++statistics.m_nDroppedOccurrences;
                continue;
            }
            node.m_steps.push_back(static_cast<std::uint16_t>(nPosition - nPrevious));
            nPrevious = nPosition;
            ++nWritten;
        }
        if (bCut)
            node.m_cutDocuments.push_back(nDocument);
        statistics.m_nOccurrences += nWritten;
        node.m_counts.push_back(static_cast<std::uint16_t>(nWritten));
        nPreviousDocument = nDocument;
        i = nEnd;
    }
}

using COccurrences = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The entries a node needs for these documents (ascending): one each, and
// the bridges of steps longer than 65535.
std::uint64_t EntriesNeeded(const std::vector<std::uint32_t>& documents)
{
    std::uint64_t nEntries = documents.size();
    std::uint32_t nPrevious = 0;
    for (const std::uint32_t nDocument : documents)
    {
        nEntries += (nDocument - nPrevious - 1) / kMax16;
        nPrevious = nDocument;
    }
    return nEntries;
}

// A word found in more documents than a node can hold keeps those where it
// weighs most (its share of the document's words, the weight a one-word
// search ranks by; the earlier document on a tie), so that the best answers
// to a search for it stay whole. Returns how many documents were left out;
// the occurrences keep their order.
std::uint32_t KeepWeightiestDocuments(COccurrences& occurrences,
                                      std::span<const std::uint32_t> wordCounts,
                                      std::uint64_t& nDroppedOccurrences)
{
    struct CDocumentWeight
    {
        std::uint32_t m_nDocument;
        std::uint32_t m_nCount;
        std::uint32_t m_nWords;
    };
    std::vector<CDocumentWeight> weights;
    for (std::size_t i = 0; i < occurrences.size(); ++i)
    {
        const std::uint32_t nDocument = occurrences[i].first;
        if (weights.empty() || weights.back().m_nDocument != nDocument)
        {
            const std::uint32_t nWords =
                nDocument <= wordCounts.size() ? wordCounts[nDocument - 1] : 0;
            // The search divides by the stored count, which is capped.
            weights.push_back({nDocument, 0, std::clamp<std::uint32_t>(nWords, 1, kMax16)});
        }
        ++weights.back().m_nCount;
    }
    std::vector<std::uint32_t> kept;
    for (const CDocumentWeight& weight : weights)
        kept.push_back(weight.m_nDocument);
    if (EntriesNeeded(kept) <= kMax16)
        return 0;
    std::sort(weights.begin(), weights.end(),
              [](const CDocumentWeight& a, const CDocumentWeight& b) {
                  const std::uint64_t nA = std::uint64_t{a.m_nCount} * b.m_nWords;
                  const std::uint64_t nB = std::uint64_t{b.m_nCount} * a.m_nWords;
                  return nA != nB ? nA > nB : a.m_nDocument < b.m_nDocument;
              });
    // Fewer documents when the ones kept need bridges between them.
    std::size_t nKeep = std::min<std::size_t>(kMax16, weights.size());
    for (;;)
    {
        kept.clear();
        for (std::size_t i = 0; i < nKeep; ++i)
            kept.push_back(weights[i].m_nDocument);
        std::sort(kept.begin(), kept.end());
        const std::uint64_t nEntries = EntriesNeeded(kept);
        if (nEntries <= kMax16)
            break;
        nKeep -= std::min<std::size_t>(nKeep, static_cast<std::size_t>(nEntries - kMax16));
    }
    const std::size_t nBefore = occurrences.size();
    std::erase_if(occurrences, [&kept](const std::pair<std::uint32_t, std::uint32_t>& occurrence) {
        return !std::binary_search(kept.begin(), kept.end(), occurrence.first);
    });
    nDroppedOccurrences += nBefore - occurrences.size();
    return static_cast<std::uint32_t>(weights.size() - nKeep);
}

// Writes the words [nLow, nHigh) as a balanced tree in preorder: the middle
// word, its left subtree right after it, then its right subtree, whose offset
// is patched into the node. Returns false when an offset passes 4 GiB.
template <typename Word, typename WriteNodeBody>
bool WriteTree(CSearchFileBuffer& buffer, const std::vector<Word*>& words, std::size_t nLow,
               std::size_t nHigh, const WriteNodeBody& writeBody)
{
    const std::size_t nMiddle = nLow + (nHigh - nLow) / 2;
    Word& entry = *words[nMiddle];
    const std::string& word = entry.m_bytes;
    const std::size_t nNode = buffer.Size();
    // Word length, document count (written by the body), left flag, right offset.
    buffer.AppendUChar(static_cast<std::uint8_t>(word.size()));
    buffer.AppendUShort(0);
    buffer.AppendUChar(nLow < nMiddle ? 1 : 0);
    buffer.AppendULong(0);
    buffer.AppendBytes(word);
    buffer.PatchUShort(nNode + 1, writeBody(buffer, entry));
    if (nLow < nMiddle && !WriteTree(buffer, words, nLow, nMiddle, writeBody))
        return false;
    if (nMiddle + 1 < nHigh)
    {
        if (buffer.Size() > 0xFFFFFFFFu)
            return false;
        buffer.PatchULong(nNode + 4, static_cast<std::uint32_t>(buffer.Size()));
        if (!WriteTree(buffer, words, nMiddle + 1, nHigh, writeBody))
            return false;
    }
    return buffer.Size() <= 0xFFFFFFFFu;
}
} // namespace

std::uint32_t CPhraseIndexWriter::AddDocument(std::string_view path, std::uint32_t nWordCount)
{
    if (nWordCount > kMax16)
        m_statistics.m_longDocuments.emplace_back(
            static_cast<std::uint32_t>(m_documents.size() + 1), nWordCount);
    std::string bytes;
    if (!CSearchUtils::TCharToWin1251(path, bytes))
    {
        KLOG_ERR << "CPhraseIndexWriter: document path has no Windows-1251 form: " << path;
        m_bBadPath = true;
    }
    m_documents.push_back({bytes, nWordCount});
    return static_cast<std::uint32_t>(m_documents.size());
}

std::uint32_t CPhraseIndexWriter::GetWordHandle(std::string_view word)
{
    const std::string lower = CTextUtils::ToLower(word);
    std::string bytes;
    if (lower.empty() || !CSearchUtils::TCharToWin1251(lower, bytes) ||
        bytes.size() > kMaxWordLength)
        return kNoWord;
    if (const auto it = m_handles.find(bytes); it != m_handles.end())
        return it->second;
    int nId = CSearchUtils::GetIndexForWord(lower);
    if (nId == -1)
        nId = kIndexIdOther;
    const auto nHandle = static_cast<std::uint32_t>(m_words.size());
    m_wordsById[nId].push_back(nHandle);
    m_handles.emplace(bytes, nHandle);
    m_words.push_back({std::move(bytes), {}});
    return nHandle;
}

bool CPhraseIndexWriter::AddOccurrence(std::uint32_t nWord, std::uint32_t nDocNumber,
                                       std::uint32_t nPosition)
{
    if (nWord >= m_words.size() || nDocNumber == 0 || nDocNumber > m_documents.size())
    {
        ++m_statistics.m_nRejectedWords;
        return false;
    }
    m_words[nWord].m_occurrences.emplace_back(nDocNumber, nPosition);
    return true;
}

bool CPhraseIndexWriter::AddWord(std::uint32_t nDocNumber, std::string_view word,
                                 std::uint32_t nPosition)
{
    if (nDocNumber == 0 || nDocNumber > m_documents.size())
    {
        ++m_statistics.m_nRejectedWords;
        return false;
    }
    return AddOccurrence(GetWordHandle(word), nDocNumber, nPosition);
}

std::uint32_t CPhraseIndexWriter::AddDocumentWords(std::string_view path,
                                                   const std::vector<std::string>& words)
{
    const std::uint32_t nDocNumber = AddDocument(path, static_cast<std::uint32_t>(words.size()));
    for (std::size_t i = 0; i < words.size(); ++i)
        AddWord(nDocNumber, words[i], static_cast<std::uint32_t>(i));
    return nDocNumber;
}

std::vector<CPhraseIndexWriter::CWord*> CPhraseIndexWriter::SortedWords(int nId)
{
    std::vector<CWord*> words;
    const auto itWords = m_wordsById.find(nId);
    if (itWords == m_wordsById.end())
        return words;
    for (const std::uint32_t nHandle : itWords->second)
    {
        CWord& word = m_words[nHandle];
        // A handle taken for a word that never occurred writes no node.
        auto& occurrences = word.m_occurrences;
        if (occurrences.empty())
            continue;
        // Pages add their words in order, so this is mostly a check.
        if (!std::is_sorted(occurrences.begin(), occurrences.end()))
            std::sort(occurrences.begin(), occurrences.end());
        occurrences.erase(std::unique(occurrences.begin(), occurrences.end()), occurrences.end());
        words.push_back(&word);
    }
    // Byte order, as std::string compares.
    std::sort(words.begin(), words.end(),
              [](const CWord* a, const CWord* b) { return a->m_bytes < b->m_bytes; });
    return words;
}

std::vector<std::uint8_t> CPhraseIndexWriter::BuildPhraseIndex(int nId)
{
    CSearchFileBuffer buffer;
    buffer.AppendBytes(kMagicIndex2);
    const std::vector<CWord*> words = SortedWords(nId);
    if (words.empty())
        return buffer.Take();
    std::vector<std::uint32_t> wordCounts;
    wordCounts.reserve(m_documents.size());
    for (const CDocument& document : m_documents)
        wordCounts.push_back(document.m_nWordCount);
    CEncodedNode node;
    COccurrences kept;
    const auto writeBody = [&](CSearchFileBuffer& out, const CWord& word) -> std::uint16_t {
        std::uint32_t nLeftOut = 0;
        // Only a list this long can need more entries than a node holds.
        if (word.m_occurrences.size() + word.m_occurrences.back().first / kMax16 > kMax16)
        {
            kept = word.m_occurrences;
            nLeftOut =
                KeepWeightiestDocuments(kept, wordCounts, m_statistics.m_nDroppedOccurrences);
        }
        EncodeOccurrences(nLeftOut > 0 ? kept : word.m_occurrences, node, m_statistics);
        node.m_nDroppedDocuments += nLeftOut;
        out.AppendUShorts(node.m_counts);
        out.AppendUShorts(node.m_steps);
        if (node.m_nDroppedDocuments > 0 || !node.m_cutDocuments.empty())
        {
            const std::string strWord = CSearchUtils::Win1251ToTChar(word.m_bytes);
            if (node.m_nDroppedDocuments > 0)
                m_statistics.m_overfullWords.emplace_back(strWord, node.m_nDroppedDocuments);
            for (const std::uint32_t nDocument : node.m_cutDocuments)
                m_statistics.m_cutDocuments[nDocument].push_back(strWord);
        }
        ++m_statistics.m_nWords;
        return static_cast<std::uint16_t>(node.m_counts.size());
    };
    if (!WriteTree(buffer, words, 0, words.size(), writeBody))
    {
        KLOG_ERR << "CPhraseIndexWriter: index " << nId << " is larger than 4 GiB";
        return {};
    }
    return buffer.Take();
}

bool CPhraseIndexWriter::EncodePaths(std::vector<std::string>& paths, std::uint8_t& nWidth) const
{
    if (m_bBadPath)
        return false;
    // The narrowest field that holds every path; at least one byte.
    std::size_t nLongest = 1;
    for (const CDocument& document : m_documents)
    {
        nLongest = std::max(nLongest, document.m_path.size());
        paths.push_back(document.m_path);
    }
    if (nLongest > 255)
    {
        KLOG_ERR << "CPhraseIndexWriter: a document path is longer than 255 bytes";
        return false;
    }
    nWidth = static_cast<std::uint8_t>(nLongest);
    return true;
}

std::vector<std::uint8_t> CPhraseIndexWriter::BuildPhraseNumbers() const
{
    std::vector<std::string> paths;
    std::uint8_t nWidth = 0;
    if (!EncodePaths(paths, nWidth))
        return {};
    CSearchFileBuffer buffer;
    buffer.AppendBytes(kMagicFNames2);
    buffer.AppendUChar(nWidth);
    for (std::size_t i = 0; i < m_documents.size(); ++i)
    {
        paths[i].resize(nWidth, '\0');
        buffer.AppendBytes(paths[i]);
        buffer.AppendUShort(
            static_cast<std::uint16_t>(std::min(m_documents[i].m_nWordCount, kMax16)));
    }
    return buffer.Take();
}

std::vector<std::uint8_t> CPhraseIndexWriter::BuildIndex1()
{
    CSearchFileBuffer buffer;
    buffer.AppendBytes(kMagicIndex1);
    return buffer.Take();
}

std::vector<std::uint8_t> CPhraseIndexWriter::BuildNumbers1()
{
    CSearchFileBuffer buffer;
    buffer.AppendBytes(kMagicFNames1);
    return buffer.Take();
}

bool CPhraseIndexWriter::Save(const std::string& strFolder)
{
    KTRACE("CPhraseIndexWriter::Save", strFolder);
    m_statistics.ResetWrittenCounts();
    const std::string strBase = strFolder.ends_with('/') ? strFolder : strFolder + "/";
    const auto save = [&](const std::string& strName, const std::vector<std::uint8_t>& bytes) {
        return !bytes.empty() && SaveSearchFile(strBase + strName, bytes);
    };
    for (const int nId : GetSearchIndexIds())
    {
        const std::string strId = std::to_string(nId);
        if (!save("phrase_index." + strId, BuildPhraseIndex(nId)) ||
            !save("index." + strId, BuildIndex1()))
            return false;
    }
    return save("phrase_numbers.dat", BuildPhraseNumbers()) && save("numbers.dat", BuildNumbers1());
}
