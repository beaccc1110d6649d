#include "PackageFixture.h"

#include "epub/MetaData.h"
#include "epub/TemplateFiles.h"

#include <QDomDocument>
#include <QDomElement>

namespace {

const QString kOpf = QStringLiteral("http://www.idpf.org/2007/opf");
const QString kDc = QStringLiteral("http://purl.org/dc/elements/1.1/");

// The package document read back.
struct Package {
    QStringList hrefs, ids, mediaTypes, spine;
    QString toc;
    QList<QStringList> guide; // href, type, title
    QString title, creator, fileAs, date, identifier, language, uniqueId;
    bool loaded = false;
};

QList<QDomElement> Elements(const QDomElement& parent, const QString& name)
{
    QList<QDomElement> list;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.localName() == name)
            list.append(e);
    }
    return list;
}

Package ReadPackage(const QString& path)
{
    Package p;
    QFile file(path);
    QDomDocument dom;
    if (!file.open(QIODevice::ReadOnly) || !dom.setContent(&file, true))
        return p;
    p.loaded = true;
    const QDomElement root = dom.documentElement();
    // Everything the package holds must be in its namespace.
    for (const char* name : {"metadata", "manifest", "spine", "guide"}) {
        for (const QDomElement& e : Elements(root, name))
            EXPECT_EQ(e.namespaceURI(), kOpf) << name;
    }
    p.uniqueId = root.attribute("unique-identifier");
    for (const QDomElement& manifest : Elements(root, "manifest")) {
        for (const QDomElement& item : Elements(manifest, "item")) {
            EXPECT_EQ(item.namespaceURI(), kOpf);
            p.hrefs << item.attribute("href");
            p.ids << item.attribute("id");
            p.mediaTypes << item.attribute("media-type");
        }
    }
    for (const QDomElement& spine : Elements(root, "spine")) {
        p.toc = spine.attribute("toc");
        for (const QDomElement& ref : Elements(spine, "itemref"))
            p.spine << ref.attribute("idref");
    }
    for (const QDomElement& guide : Elements(root, "guide")) {
        for (const QDomElement& ref : Elements(guide, "reference"))
            p.guide << QStringList{ref.attribute("href"), ref.attribute("type"), ref.attribute("title")};
    }
    const QList<QDomElement> metadata = Elements(root, "metadata");
    if (!metadata.isEmpty()) {
        auto dcText = [&](const char* name) {
            const QList<QDomElement> list = Elements(metadata.first(), name);
            if (list.isEmpty())
                return QString();
            EXPECT_EQ(list.first().namespaceURI(), kDc) << name;
            return list.first().text();
        };
        p.title = dcText("title");
        p.creator = dcText("creator");
        p.date = dcText("date");
        p.identifier = dcText("identifier");
        p.language = dcText("language");
        const QList<QDomElement> creators = Elements(metadata.first(), "creator");
        if (!creators.isEmpty())
            p.fileAs = creators.first().attributeNS(kOpf, "file-as");
        for (const QDomElement& id : Elements(metadata.first(), "identifier"))
            EXPECT_EQ(id.attribute("id"), p.uniqueId);
    }
    return p;
}

class TemplateFilesTest : public PackageFixture {
protected:
    // What the splitter and the PDF-to-HTML tool leave for a book "book".
    void MakeContent()
    {
        for (int i = 0; i <= 12; ++i)
            Write(QString("part%1.html").arg(i));
        Write("oebps.ncx");
        Write("book.html");
        Write("books.html");
        Write("book_ind.html");
        Write("book-1_1.jpg");
        Write("book-2_1.png");
        Write("book-10_1.png");
        Write("PHOTO.JPG");
        Write("a.b.png");
        Write("My Pic.gif");
        Write("1.svg");
        QDir().mkpath(contentFolder + "/sub");
    }
    QString OpfPath() const { return contentFolder + "/oebps.opf"; }

