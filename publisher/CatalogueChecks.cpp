#include "CatalogueChecks.h"

#include "NewInfoData.h"
#include "WorkCalendar.h"
#include "XMLUtils.h"

#include <array>
#include <set>

namespace
{
bool IsElement(const xmlNode* pNode)
{
    return pNode && pNode->type == XML_ELEMENT_NODE;
}

bool IsTag(const xmlNode* pNode, std::string_view tag)
{
    return IsElement(pNode) && CXMLUtils::GetTagName(pNode) == tag;
}

std::string Attribute(const xmlNode* pNode, std::string_view name)
{
    std::string strValue;
    CXMLUtils::GetAttributeString(pNode, name, strValue, "");
    return strValue;
}

// Catalogues list their entries as child elements; text or anything else
// between them would not be read.
template <typename Fn> void ForEachElement(const xmlNode* pNode, CCatalogueChecker& checker, Fn fn)
{
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
    {
        if (IsElement(pChild))
            fn(pChild);
        else if (pChild->type == XML_TEXT_NODE || pChild->type == XML_CDATA_SECTION_NODE)
            checker.Warning(pChild, "text between entries is ignored");
    }
}

void CheckMRUDocuments(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    const xmlNode* pList = pRoot->children;
    while (pList && !IsElement(pList))
        pList = pList->next;
    if (!pList)
    {
        checker.Error(pRoot, "the root element must hold a list element with the documents");
        return;
    }
    std::set<std::string> names;
    ForEachElement(pList, checker, [&](const xmlNode* pDoc) {
        if (checker.RequireAttribute(pDoc, "name") && checker.RequireAttribute(pDoc, "url") &&
            !names.insert(Attribute(pDoc, "name")).second)
            checker.Warning(pDoc, "a second document named \"" + Attribute(pDoc, "name") +
                                      "\" is not shown");
    });
}

void CheckBlanks(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    ForEachElement(pRoot, checker, [&](const xmlNode* pSection) {
        checker.RequireAttribute(pSection, "name");
        checker.RequireAttribute(pSection, "code");
        ForEachElement(pSection, checker, [&](const xmlNode* pBlank) {
            checker.RequireDate(pBlank);
            for (const char* szName : {"name", "upload_url", "instruction_url", "site_url"})
                checker.RequireAttribute(pBlank, szName);
            checker.RequireChild(pBlank, "approval");
            checker.RequireChild(pBlank, "used");
            for (const xmlNode* pChild = pBlank->children; pChild; pChild = pChild->next)
                if (IsTag(pChild, "image"))
                    checker.RequireAttribute(pChild, "url");
        });
    });
}

void CheckTaxCalendar(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    if (!checker.RequireRoot(pRoot, "payments"))
        return;
    ForEachElement(pRoot, checker, [&](const xmlNode* pEntry) {
        const std::string strTag = CXMLUtils::GetTagName(pEntry);
        if (strTag != "tax" && strTag != "report")
        {
            checker.Warning(pEntry,
                            "<" + strTag + "> is neither a tax nor a report and is ignored");
            return;
        }
        checker.RequireDate(pEntry);
        const std::array<const char*, 5> taxFields{"name", "payer", "budget", "payment_entry",
                                                   "group"};
        const std::array<const char*, 4> reportFields{"reporter", "kind", "form", "group"};
        if (strTag == "tax")
            checker.RequireChild(pEntry, "name");
        else
            checker.RequireChild(pEntry, "form");
        for (const xmlNode* pChild = pEntry->children; pChild; pChild = pChild->next)
        {
            if (!IsElement(pChild))
                continue;
            const std::string strField = CXMLUtils::GetTagName(pChild);
            const auto known = [&](const auto& fields) {
                for (const char* szName : fields)
                    if (strField == szName)
                        return true;
                return false;
            };
            if (!(strTag == "tax" ? known(taxFields) : known(reportFields)))
                checker.Warning(pChild, "<" + strField + "> is not a field of a " + strTag);
        }
    });
}

void CheckWorkCalendar(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    if (!checker.RequireRoot(pRoot, "work_calendar"))
        return;
    ForEachElement(pRoot, checker, [&](const xmlNode* pYear) {
        if (!IsTag(pYear, "year"))
            return checker.Warning(pYear, "only <year> elements are read here");
        unsigned nYear = 0;
        CXMLUtils::GetAttributeUINT(pYear, "value", nYear);
        if (!checker.RequireAttribute(pYear, "value") || !CWorkCalendar::IsValidDate({nYear, 1, 1}))
            return checker.Error(pYear, "a year needs a \"value\" such as 2027");
        std::set<std::pair<unsigned, unsigned>> days;
        ForEachElement(pYear, checker, [&](const xmlNode* pDay) {
            const std::string strTag = CXMLUtils::GetTagName(pDay);
            if (strTag != "holiday" && strTag != "short" && strTag != "workday")
                return checker.Warning(pDay, "<" + strTag + "> is not a day kind and is ignored");
            unsigned nDay = 0, nMonth = 0;
            CXMLUtils::GetAttributeUINT(pDay, "day", nDay);
            CXMLUtils::GetAttributeUINT(pDay, "month", nMonth);
            if (!CWorkCalendar::IsValidDate({nYear, nMonth, nDay}))
                return checker.Error(pDay, "no such day: " + std::to_string(nDay) + "." +
                                               std::to_string(nMonth) + "." +
                                               std::to_string(nYear));
            if (!days.insert({nMonth, nDay}).second)
                checker.Warning(pDay, "the day is listed twice");
        });
    });
}

void CheckNews(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    ForEachElement(pRoot, checker, [&](const xmlNode* pItem) {
        checker.RequireDate(pItem);
        const std::string strText = CXMLUtils::GetText(pItem);
        if (strText.find_first_not_of(" \t\r\n") == std::string::npos)
            checker.Error(pItem, "the news item has no text");
        std::string strBody;
        std::vector<std::string> links;
        if (!CNewInfoData::ProcessHTML(strText, 0, strBody, links))
            checker.Error(pItem, "the item's text must be well-formed markup with an \"href\" on "
                                 "every link (write it in a CDATA section)");
    });
}

void CheckSynonyms(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    if (!checker.RequireRoot(pRoot, "search_synonyms"))
        return;
    ForEachElement(pRoot, checker, [&](const xmlNode* pWord) {
        if (!IsTag(pWord, "word"))
            return checker.Warning(pWord, "only <word> elements are read here");
        checker.RequireNonEmptyAttribute(pWord, "text");
        std::size_t nSynonyms = 0;
        for (const xmlNode* pChild = pWord->children; pChild; pChild = pChild->next)
            if (IsTag(pChild, "synonym") && checker.RequireNonEmptyAttribute(pChild, "text"))
                ++nSynonyms;
        if (nSynonyms == 0)
            checker.Warning(pWord, "a word without synonyms adds nothing");
    });
}

void CheckRegistryPhrase(const xmlNode* pWord, CCatalogueChecker& checker)
{
    checker.RequireNonEmptyAttribute(pWord, "text");
    std::size_t nLinks = 0;
    for (const xmlNode* pLink = pWord->children; pLink; pLink = pLink->next)
        if (IsElement(pLink) && checker.RequireNonEmptyAttribute(pLink, "site_url"))
            ++nLinks;
    if (nLinks == 0)
        checker.Error(pWord, "the phrase \"" + Attribute(pWord, "text") + "\" has no link");
}

// The root holds sections; a section holds phrases and nested sections.
void CheckRegistrySections(const xmlNode* pNode, CCatalogueChecker& checker, bool bInSection)
{
    ForEachElement(pNode, checker, [&](const xmlNode* pChild) {
        if (bInSection && IsTag(pChild, "word"))
            return CheckRegistryPhrase(pChild, checker);
        if (!IsTag(pChild, "section"))
            return checker.Warning(pChild, bInSection
                                               ? "only <section> and <word> elements are read here"
                                               : "only <section> elements are read here");
        if (checker.RequireNonEmptyAttribute(pChild, "name"))
            CheckRegistrySections(pChild, checker, true);
    });
}

void CheckRegistry(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    if (checker.RequireRoot(pRoot, "search_registry"))
        CheckRegistrySections(pRoot, checker, false);
}

void CheckPrompts(const xmlNode* pRoot, CCatalogueChecker& checker)
{
    std::set<std::string> texts;
    ForEachElement(pRoot, checker, [&](const xmlNode* pPrompt) {
        if (!checker.RequireNonEmptyAttribute(pPrompt, "text"))
            return;
        if (!texts.insert(Attribute(pPrompt, "text")).second)
            checker.Error(pPrompt,
                          "the prompt \"" + Attribute(pPrompt, "text") + "\" is listed twice");
        std::size_t nLinks = 0;
        for (const xmlNode* pLink = pPrompt->children; pLink; pLink = pLink->next)
            if (IsTag(pLink, "link") && checker.RequireNonEmptyAttribute(pLink, "site_url"))
                ++nLinks;
        if (nLinks == 0)
            checker.Error(pPrompt, "the prompt has no <link site_url=\"...\"/>");
    });
}

constexpr std::array<CCatalogueSpec, 8> kCatalogues{{
    {"mru_documents.xml", "mru_documents.dat", CheckMRUDocuments},
    {"blanks.xml", "blanks.dat", CheckBlanks},
    {"tax_calendar.xml", "tax_calendar.dat", CheckTaxCalendar},
    {"work_calendar.xml", "work_calendar.dat", CheckWorkCalendar},
    {"news.xml", "news.dat", CheckNews},
    {"search_synonyms.xml", "search_synonyms.dat", CheckSynonyms},
    {"registry2.xml", "registry2.dat", CheckRegistry},
    {"search_prompts2.xml", "search_prompts2.dat", CheckPrompts},
}};
} // namespace

