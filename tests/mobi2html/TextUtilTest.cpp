// The tool's text helpers, compiled into the test directly (the tool is a separate program).
#include "../../tools/mobi2html/TextUtil.cpp"

#include <gtest/gtest.h>

namespace {

TEST(Mobi2HtmlText, PublishingDatesBecomeW3cdtf)
{
    const struct {
        const char *in, *out;
    } cases[] = {
        {"2011-03-14", "2011-03-14"},
        {"2011-03-14T08:00:00+00:00", "2011-03-14"},
        {"2009-06", "2009-06"},
        {"2011", "2011"},
        {"March 2011", "2011-03"},
        {"14 March 2011", "2011-03-14"},
        {"March 14, 2011", "2011-03-14"},
        {"2011-13-40", "2011"},
        {"sometime", ""},
        {"", ""},
        {"12/25", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(m2h::ToW3cDate(c.in), c.out) << c.in;
}

TEST(Mobi2HtmlText, Utf8CheckAndRepair)
{
    EXPECT_TRUE(m2h::IsValidUtf8("Café 物語 \xEF\xBF\xBD"));
    for (const char *bad : {"\xC3", "caf\xE9", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80", "ab\xE2\x82"}) {
        EXPECT_FALSE(m2h::IsValidUtf8(bad)) << bad;
        EXPECT_TRUE(m2h::IsValidUtf8(m2h::RepairUtf8(bad))) << bad;
    }
    EXPECT_EQ(m2h::Cp1252ToUtf8("\x80 \x93q\x94 caf\xE9 \x81"), "€ “q” café \xEF\xBF\xBD");
}

TEST(Mobi2HtmlText, EscapingForHtmlAndCss)
{
    EXPECT_EQ(m2h::EscapeHtml("a<b>&\"c\x01"), "a&lt;b&gt;&amp;&quot;c ");
    EXPECT_EQ(m2h::CssString("say \"hi\"\\</style>"), "\"say \\22 hi\\22 \\5c \\3c /style\\3e \"");
}

} // namespace