    SubstitutionTable Table() const
    {
        return {{"##Title##", "T"}, {"##Author##", "A"}, {"##Date##", ""}, {"##UUID##", kId}, {"##Cover##", "C"}};
    }
    const QString kId = QStringLiteral("urn:uuid:0f8e1a2b-3c4d-4e5f-8a9b-0c1d2e3f4a5b");
};

QStringList Parts(int from, int to)
{
    QStringList list;
    for (int i = from; i <= to; ++i)
        list << QString("part%1").arg(i);
    return list;
}

TEST_F(TemplateFilesTest, InstallWritesManifestSpineAndGuideInNaturalOrder)
{
    MakeContent();
    QStringList notices;
    TemplateFiles files([&](const QString& text) { notices << text; });
    files.Install(Table(), contentFolder, "book");
    EXPECT_TRUE(notices.isEmpty());

    // The intermediate documents are gone; pictures named after the book stay.
    for (const char* gone : {"book.html", "books.html", "book_ind.html"})
        EXPECT_FALSE(QFile::exists(contentFolder + "/" + gone)) << gone;
    EXPECT_TRUE(QFile::exists(contentFolder + "/book-1_1.jpg"));

    const Package p = ReadPackage(OpfPath());
    ASSERT_TRUE(p.loaded);
    QStringList hrefs = {"1.svg", "a.b.png", "book-1_1.jpg", "book-2_1.png", "book-10_1.png", "My%20Pic.gif",
                         "oebps.ncx"};
    for (int i = 0; i <= 12; ++i)
        hrefs << QString("part%1.html").arg(i);
    hrefs << "PHOTO.JPG" << "stylesheet.css" << "titlepage.css" << "titlepage.html";
    EXPECT_EQ(p.hrefs, hrefs);
    QStringList ids = {"_1-svg", "a-b-png", "book-1_1-jpg", "book-2_1-png", "book-10_1-png", "My_Pic-gif", "ncx"};
    ids << Parts(0, 12) << "PHOTO-JPG" << "stylesheet-css" << "titlepage-css" << "titlepage";
    EXPECT_EQ(p.ids, ids);
    QStringList types = {"image/svg+xml", "image/png", "image/jpeg", "image/png", "image/png", "image/gif",
                         "application/x-dtbncx+xml"};
    for (int i = 0; i <= 12; ++i)
        types << "application/xhtml+xml";
    types << "image/jpeg" << "text/css" << "text/css" << "application/xhtml+xml";
    EXPECT_EQ(p.mediaTypes, types);

    EXPECT_EQ(p.toc, "ncx");
    EXPECT_EQ(p.spine, QStringList{"titlepage"} + Parts(0, 12));
    ASSERT_EQ(p.guide.size(), 1);
    EXPECT_EQ(p.guide.first(), (QStringList{"titlepage.html", "cover", "Cover"}));

    // The title page was written from the table.
    EXPECT_TRUE(Read(contentFolder + "/titlepage.html").contains(">T</title>"));
}

TEST_F(TemplateFilesTest, OwnDocumentsSurviveAStemTheyBeginWith)
{
    Write("part0.html");
    Write("part1.html");
    Write("part.html");
    Write("parts.html");
    Write("part_x.html");
    TemplateFiles files;
    files.Install(Table(), contentFolder, "part");
    EXPECT_EQ(ReadPackage(OpfPath()).spine, (QStringList{"titlepage", "part0", "part1"}));
    for (const char* gone : {"part.html", "parts.html", "part_x.html"})
        EXPECT_FALSE(QFile::exists(contentFolder + "/" + gone)) << gone;
}

