#include "StringGenerator.h"
#include "ResourceConfig.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(StringGenerator, FillsEscapesAndLeavesTheRestAsWritten)
{
    const StringGenerator generator("<td class=\"$(TD_CLASS)\" width=\"100%%\">$(SECTION_NAME) "
                                    "$(ID)/$(ID) $(MISSING) $(lower) $(</td>");
    const std::string html = generator.Generate(
        {{"ID", "7"}, {"SECTION_NAME", "a<b & \"c\""}, {"TD_CLASS", "level2"}, {"UNUSED", "x"}});
    EXPECT_EQ(html,
              "<td class=\"level2\" width=\"100%%\">a&lt;b &amp; &quot;c&quot; 7/7 $(MISSING) "
              "$(lower) $(</td>");
}

TEST(StringGenerator, AValueNeverTurnsIntoAPlaceholder)
{
    const StringGenerator generator("$(A)|$(B)");
    EXPECT_EQ(generator.Generate({{"A", "$(B)"}, {"B", "b"}}), "$(B)|b");
    EXPECT_EQ(generator.Generate({}), "$(A)|$(B)");
}

TEST(StringGenerator, TemplatesComeFromDiskOrFromTheProgram)
{
    CTempDir dir;
    const CResourceConfig config(dir.Path());
    StringGenerator generator;
    ASSERT_TRUE(generator.LoadStrTemplateFromFile(config.GetSectionLevel2TemplatePath()));
    const std::string row = generator.Generate({{"ID", "S1"},
                                                {"IMAGE_CLASS", "img_level2_expanded"},
                                                {"SECTION_NAME", "НДС"},
                                                {"TD_CLASS", "level2_high"}});
    EXPECT_NE(row.find("id=\"S1\""), std::string::npos);
    EXPECT_NE(row.find(">НДС<"), std::string::npos);
    EXPECT_EQ(row.find("$("), std::string::npos) << "every placeholder of the template is known";

    WriteFileText(config.GetSectionLevel2TemplatePath(), "<b>$(SECTION_NAME)</b>");
    ASSERT_TRUE(generator.LoadStrTemplateFromFile(config.GetSectionLevel2TemplatePath()));
    EXPECT_EQ(generator.Generate({{"SECTION_NAME", "x"}}), "<b>x</b>\n");

    CLogCapture log;
    EXPECT_FALSE(generator.LoadStrTemplateFromFile(dir.File("ui/templates/none.tmpl")));
    EXPECT_TRUE(log.Contains("StringGenerator::LoadStrTemplateFromFile can't load template "));
}
