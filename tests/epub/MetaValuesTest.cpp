#include "epub/BookIdentifier.h"
#include "epub/MetaValues.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

struct TextCase {
    const char* input;
    const char* expected;
};

TEST(MetaValuesTest, DecodeHtmlEntitiesTurnsReferencesIntoCharacters)
{
    const TextCase cases[] = {
        {"Tom &amp; Jerry", "Tom & Jerry"},
        {"&lt;b&gt; &quot;q&quot; &apos;a&apos;", "<b> \"q\" 'a'"},
        {"Caf&#233; &#x2014; &#X3A9;", "Café — Ω"},
        {"Jörg &nbsp;x", "Jörg \u00A0x"},
        {"&amp;amp;", "&amp;"},                 // decoded once only
        {"AT&T and &unknown; &#0; &#xD800;", "AT&T and &unknown; &#0; &#xD800;"},
        {"a & b; c", "a & b; c"},
        {"&#128512;", "\U0001F600"},
        {"", ""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(DecodeHtmlEntities(QString::fromUtf8(c.input)), QString::fromUtf8(c.expected)) << c.input;
}

TEST(MetaValuesTest, ToW3cDateKeepsWhatTheDocumentGives)
{
    const TextCase cases[] = {
        {"2011-03-04T00:00:00+00:00", "2011-03-04"},
        {"D:20110304120000Z", "2011-03-04"},
        {"D:20110304120000+01'00'", "2011-03-04"},
        {"20110304", "2011-03-04"},
        {"2011-03", "2011-03"},
        {"2011", "2011"},
        {"  2011-03-04 ", "2011-03-04"},
        {"2011-02-30", "2011-02"},             // no such day
        {"2011-13-01", "2011"},                // no such month
        {"March 4, 2011", "2011"},
        {"4/3/1999", "1999"},
        {"", ""},
        {"unknown", ""},
        {"0000-01-01", ""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(ToW3cDate(QString::fromUtf8(c.input)), QString::fromUtf8(c.expected)) << c.input;
}

TEST(MetaValuesTest, PackageDateFallsBackToTheConversionDay)
{
    const QDate day(2024, 5, 6);
    EXPECT_EQ(PackageDate("", day), "2024-05-06");
    EXPECT_EQ(PackageDate("no date here", day), "2024-05-06");
    EXPECT_EQ(PackageDate("2011-03-04T00:00:00+00:00", day), "2011-03-04");
}

TEST(MetaValuesTest, LanguageComesFromTheHtmlElementAsAWellFormedTag)
{
    const struct {
        const char* html;
        const char* document; // DocumentLanguage
        const char* package;  // PackageLanguage of it
    } cases[] = {
        {"<!DOCTYPE html>\n<html lang=\"ja\">\n<head>", "ja", "ja"},
        {"<HTML xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang='ru'>", "ru", "ru"},
        {"<html lang=en_US>", "en_US", "en-US"},
        {"<html lang=\"zh-Hant-TW\">", "zh-Hant-TW", "zh-Hant-TW"},
        {"<html>\n<body lang=\"fr\">", "", "en"},
        {"<html lang=\"\">", "", "en"},
        {"<html lang=\"en us\">", "en us", "en"},
        {"<html lang=\"x\">", "x", "en"},
        {"<html lang=\"de-\">", "de-", "en"},
        {"<htmlx lang=\"de\">", "", "en"},
        {"no document", "", "en"},
    };
    for (const auto& c : cases) {
        const QString found = DocumentLanguage(QString::fromUtf8(c.html));
        EXPECT_EQ(found, QString::fromUtf8(c.document)) << c.html;
        EXPECT_EQ(PackageLanguage(found), QString::fromUtf8(c.package)) << c.html;
    }
    EXPECT_EQ(LanguageTag("  el "), "el");
    EXPECT_EQ(LanguageTag("en\"/>"), "");
}

TEST(MetaValuesTest, BookIdentifierIsALowerCaseUuidUrnAndFreshEachTime)
{
    const QRegularExpression form(
        "^urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$");
    const QString a = MakeBookIdentifier();
    const QString b = MakeBookIdentifier();
    EXPECT_TRUE(form.match(a).hasMatch()) << a.toStdString();
    EXPECT_NE(a, b);
}

} // namespace
