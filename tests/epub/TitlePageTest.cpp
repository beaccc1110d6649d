#include "PackageFixture.h"

#include "epub/MetaData.h"
#include "epub/TitlePage.h"

namespace {

class TitlePageTest : public PackageFixture {
protected:
    SubstitutionTable Table(const QString& title, const QString& author)
    {
        MetaData meta;
        meta.title = title;
        meta.author = author;
        meta.date = QStringLiteral("2011-03-04T00:00:00+00:00");
        return BuildSubstitutions(meta, QStringLiteral("urn:uuid:00000000-0000-4000-8000-000000000001"));
    }
};

TEST(JoinPathTest, ClimbsOneLevelForDotDot)
{
    struct Case {
        const char* base;
        const char* relative;
        const char* expected;
    } const cases[] = {
        {"/w/OEBPS", "../META-INF", "/w/META-INF"},
        {"/w/OEBPS", "../META-INF/container.xml", "/w/META-INF/container.xml"},
        {"/w/OEBPS", "..\\mimetype", "/w/mimetype"},
        {"/w/OEBPS", "oebps.opf", "/w/OEBPS/oebps.opf"},
        {"/OEBPS", "../mimetype", "/mimetype"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(JoinPath(c.base, c.relative), QString(c.expected)) << c.base << " + " << c.relative;
}

TEST_F(TitlePageTest, CopyTemplateFilesPlacesTheSixFilesAroundTheContentFolder)
{
    CopyTemplateFiles(contentFolder);
    EXPECT_EQ(Read(bookFolder + "/mimetype"), QByteArray("application/epub+zip"));
    EXPECT_TRUE(Read(bookFolder + "/META-INF/container.xml").contains("full-path=\"OEBPS/oebps.opf\""));
    for (const char* name : {"stylesheet.css", "titlepage.css", "titlepage.html", "oebps.opf"})
        EXPECT_EQ(Read(contentFolder + "/" + name), Read(TemplatePath(name))) << name;

    // A second copy overwrites what a book left there.
    Write("oebps.opf", "changed");
    CopyTemplateFiles(contentFolder);
    EXPECT_EQ(Read(contentFolder + "/oebps.opf"), Read(TemplatePath("oebps.opf")));
}

TEST_F(TitlePageTest, BuildSubstitutionsTakesTheGivenIdentifierAndRawValues)
{
    const SubstitutionTable table = Table("Tom &amp; Jerry", "J&#246;rg");
    EXPECT_EQ(table.value("##Title##"), "Tom &amp; Jerry");
    EXPECT_EQ(table.value("##Author##"), "J&#246;rg");
    EXPECT_EQ(table.value("##Date##"), "2011-03-04T00:00:00+00:00");
    EXPECT_EQ(table.value("##UUID##"), "urn:uuid:00000000-0000-4000-8000-000000000001");

    MetaData meta;
    const QString own = BuildSubstitutions(meta).value("##UUID##");
    EXPECT_TRUE(own.startsWith("urn:uuid:")) << own.toStdString();
    EXPECT_EQ(own.size(), 45);
}

TEST_F(TitlePageTest, PrepareCoverShowsTheOnlyFirstPicture)
{
    Write("My Book-1_1.jpg");
    Write("My Book-2_1.png");
    SubstitutionTable table = Table("A", "B");
    PrepareCover(contentFolder, table);
    EXPECT_EQ(table.value("##Cover##"), "<img src=\"My%20Book-1_1.jpg\" alt=\"cover\" style=\"height: 100%\"/>");
}

TEST_F(TitlePageTest, PrepareCoverFallsBackToTheTitleBlock)
{
    const QString block = "            <div id=\"titlepage\">\n"
                          "               <h1 class=\"part-title\">Tom &amp; Jerry</h1>\n"
                          "               <h3 class=\"title-break\">***</h3>\n"
                          "               <h3 class=\"author\">B %1</h3>\n"
                          "            </div>";
    // None, then two candidates.
    for (int pictures : {0, 2}) {
        for (int i = 0; i < pictures; ++i)
            Write(QString("b%1-1_1.jpg").arg(i));
        SubstitutionTable table = Table("Tom &amp; Jerry", "B %1");
        PrepareCover(contentFolder, table);
        EXPECT_EQ(table.value("##Cover##"), block) << pictures;
    }
}

TEST_F(TitlePageTest, WriteTitlePageFillsTheTemplateAsUtf8)
{
    CopyTemplateFiles(contentFolder);
    SubstitutionTable table = Table(QString::fromUtf8("Café — Ω &amp; Co ##Author##"), QString::fromUtf8("Jörg"));
    PrepareCover(contentFolder, table);
    ASSERT_TRUE(WriteTitlePage(table, contentFolder));

    const QByteArray page = Read(contentFolder + "/titlepage.html");
    const QString text = QString::fromUtf8(page);
    EXPECT_FALSE(text.contains("##Cover##") || text.contains("##Title##")) << page.toStdString();
    // The title stands in <title> and in the block, references as written,
    // and its placeholder-like text is not replaced again.
    EXPECT_EQ(text.count(QString::fromUtf8("Café — Ω &amp; Co ##Author##")), 2);
    EXPECT_TRUE(page.contains(QString::fromUtf8("<h3 class=\"author\">Jörg</h3>").toUtf8()));

    // Well-formed XHTML, in the book's language ("en" when it has none).
    QDomDocument dom;
    EXPECT_TRUE(dom.setContent(page, true));
    EXPECT_EQ(dom.documentElement().attributeNS("http://www.w3.org/XML/1998/namespace", "lang"), "en");

    MetaData japanese;
    japanese.language = "ja";
    ASSERT_TRUE(WriteTitlePage(BuildSubstitutions(japanese), contentFolder));
    EXPECT_TRUE(Read(contentFolder + "/titlepage.html").contains("xml:lang=\"ja\""));
}

TEST(ReplacePlaceholdersTest, ReplacesEveryOccurrenceInOnePass)
{
    const SubstitutionTable table = {{"##Title##", "T ##Date##"}, {"##Date##", "D"}};
    EXPECT_EQ(ReplacePlaceholders("##Title##/##Title##/##Date##/##Other##", table), "T ##Date##/T ##Date##/D/##Other##");
}

TEST_F(TitlePageTest, WriteTitlePageWithoutTemplateLeavesTheCopy)
{
    Write("titlepage.html", "copy");
    SetToolFolder(tmp.filePath("nowhere"));
    EXPECT_FALSE(WriteTitlePage(Table("A", "B"), contentFolder));
    EXPECT_EQ(Read(contentFolder + "/titlepage.html"), QByteArray("copy"));
}

} // namespace
