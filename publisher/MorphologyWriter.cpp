#include "MorphologyWriter.h"

#include "Logger.h"
#include "MorphoSearch.h"
#include "SearchFileWriter.h"
#include "SearchUtils.h"
#include "TextUtils.h"

#include <algorithm>
#include <set>

namespace
{
constexpr int kBucketCount = 8192;
constexpr std::size_t kMaxField = 255;
constexpr std::size_t kMaxNodeSize = 0xFFFF;
constexpr int kDictOther = 0;
constexpr int kDictAdditional = 1;

std::size_t CommonPrefixLength(std::string_view a, std::string_view b)
{
    const auto mismatch =
        std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin());
    return static_cast<std::size_t>(mismatch.first - a.begin());
}

// The index id of a Windows-1251 lower-case letter (а..я, ё), or -1.
int IndexIdOfByte(unsigned char c)
{
    if (c >= 0xE0)
        return kIndexIdFirst + (c - 0xE0);
    return c == 0xB8 ? kIndexIdYo : -1;
}

void AppendU16(std::vector<std::uint8_t>& out, std::size_t nValue)
{
    out.push_back(static_cast<std::uint8_t>(nValue >> 8));
    out.push_back(static_cast<std::uint8_t>(nValue));
}

void PatchU32(std::vector<std::uint8_t>& out, std::size_t nOffset, std::uint32_t nValue)
{
    for (int i = 0; i < 4; ++i)
        out[nOffset + i] = static_cast<std::uint8_t>(nValue >> (24 - 8 * i));
}
} // namespace

std::size_t CMorphoFileWriter::CNode::EncodedSize(EMorphoLayout layout) const
{
    std::size_t nSize = 9 + m_key.size();
    for (const CEntry& entry : m_entries)
        nSize += (layout == MORPHO_LAYOUT_WHOLE_WORDS ? 2 : 1) + entry.m_text.size();
    return nSize;
}

bool CMorphoFileWriter::AddParadigm(const std::vector<std::string>& forms)
{
    if (forms.empty())
        return false;
    for (const std::string& form : forms)
        if (form.empty() || form.size() > kMaxField)
            return false;
    return m_layout == MORPHO_LAYOUT_STEMS ? AddStemParadigm(forms) : AddWholeWordParadigm(forms);
}

bool CMorphoFileWriter::AddStemParadigm(const std::vector<std::string>& forms)
{
    std::size_t nStem = forms[0].size();
    for (const std::string& form : forms)
        nStem = std::min(nStem, CommonPrefixLength(forms[0], form));
    if (nStem == 0)
        return false;
    // A node holds at most 255 endings and 65535 bytes: a larger paradigm
    // takes several nodes with the same stem, each led by the base ending so
    // that each names the base form.
    const std::string stem = forms[0].substr(0, nStem);
    const CEntry baseEnding{0, forms[0].substr(nStem)};
    CNode node{stem, {baseEnding}};
    for (std::size_t i = 1; i < forms.size(); ++i)
    {
        CEntry ending{0, forms[i].substr(nStem)};
        if (node.m_entries.size() == kMaxField ||
            node.EncodedSize(m_layout) + 1 + ending.m_text.size() > kMaxNodeSize)
        {
            m_nodes.push_back(std::move(node));
            node = CNode{stem, {baseEnding}};
        }
        node.m_entries.push_back(std::move(ending));
    }
    m_nodes.push_back(std::move(node));
    return true;
}

bool CMorphoFileWriter::AddWholeWordParadigm(const std::vector<std::string>& forms)
{
    const std::string& base = forms[0];
    for (const std::string& form : forms)
    {
        const std::size_t nPrefix = CommonPrefixLength(form, base);
        CNode node{form, {{static_cast<std::uint8_t>(nPrefix), base.substr(nPrefix)}}};
        // The base entry matches only the base form itself; any other form
        // needs an entry of its own: all of its bytes taken from the key.
        if (form != base)
            node.m_entries.push_back({static_cast<std::uint8_t>(form.size()), {}});
        m_nodes.push_back(std::move(node));
    }
    return true;
}

void CMorphoFileWriter::WriteNode(std::vector<std::uint8_t>& out, const CNode& node,
                                  bool bHasLeft) const
{
    AppendU16(out, node.EncodedSize(m_layout));
    out.push_back(static_cast<std::uint8_t>(node.m_key.size()));
    out.insert(out.end(), node.m_key.begin(), node.m_key.end());
    out.push_back(static_cast<std::uint8_t>(node.m_entries.size()));
    out.push_back(bHasLeft ? 1 : 0);
    out.insert(out.end(), 4, 0); // right offset, patched by the caller
    for (const CEntry& entry : node.m_entries)
    {
        out.push_back(static_cast<std::uint8_t>(entry.m_text.size()));
        if (m_layout == MORPHO_LAYOUT_WHOLE_WORDS)
            out.push_back(entry.m_nPrefix);
        out.insert(out.end(), entry.m_text.begin(), entry.m_text.end());
    }
}

