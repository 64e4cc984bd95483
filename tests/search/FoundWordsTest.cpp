// What a found word is, one rule for the search, the snippets of the result
// list and the marks in an opened document (the page's marking is checked
// against the same table by the browser tests).
#include "QuerySnippet.h"
#include "SearchUtils.h"
#include "TextUtils.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unicode/uniset.h>
#include <unicode/unistr.h>

#include <fstream>
#include <regex>

TEST(FoundWords, TheClassSentToThePageIsTheSearchsWordRule)
{
    // The page builds a regular expression of the class; ICU reads the same
    // property syntax, so every character of the Basic Multilingual Plane is
    // asked of both.
    UErrorCode status = U_ZERO_ERROR;
    const std::string strPattern = "[" + std::string(kWordCharacterClass) + "]";
    const icu::UnicodeSet set(icu::UnicodeString::fromUTF8(strPattern), status);
    ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    std::size_t nDifferent = 0;
    for (char32_t ch = 0; ch < 0x10000; ++ch)
        if (set.contains(static_cast<UChar32>(ch)) != IsWordCharacter(ch) && ++nDifferent <= 5)
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(ch);
    EXPECT_EQ(nDifferent, 0u);
}

TEST(FoundWords, SnippetsMarkWhatTheTableMarks)
{
    std::ifstream in(KALIMOR_TEST_DATA_DIR "/found-words.json");
    ASSERT_TRUE(in) << "the table of found words";
    const nlohmann::json cases = nlohmann::json::parse(in);
    ASSERT_FALSE(cases.empty());
    const std::regex bold("<b>(.*?)</b>");
    for (const auto& test : cases)
    {
        const std::string strWord = CTextUtils::ToLower(test["word"].get<std::string>());
        const std::string strSnippet =
            BuildQuerySnippet(test["text"].get<std::string>(), {{strWord}});
        std::vector<std::string> marked;
        for (std::sregex_iterator it(strSnippet.begin(), strSnippet.end(), bold), end; it != end;
             ++it)
            marked.push_back((*it)[1]);
        EXPECT_EQ(marked, test["marked"].get<std::vector<std::string>>())
            << test["what"].get<std::string>() << ": " << strSnippet;
    }
}
