#include "html/HtmlSplitter.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kUid = QStringLiteral("urn:uuid:1b4e28ba-2fa1-11d2-883f-0016d3cca427");
const QString kNcxNs = QStringLiteral("http://www.daisy.org/z3986/2005/ncx/");

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct NavPoint { QString label, playOrder, src; };

// What a split left in its folder, read back with a namespace-aware parser.
struct Book {
    QStringList parts;                       // file names, in order
    QHash<QString, QSet<QString>> ids;       // part -> ids in it
    QStringList links;                       // every href, "part#id" form
    QString text;                            // all part text
    QStringList badParts;                    // parts that are not well-formed
    bool ncxOk = false;
    QString uid, title, author;
    std::vector<NavPoint> nav;
};

void Collect(const QDomElement& element, const QString& part, Book& book)
{
    for (QDomElement e = element.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.hasAttribute("id"))
            book.ids[part].insert(e.attribute("id"));
        if (e.hasAttribute("href") && e.localName() == "a")
            book.links.append(e.attribute("href"));
        Collect(e, part, book);
    }
}

Book ReadBook(const QString& folder)
{
    Book book;
    for (int i = 0; QFile::exists(folder + QStringLiteral("/part%1.html").arg(i)); ++i) {
        const QString name = QStringLiteral("part%1.html").arg(i);
        book.parts.append(name);
        QDomDocument dom;
        if (!dom.setContent(Read(folder + '/' + name), true)) {
            book.badParts.append(name);
            continue;
        }
        Collect(dom.documentElement(), name, book);
        book.text += dom.documentElement().text();
    }
    QDomDocument ncx;
    if (!ncx.setContent(Read(folder + "/oebps.ncx"), true))
        return book;
    const QDomElement root = ncx.documentElement();
    book.ncxOk = root.namespaceURI() == kNcxNs;
    const QDomNodeList metas = root.elementsByTagNameNS(kNcxNs, "meta");
    for (int i = 0; i < metas.size(); ++i)
        if (metas.at(i).toElement().attribute("name") == "dtb:uid")
            book.uid = metas.at(i).toElement().attribute("content");
    book.title = root.firstChildElement("docTitle").text();
    book.author = root.firstChildElement("docAuthor").text();
    const QDomNodeList points = root.elementsByTagNameNS(kNcxNs, "navPoint");
    for (int i = 0; i < points.size(); ++i) {
        const QDomElement p = points.at(i).toElement();
        book.nav.push_back({p.firstChildElement("navLabel").text(), p.attribute("playOrder"),
                            p.firstChildElement("content").attribute("src")});
    }
    return book;
}

// True when "partN.html#id" names a written part holding that id.
bool Resolves(const Book& book, const QString& target)
{
    const QStringList pieces = target.split('#');
    if (!book.parts.contains(pieces[0]))
        return false;
    return pieces.size() == 1 || (pieces.size() == 2 && book.ids.value(pieces[0]).contains(pieces[1]));
}

class HtmlSplitterTest : public ::testing::Test {
protected:
    // Splits `pageFile` (copied into the temp folder as books.html).
    Book SplitCopy(const QString& pageFile, int limit, const QString& title = QString::fromUtf8("Τα Βιβλία & Co"))
    {
        const QString path = dir.filePath("books.html");
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(pageFile, path));
        return SplitAt(path, limit, title);
    }
    Book SplitAt(const QString& path, int limit, const QString& title = "T")
    {
        ConversionOptions options("in.azw", "out.epub");
        options.htmlPath = path;
        options.partSizeLimit = limit;
        HtmlSplitter splitter;
        splitter.SetBookInfo(title, QString::fromUtf8("Анна Каренина"), kUid);
        splitter.Split(options);
        anchorMap = splitter.AnchorMap();
        return ReadBook(dir.path());
    }
    QString Fixture() const { return QStringLiteral(TAVISTEL_TEST_DATA "/poppler/books.html"); }

    QTemporaryDir dir;
    QHash<QString, QString> anchorMap;
};