std::span<const CCatalogueSpec> GetCatalogueSpecs()
{
    return kCatalogues;
}

std::string CCatalogueChecker::Describe(const xmlNode* pNode)
{
    return IsElement(pNode) ? "<" + CXMLUtils::GetTagName(pNode) + ">" : "text";
}

void CCatalogueChecker::Error(const xmlNode* pNode, std::string_view message)
{
    m_report.Error(m_strFile, pNode ? xmlGetLineNo(pNode) : 0, message);
}

void CCatalogueChecker::Warning(const xmlNode* pNode, std::string_view message)
{
    m_report.Warning(m_strFile, pNode ? xmlGetLineNo(pNode) : 0, message);
}

bool CCatalogueChecker::RequireRoot(const xmlNode* pRoot, std::string_view name)
{
    if (IsTag(pRoot, name))
        return true;
    Error(pRoot, "the root element must be <" + std::string(name) + ">, not " + Describe(pRoot));
    return false;
}

bool CCatalogueChecker::RequireAttribute(const xmlNode* pNode, std::string_view name)
{
    if (CXMLUtils::HasAttribute(pNode, name))
        return true;
    Error(pNode, Describe(pNode) + " has no \"" + std::string(name) + "\" attribute");
    return false;
}

bool CCatalogueChecker::RequireNonEmptyAttribute(const xmlNode* pNode, std::string_view name)
{
    if (!RequireAttribute(pNode, name))
        return false;
    if (!Attribute(pNode, name).empty())
        return true;
    Error(pNode, Describe(pNode) + " has an empty \"" + std::string(name) + "\" attribute");
    return false;
}

bool CCatalogueChecker::RequireChild(const xmlNode* pNode, std::string_view tag)
{
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
        if (IsTag(pChild, tag))
            return true;
    Error(pNode, Describe(pNode) + " has no <" + std::string(tag) + "> element");
    return false;
}

bool CCatalogueChecker::RequireDate(const xmlNode* pNode)
{
    unsigned nDay = 0, nMonth = 0, nYear = 0;
    const bool bPresent = RequireAttribute(pNode, "day") && RequireAttribute(pNode, "month") &&
                          RequireAttribute(pNode, "year");
    if (!bPresent)
        return false;
    CXMLUtils::GetAttributeUINT(pNode, "day", nDay);
    CXMLUtils::GetAttributeUINT(pNode, "month", nMonth);
    CXMLUtils::GetAttributeUINT(pNode, "year", nYear);
    if (CWorkCalendar::IsValidDate({nYear, nMonth, nDay}))
        return true;
    Error(pNode, Describe(pNode) + " has no real date: " + Attribute(pNode, "day") + "." +
                     Attribute(pNode, "month") + "." + Attribute(pNode, "year"));
    return false;
}
