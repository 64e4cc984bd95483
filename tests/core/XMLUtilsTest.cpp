#include "XMLUtils.h"
#include "Cipher.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace
{
void WriteEnciphered(const std::string& path, std::string text)
{
    CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    WriteFileText(path, text);
}

const char kCatalogue[] = R"(<?xml version="1.0" encoding="utf-8"?>
<encyclopedia>
  <section name="Налог на прибыль" id="12" url="/np/index.html" code="np">
    <section name="Ставки &amp; льготы" anchor="rates"/>
  </section>
</encyclopedia>
)";
} // namespace

TEST(XMLUtils, EncipheredCatalogueLoadsThroughTheStreamAndOnlyThatWay)
{
    CTempDir dir;
    WriteEnciphered(dir.File("encyclopedia.dat"), kCatalogue);
    CXmlDocPtr doc;
    xmlNode* root = nullptr;
    ASSERT_TRUE(CXMLUtils::LoadXmlDocument(dir.File("encyclopedia.dat"), doc, root, true));
    EXPECT_EQ(CXMLUtils::GetTagName(root), "encyclopedia");
    // Indentation is not content: the sections are the only child nodes.
    ASSERT_NE(root->children, nullptr);
    EXPECT_EQ(root->children->type, XML_ELEMENT_NODE);
    EXPECT_EQ(root->children->next, nullptr);
    std::string value;
    ASSERT_TRUE(CXMLUtils::GetAttributeString(root->children, "name", value));
    EXPECT_EQ(value, "Налог на прибыль");
    ASSERT_TRUE(CXMLUtils::GetAttributeString(root->children->children, "name", value));
    EXPECT_EQ(value, "Ставки & льготы");

    CLogCapture log;
    EXPECT_FALSE(CXMLUtils::LoadXmlDocument(dir.File("encyclopedia.dat"), doc, root, false));
    EXPECT_TRUE(log.Contains("Can't load XML from file " + dir.File("encyclopedia.dat")));
    EXPECT_EQ(doc, nullptr);
    EXPECT_FALSE(CXMLUtils::LoadXmlDocument(dir.File("missing.dat"), doc, root, true));
    EXPECT_TRUE(
        log.Contains("Can't create CDecryptFileStream for file " + dir.File("missing.dat")));
    EXPECT_FALSE(CXMLUtils::LoadXmlDocument("", doc, root, true));
    EXPECT_TRUE(log.Contains("CXmlUtils::LoadXmlDocument received null argument"));
}

// Every catalogue of the content loads through one function: the root
// element's name is checked there and each failure logs the loader's own line.
// Read node after node, it passes or fails alike and logs the same line.
TEST(XMLUtils, ACatalogueLoadsOnlyWithItsRootAndSaysWhyNot)
{
    CTempDir dir;
    WriteEnciphered(dir.File("encyclopedia.dat"), kCatalogue);
    WriteFileText(dir.File("plain.dat"), kCatalogue);
    WriteEnciphered(dir.File("text.dat"), "<encyclopedia>text<section/>more</encyclopedia>");
    WriteEnciphered(dir.File("broken.dat"), "<payments><section></payments>");
    const struct
    {
        const char* szFile;
        std::string_view root;
        bool bLoads;
        const char* szLogged;
    } cases[] = {
        {"encyclopedia.dat", "encyclopedia", true, nullptr},
        {"encyclopedia.dat", "", true, nullptr},
        {"encyclopedia.dat", "payments", false, "Invalid format"},
        {"plain.dat", "encyclopedia", false, "Can't load"},
        {"missing.dat", "", false, "Can't load"},
        {"text.dat", "encyclopedia", true, nullptr},
        {"broken.dat", "encyclopedia", false, "Can't load"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.szFile) + " as <" + std::string(c.root) + ">");
        CLogCapture log;
        CXmlDocPtr doc;
        xmlNode* root = nullptr;
        EXPECT_EQ(CXMLUtils::LoadCatalogue(dir.File(c.szFile),
                                           {c.root, "Can't load", "Invalid format"}, doc, root),
                  c.bLoads);
        EXPECT_EQ(doc != nullptr && root != nullptr, c.bLoads);
        if (c.szLogged)
            EXPECT_TRUE(log.Contains(c.szLogged));
        else
            EXPECT_FALSE(log.Contains("Can't load") || log.Contains("Invalid format"));

        CLogCapture readLog;
        std::size_t nElements = 0;
        EXPECT_EQ(CXMLUtils::ReadCatalogue(dir.File(c.szFile),
                                           {c.root, "Can't load", "Invalid format"},
                                           CXMLUtils::ETextAmongElements::Skipped,
                                           [&nElements](xmlTextReader*, int) {
                                               ++nElements;
                                               return true;
                                           }),
                  c.bLoads);
        EXPECT_EQ(nElements > 0, c.bLoads) << "another root visits nothing";
        if (c.szLogged)
            EXPECT_TRUE(readLog.Contains(c.szLogged));
        else
            EXPECT_FALSE(readLog.Contains("Can't load") || readLog.Contains("Invalid format"));
        EXPECT_EQ(readLog.Contains("Invalid format"), log.Contains("Invalid format"));
    }
}