TEST_F(HtmlSplitterTest, RealPageFileGivesWellFormedLinkedParts)
{
    for (const int limit : {102400, 700}) {
        SCOPED_TRACE(limit);
        for (const QString& old : QDir(dir.path()).entryList({"part*.html"}))
            QFile::remove(dir.filePath(old));
        const Book book = SplitCopy(Fixture(), limit);

        ASSERT_FALSE(book.parts.isEmpty());
        EXPECT_TRUE(book.badParts.isEmpty()) << book.badParts.join(' ').toStdString();
        if (limit == 700) {
            EXPECT_GT(book.parts.size(), 2);
        } else {
            EXPECT_EQ(book.parts.size(), 1);
        }

        // Every page survives, the blank page 5 included, and the outline
        // section and the closing tags are not written.
        for (int page = 1; page <= 6; ++page)
            EXPECT_TRUE(Resolves(book, anchorMap.value(QString::number(page)))) << page;
        EXPECT_TRUE(book.text.contains("Latin text on the last page"));
        EXPECT_TRUE(book.text.contains(QString::fromUtf8("Это текст на русском языке.")));
        EXPECT_FALSE(book.text.contains("Document Outline"));

        // Internal links point at parts and ids that exist; the web link
        // keeps its (escaped, then read back) ampersand.
        int internal = 0;
        for (const QString& href : book.links) {
            if (href.startsWith("https:")) {
                EXPECT_EQ(href, "https://example.com/?a=1&b=2");
                continue;
            }
            ++internal;
            EXPECT_TRUE(Resolves(book, href)) << href.toStdString();
        }
        EXPECT_GE(internal, 6);

        // The navigation document: the book's title, author and identifier;
        // non-Latin and escaped titles kept; entries with one target share
        // one playOrder.
        ASSERT_TRUE(book.ncxOk);
        EXPECT_EQ(book.uid, kUid);
        EXPECT_EQ(book.title, QString::fromUtf8("Τα Βιβλία & Co"));
        EXPECT_EQ(book.author, QString::fromUtf8("Анна Каренина"));
        const QStringList labels = {"Contents", "Chapter 1: Tom & Jerry", "1.1 A section",
                                    QString::fromUtf8("Κεφάλαιο 2"), QString::fromUtf8("Глава 3"),
                                    QString::fromUtf8("第四章 日本")};
        ASSERT_EQ(book.nav.size(), size_t(labels.size()));
        for (size_t i = 0; i < book.nav.size(); ++i) {
            EXPECT_EQ(book.nav[i].label, labels[int(i)]);
            EXPECT_TRUE(Resolves(book, book.nav[i].src)) << book.nav[i].src.toStdString();
        }
        EXPECT_EQ(book.nav[1].src, book.nav[2].src);
        EXPECT_EQ(book.nav[1].playOrder, book.nav[2].playOrder);
        EXPECT_NE(book.nav[2].playOrder, book.nav[3].playOrder);
    }

    // The raw bytes: spaces are plain, pictures have alt texts.
    const QByteArray part0 = Read(dir.filePath("part0.html"));
    EXPECT_FALSE(part0.contains("lang=")) << "no language given, none claimed";
    EXPECT_FALSE(part0.contains("&#160;"));
    const QByteArray all = part0 + Read(dir.filePath("part1.html")) + Read(dir.filePath("part2.html"));
    EXPECT_TRUE(all.contains("<img src=\"book-2_1.png\" alt=\"\" />"));
}

TEST_F(HtmlSplitterTest, SmallPageFiles)
{
    const QByteArray head = "<html><head><title>x</title></head>\n<body>\n";
    const QByteArray outline =
        "<a name=\"outline\"></a><h1>Document Outline</h1>\n<ul>"
        "<li><a href=\"books.html#1\">One</a></li>"
        "<li><a href=\"books.html#2\">Two</a></li>"
        "<li><a href=\"books.html#9\">Missing</a></li>"
        "<li><a href=\"books.html\">No anchor</a></li>"
        "<li><a href=\"books.html#1\">1234</a></li></ul>\n";
    struct Case {
        const char* name;
        QByteArray file;
        int limit;
        QStringList navLabels;   // expected navigation labels
        QStringList partsOfAnchors; // part of anchors 1, 2 (empty: not recorded)
    };
    const Case cases[] = {
        {"two pages and an outline",
         head + "<a name=1></a>P1<br/>\n<hr>\n<A name=2></a>x<br/>\n<hr/>\n<a name=2></a>P2<br/>\n<hr/>\n" + outline + "<hr>\n</body></html>",
         102400, {"One", "Two"}, {"part0.html", "part0.html"}},
        {"the second page pushes into a new part",
         head + "<a name=1></a>P1<br/>\n<hr/>\n<a name=2></a>" + QByteArray(300, 'x') + "<br/>\n<hr/>\n" + outline + "<hr/>\n",
         400, {"One", "Two"}, {"part0.html", "part1.html"}},
        {"no closing separator after the outline: the first part stands in",
         head + "<a name=1></a>P1<br/>\n<hr/>\n<a name=2></a>P2<br/>\n<hr/>\n" + outline,
         102400, {"T"}, {"part0.html", "part0.html"}},
        {"pages without any line break are kept",
         head + "<a name=1></a>\n<hr/>\n<a name=2></a><img src=\"a/b.png\">\n<hr/>\n" + outline + "<hr/>\n",
         102400, {"One", "Two"}, {"part0.html", "part0.html"}},
        {"no body tag: pages start at the beginning",
         "<a name=1></a>P1<br/>\n<hr/>\n<a name=2></a>P2<br/>\n<hr/>\n" + outline + "<hr/>\n",
         102400, {"One", "Two"}, {"part0.html", "part0.html"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir caseDir;
        const QString path = caseDir.filePath("books.html");
        WriteFile(path, c.file);
        dir.swap(caseDir);
        const Book book = SplitAt(path, c.limit);
        dir.swap(caseDir);
        EXPECT_TRUE(book.badParts.isEmpty());
        for (int a = 0; a < 2; ++a)
            EXPECT_EQ(anchorMap.value(QString::number(a + 1)).section('#', 0, 0), c.partsOfAnchors[a]);
        ASSERT_TRUE(book.ncxOk);
        QStringList labels;
        for (const NavPoint& p : book.nav) {
            labels.append(p.label);
            EXPECT_TRUE(Resolves(book, p.src)) << p.src.toStdString();
        }
        EXPECT_EQ(labels, c.navLabels);
    }
}

TEST_F(HtmlSplitterTest, MissingPageFileStillGivesPartAndNavigation)
{
    const QString folder = dir.filePath("OEBPS");
    ASSERT_TRUE(QDir().mkpath(folder));
    ConversionOptions options("in.azw", "out.epub");
    options.htmlPath = folder; // a folder cannot be read as a page file
    HtmlSplitter splitter;
    splitter.SetBookInfo("Title", "Author", kUid);
    splitter.Split(options);
    const Book book = ReadBook(folder);
    EXPECT_EQ(book.parts, QStringList{"part0.html"});
    EXPECT_TRUE(book.badParts.isEmpty());
    ASSERT_TRUE(book.ncxOk);
    ASSERT_EQ(book.nav.size(), 1u);
    EXPECT_EQ(book.nav[0].label, "Title");
    EXPECT_EQ(book.nav[0].src, "part0.html");
}

} // namespace
