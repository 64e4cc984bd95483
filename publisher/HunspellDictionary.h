#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// A hunspell dictionary (.aff affix rules and .dic word list) expanded into
// word forms: each entry with every prefix and suffix its flags allow, and
// the cross products of prefixes and suffixes that permit them. Handles the
// SET encodings iconv knows, the FLAG types (single characters, long, num,
// UTF-8), conditions with character classes, strip strings and FULLSTRIP.
// Continuation classes on affixes (twofold affixes) are not expanded; they
// are counted so a caller can see whether a dictionary uses them.
class CHunspellDictionary
{
public:
    struct CStatistics
    {
        std::uint64_t m_nEntries = 0;
        std::uint64_t m_nAffixRules = 0;
        std::uint64_t m_nContinuationRules = 0; // affix rules whose continuation flags are ignored
        std::uint64_t m_nUnknownFlags = 0;      // entry flags that name no affix class
    };

    // Reads both files, converting them from the .aff's SET encoding.
    bool Load(const std::string& strAffPath, const std::string& strDicPath);
    // The same from UTF-8 texts.
    bool ParseAffixes(std::string_view text);
    bool ParseWords(std::string_view text);

    std::size_t EntryCount() const { return m_entries.size(); }
    // The entry's word first, then its affixed forms in the order of the
    // affix rules (duplicates possible), as UTF-8.
    std::vector<std::string> ExpandEntry(std::size_t nEntry) const;

    const CStatistics& Statistics() const { return m_statistics; }

private:
    enum EFlagType
    {
        FLAG_CHAR,
        FLAG_LONG,
        FLAG_NUM,
    };
    struct CCharClass
    {
        bool m_bAny = false;
        bool m_bNegated = false;
        std::u32string m_chars;
        bool Matches(char32_t ch) const;
    };
    struct CAffixRule
    {
        std::u32string m_strip;
        std::u32string m_add;
        std::vector<CCharClass> m_condition;
    };
    struct CAffixClass
    {
        bool m_bSuffix = true;
        bool m_bCrossProduct = false;
        std::vector<CAffixRule> m_rules;
    };
    struct CEntry
    {
        std::u32string m_word;
        std::vector<std::u32string> m_flags;
    };

    std::vector<std::u32string> ParseFlags(std::u32string_view text) const;
    bool ParseAffixLine(const std::vector<std::u32string>& fields, int nLine);
    bool Applies(const CAffixRule& rule, const std::u32string& word, bool bSuffix) const;

    EFlagType m_flagType = FLAG_CHAR;
    bool m_bFullStrip = false;
    std::map<std::u32string, CAffixClass> m_prefixes;
    std::map<std::u32string, CAffixClass> m_suffixes;
    // The class whose rules are being read, and how many are still to come.
    CAffixClass* m_pOpenClass = nullptr;
    std::u32string m_openFlag;
    std::size_t m_nRulesLeft = 0;
    std::vector<CEntry> m_entries;
    CStatistics m_statistics;
};
