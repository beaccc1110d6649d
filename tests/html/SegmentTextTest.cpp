#include "html/SegmentText.h"
#include "html/XhtmlRepair.h"

#include <gtest/gtest.h>

namespace {

TEST(SegmentTextTest, AddImageAltStaysInsideTheTag)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"<img src=\"x.jpg\"/>", "<img src=\"x.jpg\" alt=\"\" />"},
        {"<img src=\"x.jpg\">", "<img src=\"x.jpg\" alt=\"\" />"},
        {"<img src=\"x.jpg\">Text<br/>", "<img src=\"x.jpg\" alt=\"\" />Text<br/>"},
        {"<img src=\"pics/x.jpg\">", "<img src=\"pics/x.jpg\" alt=\"\" />"},
        {"<img src=\"pics/x.jpg\"/>", "<img src=\"pics/x.jpg\" alt=\"\" />"},
        {"a<img src=\"a.png\"/><img src=\"b/c.png\">z",
         "a<img src=\"a.png\" alt=\"\" /><img src=\"b/c.png\" alt=\"\" />z"},
        {"<img src=\"x.jpg\" alt=\"cat\"/>", "<img src=\"x.jpg\" alt=\"cat\"/>"},
        {"<img src=\"x.jpg\"", "<img src=\"x.jpg\""},
        {"no picture/", "no picture/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AddImageAlt(c.in), QString(c.out)) << c.in;
}

TEST(SegmentTextTest, SplitTextAndTrailingBreak)
{
    struct Case { const char* in; QStringList pieces; const char* ensured; };
    const Case cases[] = {
        {"a<br/>b", {"a", "b"}, "a<br/>b<br/>"},
        {"a<br/>", {"a"}, "a<br/>"},
        {"a<br/><br/>", {"a", "<br/>"}, "a<br/><br/><br/>"},
        {"<br/>abc", {"", "abc"}, "<br/>abc<br/>"},
        {"x<br/>y<br/>z<br/>", {"x", "y", "z"}, "x<br/>y<br/>z<br/>"},
        // No break at all: no pieces, but the page is kept (a blank page).
        {"<a id=\"p5\"></a>", {}, "<a id=\"p5\"></a><br/>"},
        {"", {}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitText(c.in, "<br/>"), c.pieces) << c.in;
        EXPECT_EQ(EnsureTrailingBreak(c.in), QString(c.ensured)) << c.in;
    }
    EXPECT_EQ(RemoveLineFeeds("a\r\nb\nc\r"), "abc");
    EXPECT_EQ(SplitText("books.html#5", "#"), QStringList({"books.html", "5"}));
}

TEST(SegmentTextTest, IsTextTitleCountsLettersOfAnyScript)
{
    struct Case { QString title; bool text; };
    const Case cases[] = {
        {"1234", false},
        {"***", false},
        {"", false},
        {"Chapter 1", true},
        {"azAZ", true},
        {"1.1 A section", true},
        {QString::fromUtf8("Κεφάλαιο 2"), true},
        {QString::fromUtf8("Глава 3"), true},
        {QString::fromUtf8("第四章 日本"), true},
        {QString::fromUtf8("Ελλάδα 1821–1830"), false}, // digits outweigh the letters
        {QString::fromUtf8("§§§ 12"), false},
        {QString::fromUtf8("Ā1"), false}, // one of two: not more than half
        {QString::fromUtf8("𝒜𝒜𝒜 1"), true}, // letters outside the BMP
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsTextTitle(c.title), c.text) << c.title.toStdString();
}

TEST(SegmentTextTest, PlainLabelDecodesReferencesAndDropsTags)
{
    struct Case { QString in; QString out; };
    const Case cases[] = {
        {"Tom &amp; Jerry", "Tom & Jerry"},
        {"<b>One</b>&#160;<i>two</i>", "One two"},
        {"&lt;tag&gt; &quot;q&quot; &#x41;&#66;", "<tag> \"q\" AB"},
        {"AT&T; &bogus; &#xZZ;", "AT&T; &bogus; &#xZZ;"},
        {"  a \t b  ", "a b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PlainLabel(c.in), c.out) << c.in.toStdString();
    EXPECT_EQ(AnchorId("5"), "p5");
    EXPECT_EQ(AnchorId("a b\"c"), "pa_b_c");
}

TEST(XhtmlRepairTest, RepairsPopplerTagSoup)
{
    const QString cases[] = {
        // Overlapping link and bold, as poppler writes them.
        "<b><a href=\"part0.html#p2\"><i>x</i></b><b> </b></a>y<br/>",
        // A bare ampersand in a link.
        "<a href=\"https://example.com/?a=1&b=2\">web</a><br/>",
        // Unquoted attribute, unclosed picture, named entity.
        "<a id=p5></a><img src=\"x.png\">caf&eacute;&nbsp;<br>",
    };
    for (const QString& soup : cases) {
        ASSERT_FALSE(IsWellFormedFragment(soup)) << soup.toStdString();
        const QString repaired = RepairXhtml(soup);
        EXPECT_TRUE(IsWellFormedFragment(repaired)) << repaired.toStdString();
        EXPECT_FALSE(repaired.contains("<body")) << repaired.toStdString();
    }
    EXPECT_TRUE(RepairXhtml(cases[1]).contains("a=1&amp;b=2"));
    const QString fixed = RepairXhtml(cases[2]);
    EXPECT_TRUE(fixed.contains("id=\"p5\"")) << fixed.toStdString();
    EXPECT_FALSE(fixed.contains("name=")) << fixed.toStdString();
    EXPECT_TRUE(fixed.contains(QString::fromUtf8("café"))) << fixed.toStdString();

    // Well-formed pages pass untouched.
    const QString clean = "<a id=\"p1\"></a><b>Title</b><br/>Text &amp; more<br/>";
    EXPECT_EQ(RepairXhtml(clean), clean);
}

} // namespace
