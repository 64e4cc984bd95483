// The views the main window goes to, made without a window from a small
// library published the way real content is: the search, the prompts and
// phrases, the sections, the recent documents, the forms and the links.
#include "ViewMaker.h"
#include "SearchLibrary.h"

namespace
{
void WriteLibrary(const CTempDir& src)
{
    WriteFileText(src.File("encyclopedia.xml"), R"(<encyclopedia>
<section name="НДС" code="nds"><section name="Вычеты">
  <section name="Налоговые вычеты" url="/nds/deduction.html"><section name="Условия" anchor="conditions"/></section>
  <section name="Восстановление НДС" url="/nds/restore.html"/></section></section>
<section name="УСН" code="usn"><section name="Применение"><section name="Ставки на упрощенке" url="/usn/rates.html"/>
  </section></section>
</encyclopedia>)");
    WriteFileText(src.File("pages/nds/deduction.html"),
                  "<html><body><h1>Налоговые вычеты</h1><p>Вычеты уменьшают налог.</p>"
                  "<h2 id=\"conditions\">Условия</h2><p>Счет-фактура.</p></body></html>");
    WriteFileText(src.File("pages/nds/restore.html"),
                  "<html><body><h1>Восстановление</h1><p>Налог восстанавливают.</p></body></html>");
    WriteFileText(src.File("pages/usn/rates.html"),
                  "<html><body><h1>Ставки</h1><p>Ставка шесть процентов; налоги платят "
                  "авансами.</p></body></html>");
    WriteFileText(src.File("registry2.xml"), R"xml(<search_registry>
<section name="В"><word text="Восстановление налога"><link site_url="/usn/rates.html"/><link site_url="/nds/restore.html"/></word>
  <word text="Вычеты по НДС"><link site_url="/nds/deduction.html"/></word>
  <word text="Вычет без документа"><link site_url="/gone.html"/></word></section>
</search_registry>)xml");
    WriteFileText(src.File("search_prompts2.xml"), R"(<prompts>
<prompt text="ставки упрощенки"><link site_url="/usn/rates.html"/></prompt>
<prompt text="вычеты по ндс"><link site_url="/nds/restore.html"/></prompt>
</prompts>)");
    WriteFileText(src.File("search_synonyms.xml"), "<search_synonyms></search_synonyms>");
}

struct CViewMakerFixture : ::testing::Test
{
    static void SetUpTestSuite() { s_pLibrary = std::make_unique<CPublishedLibrary>(WriteLibrary); }
    static void TearDownTestSuite() { s_pLibrary.reset(); }

    CViewMakerFixture()
    {
        WriteEncipheredFile(forms.File("blanks.dat"),
                            R"(<blanks><section name="Отчетность" code="tax">
<blank day="2" month="10" year="2024" name="Декларация" upload_url="/blanks/files/profit.rtf"
 instruction_url="/usn/rates.html" site_url="/np/declaration.html"><approval>-</approval><used>-</used></blank>
</section></blanks>)");
        EXPECT_TRUE(context.m_blanks.LoadData(forms.File("blanks.dat")));
    }

    static std::vector<std::string> Urls(const CSectionList& sections)
    {
        std::vector<std::string> urls;
        // A subsection of an anchor lies in its parent's page.
        for (const CEncyclopediaSection* pSection : sections)
        {
            const CEncyclopediaSection* pPage =
                pSection->m_strURL.empty() && pSection->m_pParent ? pSection->m_pParent : pSection;
            urls.push_back(pPage->m_strURL +
                           (pSection->m_strAnchor.empty() ? "" : "#" + pSection->m_strAnchor));
        }
        return urls;
    }
    static std::string UrlOf(const CBookmark& view)
    {
        return view.m_pSection ? Urls({view.m_pSection}).front() : std::string();
    }

    static inline std::unique_ptr<CPublishedLibrary> s_pLibrary;
    CTestContext context;
    CTempDir forms;
    CLoadedSearch loaded{*s_pLibrary, context};
    CViewMaker maker{context};
};
} // namespace

TEST_F(CViewMakerFixture, SearchFindsSectionsByCodeWithTheQueryAndItsWordForms)
{
    ASSERT_TRUE(maker.CanSearch());
    const std::unique_ptr<CBookmark> pView = maker.ForSearch("Налог");
    ASSERT_NE(pView, nullptr);
    EXPECT_EQ(pView->m_nType, CBookmark::VIEW_SEARCH_RESULTS);
    EXPECT_EQ(pView->m_strSearchString, "Налог") << "as typed, though searched in lower case";
    EXPECT_EQ(pView->m_nFoundDocuments, 3u);
    ASSERT_EQ(pView->m_sectionsByCode.size(), 2u);
    EXPECT_EQ(Urls(pView->m_sectionsByCode.at("nds")).size(), 2u);
    EXPECT_EQ(Urls(pView->m_sectionsByCode.at("usn")), std::vector<std::string>{"/usn/rates.html"});
    // One group of forms per word; all of them together for the marks.
    ASSERT_EQ(pView->m_highlightGroups.size(), 1u);
    EXPECT_TRUE(pView->m_highlightGroups.front().count("налог"));
    EXPECT_TRUE(pView->m_highlightGroups.front().count("налоги"));
    EXPECT_EQ(pView->m_highlightWords, pView->m_highlightGroups.front());

    context.m_pSearch = nullptr;
    EXPECT_FALSE(maker.CanSearch());
    EXPECT_EQ(maker.ForSearch("налог"), nullptr);
}

