#include "HunspellDictionary.h"

#include "FileUtils.h"
#include "Logger.h"
#include "TextUtils.h"

#include <iconv.h>

#include <algorithm>
#include <utility>

namespace
{
std::vector<std::u32string> SplitFields(std::u32string_view line)
{
    std::vector<std::u32string> fields;
    std::u32string current;
    for (const char32_t ch : line)
    {
        if (ch == U' ' || ch == U'\t')
        {
            if (!current.empty())
                fields.push_back(std::move(current));
            current.clear();
        }
        else
            current += ch;
    }
    if (!current.empty())
        fields.push_back(std::move(current));
    return fields;
}

template <typename Callback> void ForEachLine(std::string_view text, const Callback& callback)
{
    int nLine = 0;
    while (!text.empty())
    {
        const std::size_t nEnd = text.find('\n');
        std::string_view line = text.substr(0, nEnd);
        text = nEnd == std::string_view::npos ? std::string_view() : text.substr(nEnd + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        callback(line, ++nLine);
    }
}

// The charset named by the .aff's SET line, spelled as iconv knows it.
std::string FindCharset(std::string_view aff)
{
    std::string charset = "UTF-8";
    ForEachLine(aff, [&](std::string_view line, int) {
        if (line.starts_with("SET ") || line.starts_with("SET\t"))
            charset = std::string(CTextUtils::Trim(line.substr(4)));
    });
    std::string upper = CTextUtils::ToUpperAscii(charset);
    if (upper.starts_with("MICROSOFT-CP"))
        return "CP" + upper.substr(12);
    if (upper.starts_with("ISO8859-"))
        return "ISO-8859-" + upper.substr(8);
    return upper;
}

bool ConvertToUtf8(const std::string& strCharset, std::string& text)
{
    if (strCharset == "UTF-8")
        return true;
    const iconv_t cd = ::iconv_open("UTF-8", strCharset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
    {
        KLOG_ERR << "CHunspellDictionary: unknown encoding " << strCharset;
        return false;
    }
    std::string out(text.size() * 4 + 4, '\0');
    char* pIn = text.data();
    std::size_t nInLeft = text.size();
    char* pOut = out.data();
    std::size_t nOutLeft = out.size();
    const bool bConverted =
        ::iconv(cd, &pIn, &nInLeft, &pOut, &nOutLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(cd);
    if (!bConverted)
    {
        KLOG_ERR << "CHunspellDictionary: text is not in " << strCharset;
        return false;
    }
    out.resize(out.size() - nOutLeft);
    text = std::move(out);
    return true;
}

bool ParseCount(const std::u32string& text, std::size_t& nValue)
{
    if (text.empty() || text.size() > 9)
        return false;
    nValue = 0;
    for (const char32_t ch : text)
    {
        if (ch < U'0' || ch > U'9')
            return false;
        nValue = nValue * 10 + (ch - U'0');
    }
    return true;
}

std::u32string ZeroMeansEmpty(const std::u32string& text)
{
    return text == U"0" ? std::u32string() : text;
}
} // namespace

bool CHunspellDictionary::CCharClass::Matches(char32_t ch) const
{
    if (m_bAny)
        return true;
    const bool bFound = m_chars.find(ch) != std::u32string::npos;
    return bFound != m_bNegated;
}

bool CHunspellDictionary::Load(const std::string& strAffPath, const std::string& strDicPath)
{
    KTRACE("CHunspellDictionary::Load", strAffPath, strDicPath);
    CByteArray affBytes;
    CByteArray dicBytes;
    if (!CFileUtils::LoadAllBinFile(strAffPath, affBytes) ||
        !CFileUtils::LoadAllBinFile(strDicPath, dicBytes))
        return false;
    std::string aff(affBytes.begin(), affBytes.end());
    std::string dic(dicBytes.begin(), dicBytes.end());
    const std::string strCharset = FindCharset(aff);
    return ConvertToUtf8(strCharset, aff) && ConvertToUtf8(strCharset, dic) && ParseAffixes(aff) &&
           ParseWords(dic);
}

std::vector<std::u32string> CHunspellDictionary::ParseFlags(std::u32string_view text) const
{
    std::vector<std::u32string> flags;
    if (m_flagType == FLAG_NUM)
    {
        std::u32string current;
        for (const char32_t ch : text)
        {
            if (ch == U',')
            {
                if (!current.empty())
                    flags.push_back(std::move(current));
                current.clear();
            }
            else
                current += ch;
        }
        if (!current.empty())
            flags.push_back(std::move(current));
        return flags;
    }
    const std::size_t nWidth = m_flagType == FLAG_LONG ? 2 : 1;
    for (std::size_t i = 0; i + nWidth <= text.size(); i += nWidth)
        flags.emplace_back(text.substr(i, nWidth));
    return flags;
}

bool CHunspellDictionary::ParseAffixes(std::string_view text)
{
    bool bValid = true;
    ForEachLine(text, [&](std::string_view line, int nLine) {
        if (bValid && !line.starts_with('#'))
            bValid = ParseAffixLine(SplitFields(CTextUtils::ToUtf32(line)), nLine);
    });
    if (bValid && m_nRulesLeft > 0)
    {
        KLOG_ERR << "CHunspellDictionary: the affix file ends inside a class";
        bValid = false;
    }
    return bValid;
}

bool CHunspellDictionary::ParseAffixLine(const std::vector<std::u32string>& fields, int nLine)
{
    if (fields.empty())
        return true;
    const std::u32string& keyword = fields[0];
    if (keyword == U"FLAG" && fields.size() >= 2)
    {
        if (fields[1] == U"long")
            m_flagType = FLAG_LONG;
        else if (fields[1] == U"num")
            m_flagType = FLAG_NUM;
        return true;
    }
    if (keyword == U"FULLSTRIP")
    {
        m_bFullStrip = true;
        return true;
    }
    if (keyword != U"PFX" && keyword != U"SFX")
        return true;
    const bool bSuffix = keyword == U"SFX";
    std::size_t nCount = 0;
    if (m_nRulesLeft == 0)
    {
        // The class header: flag, cross product, number of rules.
        if (fields.size() < 4 || !ParseCount(fields[3], nCount))
        {
            KLOG_ERR << "CHunspellDictionary: bad affix header on line " << nLine;
            return false;
        }
        auto& classes = bSuffix ? m_suffixes : m_prefixes;
        m_openFlag = fields[1];
        m_pOpenClass = &classes[m_openFlag];
        m_pOpenClass->m_bSuffix = bSuffix;
        m_pOpenClass->m_bCrossProduct = fields[2] == U"Y";
        m_nRulesLeft = nCount;
        return true;
    }
    if (fields.size() < 4 || fields[1] != m_openFlag || m_pOpenClass->m_bSuffix != bSuffix)
    {
        KLOG_ERR << "CHunspellDictionary: bad affix rule on line " << nLine;
        return false;
    }
    CAffixRule rule;
    rule.m_strip = ZeroMeansEmpty(fields[2]);
    std::u32string add = fields[3];
    if (const std::size_t nSlash = add.find(U'/'); nSlash != std::u32string::npos)
    {
        add.erase(nSlash);
        ++m_statistics.m_nContinuationRules;
    }
    rule.m_add = ZeroMeansEmpty(add);
    const std::u32string condition = fields.size() >= 5 ? fields[4] : U".";
    for (std::size_t i = 0; i < condition.size(); ++i)
    {
        CCharClass charClass;
        if (condition[i] == U'.')
            charClass.m_bAny = true;
        else if (condition[i] == U'[')
        {
            const std::size_t nClose = condition.find(U']', i);
            if (nClose == std::u32string::npos)
            {
                KLOG_ERR << "CHunspellDictionary: unclosed condition on line " << nLine;
                return false;
            }
            std::size_t nStart = i + 1;
            if (nStart < nClose && condition[nStart] == U'^')
            {
                charClass.m_bNegated = true;
                ++nStart;
            }
            charClass.m_chars = condition.substr(nStart, nClose - nStart);
            i = nClose;
        }
        else
            charClass.m_chars = condition.substr(i, 1);
        rule.m_condition.push_back(std::move(charClass));
    }
    m_pOpenClass->m_rules.push_back(std::move(rule));
    ++m_statistics.m_nAffixRules;
    --m_nRulesLeft;
    return true;
}

bool CHunspellDictionary::ParseWords(std::string_view text)
{
    bool bFirst = true;
    ForEachLine(text, [&](std::string_view line, int) {
        line = CTextUtils::Trim(line);
        // The first line holds the approximate number of entries.
        if (std::exchange(bFirst, false) && !line.empty() &&
            std::all_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return;
        if (line.empty() || line.starts_with('#') || line.starts_with('\t'))
            return;
        // Morphological fields follow the word after a blank or a tab.
        const std::u32string entryText =
            CTextUtils::ToUtf32(line.substr(0, line.find_first_of(" \t")));
        CEntry entry;
        std::size_t nSlash = entryText.find(U'/');
        // "\/" is a slash inside the word.
        while (nSlash != std::u32string::npos && nSlash > 0 && entryText[nSlash - 1] == U'\\')
            nSlash = entryText.find(U'/', nSlash + 1);
        entry.m_word = entryText.substr(0, nSlash);
        for (std::size_t nPos = entry.m_word.find(U"\\/"); nPos != std::u32string::npos;
             nPos = entry.m_word.find(U"\\/", nPos))
            entry.m_word.erase(nPos, 1);
        if (nSlash != std::u32string::npos)
            entry.m_flags = ParseFlags(std::u32string_view(entryText).substr(nSlash + 1));
        for (const std::u32string& flag : entry.m_flags)
            if (!m_suffixes.contains(flag) && !m_prefixes.contains(flag))
                ++m_statistics.m_nUnknownFlags;
        if (!entry.m_word.empty())
            m_entries.push_back(std::move(entry));
    });
    m_statistics.m_nEntries = m_entries.size();
    return true;
}

bool CHunspellDictionary::Applies(const CAffixRule& rule, const std::u32string& word,
                                  bool bSuffix) const
{
    const std::size_t nLength = word.size();
    // The stripped part must leave something of the word, unless FULLSTRIP.
    if (!(nLength > rule.m_strip.size() || (m_bFullStrip && nLength == rule.m_strip.size())))
        return false;
    if (nLength < rule.m_condition.size())
        return false;
    const std::size_t nConditionStart = bSuffix ? nLength - rule.m_condition.size() : 0;
    for (std::size_t i = 0; i < rule.m_condition.size(); ++i)
        if (!rule.m_condition[i].Matches(word[nConditionStart + i]))
            return false;
    if (bSuffix)
        return word.compare(nLength - rule.m_strip.size(), rule.m_strip.size(), rule.m_strip) == 0;
    return word.compare(0, rule.m_strip.size(), rule.m_strip) == 0;
}

std::vector<std::string> CHunspellDictionary::ExpandEntry(std::size_t nEntry) const
{
    const CEntry& entry = m_entries.at(nEntry);
    std::vector<std::u32string> forms{entry.m_word};
    std::vector<std::u32string> crossable; // suffixed forms that may take a prefix too
    for (const std::u32string& flag : entry.m_flags)
    {
        const auto it = m_suffixes.find(flag);
        if (it == m_suffixes.end())
            continue;
        for (const CAffixRule& rule : it->second.m_rules)
        {
            if (!Applies(rule, entry.m_word, true))
                continue;
            std::u32string form =
                entry.m_word.substr(0, entry.m_word.size() - rule.m_strip.size()) + rule.m_add;
            if (it->second.m_bCrossProduct)
                crossable.push_back(form);
            forms.push_back(std::move(form));
        }
    }
    for (const std::u32string& flag : entry.m_flags)
    {
        const auto it = m_prefixes.find(flag);
        if (it == m_prefixes.end())
            continue;
        for (const CAffixRule& rule : it->second.m_rules)
        {
            // Prefix conditions are tested on the entry's word, also for the
            // cross products with its suffixed forms.
            if (!Applies(rule, entry.m_word, false))
                continue;
            forms.push_back(rule.m_add + entry.m_word.substr(rule.m_strip.size()));
            if (!it->second.m_bCrossProduct)
                continue;
            for (const std::u32string& suffixed : crossable)
                if (suffixed.compare(0, rule.m_strip.size(), rule.m_strip) == 0)
                    forms.push_back(rule.m_add + suffixed.substr(rule.m_strip.size()));
        }
    }
    std::vector<std::string> result;
    result.reserve(forms.size());
    for (const std::u32string& form : forms)
        result.push_back(CTextUtils::FromUtf32(form));
    return result;
}