void CMorphoFileWriter::WriteTree(std::vector<std::uint8_t>& out,
                                  const std::vector<std::size_t>& nodes, std::size_t nLow,
                                  std::size_t nHigh) const
{
    const std::size_t nMiddle = nLow + (nHigh - nLow) / 2;
    const CNode& node = m_nodes[nodes[nMiddle]];
    const std::size_t nStart = out.size();
    WriteNode(out, node, nLow < nMiddle);
    if (nLow < nMiddle)
        WriteTree(out, nodes, nLow, nMiddle);
    if (nMiddle + 1 < nHigh)
    {
        PatchU32(out, nStart + 5 + node.m_key.size(), static_cast<std::uint32_t>(out.size()));
        WriteTree(out, nodes, nMiddle + 1, nHigh);
    }
}

std::vector<std::uint8_t> CMorphoFileWriter::Build() const
{
    std::vector<std::vector<std::size_t>> buckets(kBucketCount);
    for (std::size_t i = 0; i < m_nodes.size(); ++i)
        buckets[CSearchUtils::GetHash(m_nodes[i].m_key)].push_back(i);

    const std::string_view magic = m_layout == MORPHO_LAYOUT_STEMS ? kMagicWords1 : kMagicWords2;
    std::vector<std::uint8_t> out(magic.begin(), magic.end());
    out.resize(kSearchMagicSize + std::size_t{4} * kBucketCount, 0);
    for (int h = 0; h < kBucketCount; ++h)
    {
        auto& bucket = buckets[h];
        if (bucket.empty())
            continue;
        // Equal keys (paradigms sharing a stem) stay in the order they were added.
        std::stable_sort(bucket.begin(), bucket.end(), [&](std::size_t a, std::size_t b) {
            return m_nodes[a].m_key < m_nodes[b].m_key;
        });
        PatchU32(out, kSearchMagicSize + std::size_t{4} * h,
                 static_cast<std::uint32_t>(out.size()));
        WriteTree(out, bucket, 0, bucket.size());
        // Offsets are read as signed numbers: the file must stay below 2 GiB.
        if (out.size() > 0x7FFFFFFFu)
        {
            KLOG_ERR << "CMorphoFileWriter: the dictionary is larger than 2 GiB";
            return {};
        }
    }
    return out;
}

CMorphologyWriter::CMorphologyWriter()
{
    for (const int nIndex : CMorphoSearch::GetDictIndexes())
        m_files.emplace(nIndex, CMorphoFileWriter(nIndex == kDictOther ? MORPHO_LAYOUT_WHOLE_WORDS
                                                                       : MORPHO_LAYOUT_STEMS));
}

bool CMorphologyWriter::PrepareForms(const std::vector<std::string>& forms,
                                     std::vector<std::string>& bytes)
{
    std::set<std::string> seen;
    for (std::size_t i = 0; i < forms.size(); ++i)
    {
        std::string converted;
        // Forms that no lookup can reach (not beginning with а..я, ё), or
        // that the file cannot hold, are left out; without its base form the
        // paradigm is.
        if (!CSearchUtils::TCharToWin1251(CTextUtils::ToLower(forms[i]), converted) ||
            converted.empty() || converted.size() > kMaxField ||
            IndexIdOfByte(static_cast<unsigned char>(converted[0])) == -1)
        {
            ++m_statistics.m_nRejectedForms;
            if (i == 0)
                return false;
            continue;
        }
        if (seen.insert(converted).second)
            bytes.push_back(std::move(converted));
    }
    return !bytes.empty();
}

bool CMorphologyWriter::AddParadigm(const std::vector<std::string>& forms)
{
    std::vector<std::string> bytes;
    if (!PrepareForms(forms, bytes))
    {
        ++m_statistics.m_nRejectedParadigms;
        return false;
    }
    const int nId = IndexIdOfByte(static_cast<unsigned char>(bytes[0][0]));
    bool bAdded = m_files.at(nId).AddParadigm(bytes);
    if (bAdded)
        ++m_statistics.m_nStemParadigms;
    else
        bAdded = m_files.at(kDictOther).AddParadigm(bytes);
    if (!bAdded)
    {
        ++m_statistics.m_nRejectedParadigms;
        return false;
    }
    ++m_statistics.m_nParadigms;
    m_statistics.m_nForms += bytes.size();
    return true;
}

bool CMorphologyWriter::AddAdditionalParadigm(const std::vector<std::string>& forms)
{
    std::vector<std::string> bytes;
    if (!PrepareForms(forms, bytes) || !m_files.at(kDictAdditional).AddParadigm(bytes))
    {
        ++m_statistics.m_nRejectedParadigms;
        return false;
    }
    ++m_statistics.m_nParadigms;
    ++m_statistics.m_nStemParadigms;
    m_statistics.m_nForms += bytes.size();
    return true;
}

bool CMorphologyWriter::Save(const std::string& strFolder) const
{
    KTRACE("CMorphologyWriter::Save", strFolder);
    const std::string strBase = strFolder.ends_with('/') ? strFolder : strFolder + "/";
    for (const auto& [nIndex, writer] : m_files)
    {
        const std::vector<std::uint8_t> bytes = writer.Build();
        if (bytes.empty() ||
            !SaveSearchFile(strBase + CMorphoSearch::GetDictFileName(nIndex), bytes))
            return false;
    }
    return true;
}
