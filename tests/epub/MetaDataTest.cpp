#include "epub/MetaData.h"

#include <gtest/gtest.h>

namespace {

const QString kData = QStringLiteral(TAVISTEL_TEST_DATA "/maindoc/");

TEST(MetaDataTest, ExtractReadsMainDocumentsAsPopplerWritesThem)
{
    struct Case {
        const char* file;
        const char* title;
        const char* author;
        const char* date;
    } const cases[] = {
        // UTF-8, character references kept as written, elements closed with "/>".
        {"book.html", "Café — Ω &amp; Tom &amp; Jerry", "Jörg Müller &amp; Co", "2011-03-04T00:00:00+00:00"},
        // No author and no date.
        {"bare.html", "Untitled Notes", "", ""},
        // Not valid UTF-8: read as Latin-1.
        {"latin1.html", "Café &amp; Crème", "Jörg Müller &amp; Co", "2011-03-04T00:00:00+00:00"},
        {"missing.html", "", "", ""},
    };
    for (const Case& c : cases) {
        MetaData meta;
        meta.Extract(kData + c.file);
        EXPECT_EQ(meta.title, QString::fromUtf8(c.title)) << c.file;
        EXPECT_EQ(meta.author, QString::fromUtf8(c.author)) << c.file;
        EXPECT_EQ(meta.date, QString::fromUtf8(c.date)) << c.file;
    }
}

TEST(MetaDataTest, ParseFollowsTheHeadLayout)
{
    struct Case {
        const char* text;
        const char* title;
        const char* author;
    } const cases[] = {
        {"<TITLE>T</TITLE><META name=\"author\" content=\"A\">", "T", "A"},
        {"<title lang=\"en\">T</title>", "", ""},                      // only a bare title element
        {"<meta content=\"A\" name=\"author\">", "", ""},              // other attribute order
        {"<meta name=\"author\" content=\"A\"/>\n<meta name=\"date\" content=\"D\"/>", "", "A"},
        {"<meta name=\"author\" content=\"\"/>", "", ""},
        {"<title>\nTwo\nlines</title>", "\nTwo\nlines", ""},
    };
    for (const Case& c : cases) {
        MetaData meta;
        meta.Parse(QString::fromUtf8(c.text));
        EXPECT_EQ(meta.title, QString::fromUtf8(c.title)) << c.text;
        EXPECT_EQ(meta.author, QString::fromUtf8(c.author)) << c.text;
    }
    MetaData meta;
    meta.Parse("<meta name=\"author\" content=\"A\"/>\n<meta name=\"date\" content=\"D\"/>");
    EXPECT_EQ(meta.date, "D");
}

} // namespace