TEST_F(CViewMakerFixture, PromptsPhrasesSectionsAndRecentDocumentsBecomeSectionViews)
{
    struct CCase
    {
        const char* szName;
        std::function<std::unique_ptr<CBookmark>()> make;
        std::vector<std::string> sections; // empty: no view
        const char* szShown;
        const char* szSearchString;
    };
    const CCase cases[] = {
        {"a phrase of one document",
         [&] { return maker.ForPrompt("Вычеты по НДС"); },
         {"/nds/deduction.html"},
         "/nds/deduction.html",
         "Вычеты по НДС"},
        {"the registry's phrase before the prompt list's entry",
         [&] { return maker.ForPrompt("вычеты по ндс"); },
         {"/nds/deduction.html"},
         "/nds/deduction.html",
         "вычеты по ндс"},
        {"only the prompt list knows it",
         [&] { return maker.ForPrompt("ставки упрощенки"); },
         {"/usn/rates.html"},
         "/usn/rates.html",
         "ставки упрощенки"},
        {"several documents: listed by name, the first shown",
         [&] { return maker.ForPrompt("Восстановление налога"); },
         {"/nds/restore.html", "/usn/rates.html"},
         "/nds/restore.html",
         "Восстановление налога"},
        {"a phrase whose document is gone",
         [&] { return maker.ForPrompt("Вычет без документа"); },
         {},
         "",
         ""},
        {"an unknown prompt", [&] { return maker.ForPrompt("нет такой"); }, {}, "", ""},
        {"links given directly",
         [&] { return maker.ForLinks({"/nds/deduction.html#conditions"}, "условия"); },
         {"/nds/deduction.html#conditions"},
         "/nds/deduction.html#conditions",
         "условия"},
        {"a first-level section: its first document",
         [&] { return maker.ForSectionType("usn"); },
         {},
         "/usn/rates.html",
         ""},
        {"an unknown first-level section", [&] { return maker.ForSectionType("xx"); }, {}, "", ""},
        {"a recent document",
         [&] {
             return maker.ForRecentDocument({"/nds/restore.html", "Восстановление"});
         },
         {},
         "/nds/restore.html",
         ""},
        {"a recent document that is gone",
         [&] {
             return maker.ForRecentDocument({"/gone.html", "Нет"});
         },
         {},
         "",
         ""},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.szName);
        const std::unique_ptr<CBookmark> pView = c.make();
        if (std::string(c.szShown).empty())
        {
            EXPECT_EQ(pView, nullptr);
            continue;
        }
        ASSERT_NE(pView, nullptr);
        EXPECT_EQ(pView->m_nType, CBookmark::VIEW_SECTION);
        EXPECT_EQ(UrlOf(*pView), c.szShown);
        EXPECT_EQ(Urls(pView->m_sections), c.sections);
        EXPECT_EQ(pView->m_strSearchString, c.szSearchString);
    }
}

TEST_F(CViewMakerFixture, LinksBecomeTheirSectionPageOrForm)
{
    struct CCase
    {
        const char* szUrl;
        ELinkKind eKind;
        const char* szShown; // empty: no view
        const char* szPage;
    };
    const std::string strFile =
        "file://" + context.GetDocumentsFolder() + "nds/deduction.html#conditions";
    const CCase cases[] = {
        {"https://www.nalog.example/", ELinkKind::WEB, "", ""},
        {"mailto:help@nalog.example", ELinkKind::MAIL, "", ""},
        {"/nds/restore.html", ELinkKind::DOCUMENT, "/nds/restore.html", ""},
        // An anchor the tree knows is its subsection; one it does not is
        // where the page opens.
        {"/nds/deduction.html#conditions", ELinkKind::DOCUMENT, "/nds/deduction.html#conditions",
         ""},
        {"/nds/deduction.html#other", ELinkKind::DOCUMENT, "/nds/deduction.html",
         "/nds/deduction.html#other"},
        {strFile.c_str(), ELinkKind::DOCUMENT, "/nds/deduction.html#conditions", ""},
        {"/nds/gone.html", ELinkKind::DOCUMENT, "", ""},
        {"http:", ELinkKind::DOCUMENT, "", ""},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.szUrl);
        const CLinkTarget target = maker.Classify(c.szUrl);
        EXPECT_EQ(target.m_eKind, c.eKind);
        if (target.m_eKind != ELinkKind::DOCUMENT)
            continue;
        const std::unique_ptr<CBookmark> pView = maker.ForDocument(target, c.szUrl);
        if (std::string(c.szShown).empty())
        {
            EXPECT_EQ(pView, nullptr);
            continue;
        }
        ASSERT_NE(pView, nullptr);
        EXPECT_EQ(UrlOf(*pView), c.szShown);
        EXPECT_EQ(pView->m_strPage, c.szPage);
    }

    // A form's file: the form of the library, or a sample in the place of
    // the section's document.
    const std::unique_ptr<CBookmark> pForm = maker.ForFormOf("/blanks/files/profit.rtf");
    ASSERT_NE(pForm, nullptr);
    EXPECT_EQ(pForm->m_nType, CBookmark::VIEW_FORM);
    ASSERT_NE(pForm->m_pBlank, nullptr);
    EXPECT_EQ(pForm->m_pBlank->m_strName, "Декларация");
    EXPECT_EQ(maker.ForFormOf("/blanks/files/other.rtf"), nullptr);
    CEncyclopediaSection* pSection = context.m_encyclopedia.FindSectionByURL("/nds/restore.html");
    const std::unique_ptr<CBookmark> pSample =
        maker.ForFilledSample("/blanks/samples/a.html", pSection);
    ASSERT_NE(pSample, nullptr);
    EXPECT_EQ(UrlOf(*pSample), "/nds/restore.html");
    EXPECT_EQ(pSample->m_strPage, "/blanks/samples/a.html");
    EXPECT_EQ(maker.ForFilledSample("/blanks/samples/a.html", nullptr), nullptr);
}
