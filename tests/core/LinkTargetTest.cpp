#include "LinkTarget.h"

#include <gtest/gtest.h>

TEST(LinkTargetTest, ClassifiesWhatALinkLeadsTo)
{
    constexpr const char* kFolder = "/home/user/kalimor/Content/";
    struct CCase
    {
        const char* szUrl;
        ELinkKind eKind;
        bool bPicture;
        const char* szAddress;
        const char* szAnchor;
    };
    const CCase cases[] = {
        {"http://www.nalog.example/", ELinkKind::WEB, false, "http://www.nalog.example/", ""},
        {"https://www.nalog.example/a#b", ELinkKind::WEB, false, "https://www.nalog.example/a#b",
         ""},
        // A bare scheme addresses nothing: it is looked up as a document (and not found).
        {"http:", ELinkKind::DOCUMENT, false, "http:", ""},
        {"https:", ELinkKind::DOCUMENT, false, "https:", ""},
        {"mailto:help@nalog.example", ELinkKind::MAIL, false, "mailto:help@nalog.example", ""},
        {"about:SAMPLE_1", ELinkKind::SPECIAL, false, "about:SAMPLE_1", ""},
        {"/nds/deduction.html", ELinkKind::DOCUMENT, false, "/nds/deduction.html", ""},
        {"/nds/deduction.html#conditions", ELinkKind::DOCUMENT, false,
         "/nds/deduction.html#conditions", "conditions"},
        {"/nds/a%20b.html#part%201", ELinkKind::DOCUMENT, false, "/nds/a b.html#part 1", "part 1"},
        {"file:///home/user/kalimor/Content/nds/a%20b.html#conditions", ELinkKind::DOCUMENT, false,
         "/nds/a b.html#conditions", "conditions"},
        {"file:///nds/deduction.html", ELinkKind::DOCUMENT, false, "/nds/deduction.html", ""},
        {"/home/user/kalimor/Content/usn/rates.html", ELinkKind::DOCUMENT, false, "/usn/rates.html",
         ""},
        {"\\nds\\restore.html", ELinkKind::DOCUMENT, false, "/nds/restore.html", ""},
        {"/%D0%BD%D0%B4%D1%81/page.html", ELinkKind::DOCUMENT, false, "/ндс/page.html", ""},
        {"/images/scheme.PNG", ELinkKind::DOCUMENT, true, "/images/scheme.PNG", ""},
        {"http://www.nalog.example/logo.jpg", ELinkKind::WEB, true,
         "http://www.nalog.example/logo.jpg", ""},
    };
    for (const CCase& c : cases)
    {
        SCOPED_TRACE(c.szUrl);
        const CLinkTarget target = ClassifyLink(c.szUrl, kFolder);
        EXPECT_EQ(target.m_eKind, c.eKind);
        EXPECT_EQ(target.m_bPicture, c.bPicture);
        EXPECT_EQ(target.m_strAddress, c.szAddress);
        EXPECT_EQ(target.m_strAnchor, c.szAnchor);
    }
    EXPECT_EQ(ClassifyLink("/home/user/kalimor/Content/usn/rates.html").m_strAddress,
              "/home/user/kalimor/Content/usn/rates.html")
        << "without a documents folder the path stays whole";
}