// The reader gives an element's attribute as the parse tree does, however
// the file writes it.
TEST(XMLUtils, AReaderAttributeIsTheTreeOne)
{
    CTempDir dir;
    const char* const elements[] = {
        R"(<e a="Ставки"/>)",
        R"(<e a=""/>)",
        R"(<e a="x &amp; y"/>)",
        R"(<e a="&#1071;&#x44F;"/>)",
        R"(<e a="до &ent; после"/>)",
        R"(<e/>)",
        R"(<e b="1"/>)",
        R"(<e xmlns:x="urn:x" x:a="ns"/>)",
        R"(<d/>)", // the DTD gives a default
    };
    for (const char* szElement : elements)
    {
        SCOPED_TRACE(szElement);
        WriteEnciphered(dir.File("a.dat"),
                        std::string("<!DOCTYPE r [<!ENTITY ent \"сущность\">"
                                    "<!ATTLIST d a CDATA \"по умолчанию\">]><r>") +
                            szElement + "</r>");
        CXmlDocPtr doc;
        xmlNode* root = nullptr;
        ASSERT_TRUE(CXMLUtils::LoadXmlDocument(dir.File("a.dat"), doc, root, true));
        std::string strTree;
        const bool bTree = CXMLUtils::GetAttributeString(root->children, "a", strTree);
        std::string strRead;
        bool bRead = false;
        ASSERT_TRUE(
            CXMLUtils::ReadCatalogue(dir.File("a.dat"), "", [&](xmlTextReader* pReader, int) {
                bRead = CXMLUtils::GetReaderAttribute(pReader, "a", strRead);
                return true;
            }));
        EXPECT_EQ(bRead, bTree);
        EXPECT_EQ(strRead, strTree);
    }
}

TEST(XMLUtils, ExternalEntitiesAndDtdsAreNeverLoaded)
{
    CTempDir dir;
    WriteFileText(dir.File("secret.txt"), "TOP-SECRET-TEXT");
    WriteFileText(dir.File("ext.dtd"), "<!ENTITY leak \"DTD-TEXT\">");
    const std::string xml = "<?xml version=\"1.0\"?>\n"
                            "<!DOCTYPE r SYSTEM \"file://" +
                            dir.File("ext.dtd") +
                            "\" [\n"
                            "<!ENTITY x SYSTEM \"file://" +
                            dir.File("secret.txt") +
                            "\">\n"
                            "<!ENTITY % p SYSTEM \"file://" +
                            dir.File("ext.dtd") +
                            "\"> %p;\n"
                            "]>\n<r a=\"1\"><item>&x;</item><more>&leak;</more></r>";
    for (const bool enciphered : {false, true})
    {
        const std::string path = dir.File(enciphered ? "c.dat" : "c.xml");
        if (enciphered)
            WriteEnciphered(path, xml);
        else
            WriteFileText(path, xml);
        CLogCapture log;
        CXmlDocPtr doc;
        xmlNode* root = nullptr;
        if (CXMLUtils::LoadXmlDocument(path, doc, root, enciphered))
        {
            const std::string text =
                CXMLUtils::SaveXmlToString(doc.get()) + CXMLUtils::GetText(root);
            EXPECT_EQ(text.find("TOP-SECRET-TEXT"), std::string::npos);
            EXPECT_EQ(text.find("DTD-TEXT"), std::string::npos);
        }
    }
    CXmlDocPtr doc;
    xmlNode* root = nullptr;
    if (CXMLUtils::LoadXmlDocumentContent(xml, doc, root))
    {
        EXPECT_EQ(CXMLUtils::GetText(root).find("TOP-SECRET-TEXT"), std::string::npos);
    }
}