TEST_F(TemplateFilesTest, SpineIdsMatchManifestIdsWhateverTheCase)
{
    Write("Part1.HTML");
    Write("part2.xhtml");
    TemplateFiles files;
    CopyTemplateFiles(contentFolder);
    QFile::remove(contentFolder + "/titlepage.html");
    const QStringList names = ListContentFiles(contentFolder, "book");
    ASSERT_TRUE(files.WriteManifest(contentFolder, names));
    ASSERT_TRUE(files.WriteSpineAndGuide(contentFolder, SelectSpineFiles(names)));
    const Package p = ReadPackage(OpfPath());
    EXPECT_EQ(p.spine, (QStringList{"Part1", "part2"}));
    for (const QString& ref : p.spine)
        EXPECT_TRUE(p.ids.contains(ref)) << ref.toStdString();
    // No title page: nothing for the guide to name.
    EXPECT_TRUE(p.guide.isEmpty());
}

TEST_F(TemplateFilesTest, MissingPackageDocumentIsNoticedAndTheBookGoesOn)
{
    Write("part0.html");
    SetToolFolder(tmp.filePath("empty"));
    QDir().mkpath(tmp.filePath("empty/Template"));
    QFile::copy(QStringLiteral(TAVISTEL_TEST_DATA "/../../core/Template/titlepage.html"),
                tmp.filePath("empty/Template/titlepage.html"));
    QStringList notices;
    TemplateFiles files([&](const QString& text) { notices << text; });
    files.Install(Table(), contentFolder, "book");
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices.first(), "The file does not exist!\nPath: " + OpfPath());
    EXPECT_FALSE(QFile::exists(OpfPath()));
    EXPECT_TRUE(Read(contentFolder + "/titlepage.html").contains(">T</title>"));
    MetaData meta;
    EXPECT_FALSE(WriteOpfMetadata(Table(), meta, contentFolder));
    EXPECT_FALSE(QFile::exists(OpfPath()));
}