TEST(XMLUtils, AttributesNumbersAndSubElements)
{
    CXmlDocPtr doc;
    xmlNode* root = nullptr;
    ASSERT_TRUE(CXMLUtils::LoadXmlDocumentContent(
        "<item id=\"42abc\" empty=\"\" neg=\"-3\" big=\"99999999999\">"
        "<name>Первое</name><note>x<b>y</b></note><name>Второе</name></item>",
        doc, root));
    unsigned n = 7;
    ASSERT_TRUE(CXMLUtils::GetAttributeUINT(root, "id", n));
    EXPECT_EQ(n, 42u) << "leading digits only";
    ASSERT_TRUE(CXMLUtils::GetAttributeUINT(root, "empty", n, 5));
    EXPECT_EQ(n, 5u) << "an empty attribute gives the default";
    ASSERT_TRUE(CXMLUtils::GetAttributeUINT(root, "missing", n, 9));
    EXPECT_EQ(n, 9u);
    ASSERT_TRUE(CXMLUtils::GetAttributeUINT(root, "neg", n));
    EXPECT_EQ(n, 0u);
    ASSERT_TRUE(CXMLUtils::GetAttributeUINT(root, "big", n));
    EXPECT_EQ(n, 4294967295u) << "saturates instead of wrapping";

    std::string value;
    {
        CLogCapture log;
        EXPECT_FALSE(CXMLUtils::GetAttributeString(root, "url", value));
        EXPECT_TRUE(log.Contains("CXmlUtils::GetAttributeString can't get value of attribute url "
                                 "and default value is NULL"));
        EXPECT_FALSE(CXMLUtils::GetAttributeString(root->children->children, "x", value));
        EXPECT_TRUE(log.Contains("CXmlUtils::GetAttributeString can't get element interface"));
    }
    ASSERT_TRUE(CXMLUtils::GetAttributeString(root, "url", value, "dflt"));
    EXPECT_EQ(value, "dflt");

    ASSERT_TRUE(CXMLUtils::GetSubElementString(root, "name", value));
    EXPECT_EQ(value, "Первое") << "the first matching child";
    ASSERT_TRUE(CXMLUtils::GetSubElementString(root, "note", value));
    EXPECT_EQ(value, "xy");
    EXPECT_FALSE(CXMLUtils::GetSubElementString(root, "absent", value));

    CLogCapture log;
    EXPECT_FALSE(CXMLUtils::LoadXmlDocumentContent("<a><b></a>", doc, root));
    EXPECT_TRUE(log.Contains("Can't load XML"));
    EXPECT_FALSE(CXMLUtils::LoadXmlDocumentContent("", doc, root));
}