TEST_F(TemplateFilesTest, MalformedPackageDocumentIsLeftAsItIs)
{
    Write("part0.html");
    CopyTemplateFiles(contentFolder);
    const QByteArray broken = "<package><metadata></package>";
    Write("oebps.opf", broken);
    QStringList notices;
    TemplateFiles files([&](const QString& text) { notices << text; });
    const QStringList names = ListContentFiles(contentFolder, "book");
    EXPECT_FALSE(files.WriteManifest(contentFolder, names));
    EXPECT_FALSE(files.WriteSpineAndGuide(contentFolder, SelectSpineFiles(names)));
    MetaData meta;
    EXPECT_FALSE(WriteOpfMetadata(Table(), meta, contentFolder));
    EXPECT_EQ(Read(OpfPath()), broken);
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(TemplateFilesTest, WriteOpfMetadataFillsTheTemplate)
{
    struct Case {
        const char* title;
        const char* author;
        const char* date;
        const char* uuid;
        const char* wantTitle;
        const char* wantAuthor;
        const char* wantDate; // empty: today
        const char* wantId;   // empty: a fresh urn:uuid
        const char* language = "";
        const char* wantLanguage = "en";
    } const cases[] = {
        {"Tom &amp; Jerry", "J&#246;rg &lt;Ed&gt;", "2011-03-04T00:00:00+00:00",
         "urn:uuid:0f8e1a2b-3c4d-4e5f-8a9b-0c1d2e3f4a5b", "Tom & Jerry", "Jörg <Ed>", "2011-03-04",
         "urn:uuid:0f8e1a2b-3c4d-4e5f-8a9b-0c1d2e3f4a5b", "ja", "ja"},
        {"Café — Ω", "", "D:20110304", "0f8e1a2b-3c4d-4e5f-8a9b-0c1d2e3f4a5b", "Café — Ω", "", "2011-03-04",
         "urn:uuid:0f8e1a2b-3c4d-4e5f-8a9b-0c1d2e3f4a5b", "not a tag", "en"},
        {"", "A", "", "", "", "A", "", ""},
    };
    for (const Case& c : cases) {
        CopyTemplateFiles(contentFolder);
        MetaData meta;
        meta.title = QString::fromUtf8(c.title);
        meta.author = QString::fromUtf8(c.author);
        meta.date = QString::fromUtf8(c.date);
        meta.language = QString::fromUtf8(c.language);
        const SubstitutionTable table = {{"##UUID##", QString::fromUtf8(c.uuid)}};
        ASSERT_TRUE(WriteOpfMetadata(table, meta, contentFolder));
        const Package p = ReadPackage(OpfPath());
        EXPECT_EQ(p.title, QString::fromUtf8(c.wantTitle));
        EXPECT_EQ(p.creator, QString::fromUtf8(c.wantAuthor));
        EXPECT_EQ(p.fileAs, QString::fromUtf8(c.wantAuthor));
        const QString today = QDate::currentDate().toString("yyyy-MM-dd");
        EXPECT_EQ(p.date, *c.wantDate ? QString(c.wantDate) : today);
        EXPECT_EQ(p.language, QString(c.wantLanguage)) << "one dc:language, the book's";
        EXPECT_EQ(Read(OpfPath()).count("<dc:language"), 1);
        if (*c.wantId)
            EXPECT_EQ(p.identifier, QString(c.wantId));
        else
            EXPECT_TRUE(p.identifier.startsWith("urn:uuid:") && p.identifier.size() == 45)
                << p.identifier.toStdString();
        // The template's placeholders are all overwritten.
        EXPECT_FALSE(Read(OpfPath()).contains("##")) << c.title;
    }
}

TEST(PackageNamesTest, ItemIdsAndExtensions)
{
    struct Case {
        const char* name;
        const char* extension;
        const char* id;
    } const cases[] = {
        {"part3.html", ".html", "part3"},
        {"titlepage.html", ".html", "titlepage"},
        {"oebps.ncx", ".ncx", "ncx"},
        {"stylesheet.css", ".css", "stylesheet-css"},
        {"PHOTO.JPG", ".JPG", "PHOTO-JPG"},
        {"a.b.png", ".png", "a-b-png"},
        {"README", "", "README"},
        {"My Book-1_1.jpg", ".jpg", "My_Book-1_1-jpg"},
        {"2-1_1.jpg", ".jpg", "_2-1_1-jpg"},
        {"Jörg.png", ".png", "Jörg-png"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetExtension(c.name), QString::fromUtf8(c.extension)) << c.name;
        EXPECT_EQ(MakeItemId(QString::fromUtf8(c.name), GetExtension(QString::fromUtf8(c.name))),
                  QString::fromUtf8(c.id)) << c.name;
    }
    EXPECT_EQ(StripExtension("a.b.png"), "a.b");
    EXPECT_EQ(StripExtension("noext"), "noext");
}

TEST(PackageNamesTest, MediaTypesIgnoreCase)
{
    const TemplateFiles files;
    const std::pair<const char*, const char*> cases[] = {
        {".JPG", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".Png", "image/png"}, {".gif", "image/gif"},
        {".svg", "image/svg+xml"}, {".html", "application/xhtml+xml"}, {".XHTML", "application/xhtml+xml"},
        {".css", "text/css"}, {".ncx", "application/x-dtbncx+xml"}, {".txt", "text/plain"}, {"", "text/plain"},
    };
    for (const auto& [ext, type] : cases)
        EXPECT_EQ(files.MediaTypeFor(ext), QString(type)) << ext;
}

TEST(PackageNamesTest, NaturalOrderAndSpineSelection)
{
    QStringList names = {"part10.html", "Part2.html", "part1.html", "part02.html", "b.png", "A.css", "titlepage.html"};
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return NaturalCompare(a, b) < 0; });
    EXPECT_EQ(names, (QStringList{"A.css", "b.png", "part1.html", "Part2.html", "part02.html", "part10.html",
                                  "titlepage.html"}));
    EXPECT_EQ(SelectSpineFiles(names),
              (QStringList{"titlepage.html", "part1.html", "Part2.html", "part02.html", "part10.html"}));
    EXPECT_EQ(SelectSpineFiles({"x.htm", "y.css"}), QStringList{});
}

} // namespace