TEST(XMLUtils, CreatedDocumentsRoundTripThroughAnAtomicSave)
{
    CTempDir dir;
    CXmlDocPtr doc;
    ASSERT_TRUE(CXMLUtils::CreateXmlDocument("history", doc));
    xmlNode* root = xmlDocGetRootElement(doc.get());
    ASSERT_TRUE(CXMLUtils::PutTextNode(root, "title", "a<b> & \"c\" \x01\x02 ok"));
    ASSERT_TRUE(CXMLUtils::SetAttributeString(root, "name", "Ёж & <ёлка>\x1F"));
    ASSERT_TRUE(CXMLUtils::SetDayInfo(root, 6, 12, 2026));
    ASSERT_TRUE(CXMLUtils::SetTimeInfo(root, 23, 5, 9));
    ASSERT_TRUE(CXMLUtils::PutTextNode(root, "bad", "\xFF\xFE"));
    ASSERT_TRUE(CXMLUtils::SaveXmlDocument(doc.get(), dir.File("history.xml")));

    CXmlDocPtr loaded;
    xmlNode* loadedRoot = nullptr;
    ASSERT_TRUE(CXMLUtils::LoadXmlDocument(dir.File("history.xml"), loaded, loadedRoot, false))
        << "text that XML cannot hold is dropped so the file always loads again";
    std::string value;
    ASSERT_TRUE(CXMLUtils::GetSubElementString(loadedRoot, "title", value));
    EXPECT_EQ(value, "a<b> & \"c\"  ok");
    ASSERT_TRUE(CXMLUtils::GetAttributeString(loadedRoot, "name", value));
    EXPECT_EQ(value, "Ёж & <ёлка>");
    ASSERT_TRUE(CXMLUtils::GetSubElementString(loadedRoot, "bad", value));
    EXPECT_EQ(value, "\xEF\xBF\xBD\xEF\xBF\xBD");
    int d = 0, m = 0, y = 0;
    ASSERT_TRUE(CXMLUtils::GetDayInfo(loadedRoot, d, m, y));
    EXPECT_EQ((std::tuple{d, m, y}), (std::tuple{6, 12, 2026}));
    ASSERT_TRUE(CXMLUtils::GetTimeInfo(loadedRoot, d, m, y));
    EXPECT_EQ((std::tuple{d, m, y}), (std::tuple{23, 5, 9}));

    xmlUnsetProp(loadedRoot, reinterpret_cast<const xmlChar*>("minute"));
    CLogCapture log;
    EXPECT_FALSE(CXMLUtils::GetTimeInfo(loadedRoot, d, m, y));
    EXPECT_TRUE(log.Contains("CXMLUtils::GetTimeInfo Can't get time info"));
    EXPECT_FALSE(CXMLUtils::GetDayInfo(loadedRoot->children, d, m, y));
    EXPECT_TRUE(log.Contains("CXMLUtils::GetDayInfo Can't get day info"));
}

TEST(XMLUtils, EncodeForXML)
{
    EXPECT_EQ(CXMLUtils::EncodeForXML("a<b & c"), "a&lt;b &amp; c");
    EXPECT_EQ(CXMLUtils::EncodeForXML("\"q\" 'a' >"), "&quot;q&quot; &apos;a&apos; &gt;");
    EXPECT_EQ(CXMLUtils::EncodeForXML("&amp;"), "&amp;amp;");
    EXPECT_EQ(CXMLUtils::EncodeForXML("текст"), "текст");
}

TEST(XMLUtils, HtmlBodyTextReadsLikeTheRenderedPage)
{
    CTempDir dir;
    WriteFileText(dir.File("page.html"),
                  "\xEF\xBB\xBF<html><head><title>Заголовок</title><style>p{}</style></head>"
                  "<body><h1>НДС  в\n 2026 году</h1><p>Ставка <b>20%</b>&nbsp;и льготы.</p>"
                  "<script>var x = 1;</script><div>Строка<br>вторая</div>"
                  "<table><tr><td>a</td><td>b</td></tr></table></body></html>");
    CXmlDocPtr doc;
    ASSERT_TRUE(CXMLUtils::LoadHTMLDocument(dir.File("page.html"), doc));
    EXPECT_EQ(CXMLUtils::GetHtmlBodyText(doc.get()),
              "НДС в 2026 году\r\nСтавка 20%\xC2\xA0и льготы.\r\nСтрока\r\nвторая\r\na b");

    WriteFileText(dir.File("broken.html"), "<p>unclosed <b>bold <i>text");
    ASSERT_TRUE(CXMLUtils::LoadHTMLDocument(dir.File("broken.html"), doc)) << "HTML is recovered";
    EXPECT_EQ(CXMLUtils::GetHtmlBodyText(doc.get()), "unclosed bold text");

    CLogCapture log;
    EXPECT_FALSE(CXMLUtils::LoadHTMLDocument(dir.File("none.html"), doc));
    EXPECT_TRUE(log.Contains("CXMLUtils::LoadHTMLDocument can't load file"));
}
