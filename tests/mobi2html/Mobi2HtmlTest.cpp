// Runs the real mobi2html tool on the fixture books and checks the HTML it writes.
#include <gtest/gtest.h>

#include <QtEndian>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>

namespace {

const QString kData = QStringLiteral(TAVISTEL_TEST_DATA);

struct RunResult {
    int exitCode = -1;
    bool crashed = false;
    QString stdErr;
};

RunResult RunTool(const QString &tool, const QString &book, const QString &folder, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, {book, folder});
    RunResult r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        r.crashed = true;
        return r;
    }
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.stdErr = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString Tool()
{
    return QStringLiteral(TAVISTEL_TOOL_DIR "/mobi2html");
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Captures(const QString &text, const QString &pattern)
{
    QStringList out;
    auto it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        out << it.next().captured(1);
    return out;
}

struct BookCase {
    const char *file;
    const char *title;
    const char *author;
    const char *date;
    const char *lang;
    bool cover;
    QStringList headings;   // texts of <h1>/<h2> in order
    QStringList extensions; // picture extensions that must appear
};

class ConvertBook : public testing::TestWithParam<BookCase> {};

TEST_P(ConvertBook, WritesHtmlWithMetadataPicturesAndLinks)
{
    const BookCase &c = GetParam();
    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/out/html";
    const RunResult r = RunTool(Tool(), kData + "/" + c.file, folder);
    ASSERT_FALSE(r.crashed);
    ASSERT_EQ(r.exitCode, 0) << r.stdErr.toStdString();
    EXPECT_TRUE(r.stdErr.isEmpty()) << r.stdErr.toStdString();

    const QString htmlName = QFileInfo(c.file).completeBaseName() + ".html";
    const QByteArray bytes = ReadAll(folder + "/" + htmlName);
    ASSERT_FALSE(bytes.isEmpty());
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString html = decoder(bytes);
    ASSERT_FALSE(decoder.hasError()) << "not valid UTF-8";
    EXPECT_TRUE(html.contains("<meta charset=\"utf-8\"/>"));

    EXPECT_TRUE(html.contains("<title>" + QString::fromUtf8(c.title) + "</title>"));
    EXPECT_TRUE(html.contains("<meta name=\"author\" content=\"" + QString::fromUtf8(c.author) + "\"/>"));
    EXPECT_TRUE(html.contains("<meta name=\"dcterms.created\" content=\"" + QString::fromUtf8(c.date) + "\"/>"));
    EXPECT_TRUE(html.contains("<html lang=\"" + QString::fromUtf8(c.lang) + "\">"));

    const QString body = html.mid(html.indexOf("<body>"));
    QStringList headings = Captures(body, "<h[12][^>]*>(.*?)</h[12]>");
    headings.replaceInStrings(QRegularExpression("<[^>]*>"), QString());
    EXPECT_EQ(headings.join(" | ").toStdString(), c.headings.join(" | ").toStdString());

    // Every picture referenced exists, every picture written is referenced.
    const QStringList sources = Captures(body, "<img[^>]* src=\"([^\"]+)\"");
    QSet<QString> written;
    for (const QFileInfo &fi : QDir(folder).entryInfoList(QDir::Files))
        if (fi.fileName() != htmlName)
            written.insert(fi.fileName());
    for (const QString &src : sources) {
        EXPECT_FALSE(src.contains('/')) << src.toStdString();
        EXPECT_TRUE(written.contains(src)) << src.toStdString();
    }
    EXPECT_EQ(QSet<QString>(sources.begin(), sources.end()), written);
    for (const QString &ext : c.extensions) {
        const bool found = std::any_of(written.begin(), written.end(), [&](const QString &f) { return f.endsWith("." + ext); });
        EXPECT_TRUE(found) << ext.toStdString();
    }
    if (c.cover) {
        ASSERT_FALSE(sources.isEmpty());
        // The cover is the first thing in the body and has its page.
        const int firstImg = body.indexOf("<img");
        EXPECT_TRUE(body.left(firstImg).contains("m2h-picture"));
        EXPECT_FALSE(body.left(firstImg).contains(QRegularExpression(">[^<\\s]")));
    }

    // Internal links point at anchors of this one file.
    const QStringList ids = Captures(html, " id=\"([^\"]+)\"");
    for (const QString &href : Captures(body, " href=\"([^\"]*)\"")) {
        ASSERT_TRUE(href.startsWith('#')) << href.toStdString();
        EXPECT_TRUE(ids.contains(href.mid(1))) << href.toStdString();
    }
    for (const char *leftover : {"kindle:", "mbp:", "filepos", "recindex", "data-AmznPageBreak", "part0000"}) {
        if (QString(leftover) == "part0000")
            EXPECT_FALSE(body.contains(".html")) << "link into another part";
        else
            EXPECT_FALSE(body.contains(leftover, Qt::CaseInsensitive)) << leftover;
    }
}

const QStringList kBasicHeadings = {"Chapter One: The Harbour", "The Keeper's Log", "Chapter Two: The Storm"};

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ConvertBook,
    testing::Values(BookCase{"basic.azw", "The Lantern Keeper", "Ada Whitlock", "2011-03-14", "en", true, kBasicHeadings, {"jpg"}},
                    BookCase{"huff.azw", "The Lantern Keeper", "Ada Whitlock", "2011-03-14", "en", true, kBasicHeadings, {"jpg"}},
                    BookCase{"gif.azw", "The Lantern Keeper", "Ada Whitlock", "2011-03-14", "en", true, kBasicHeadings, {"gif"}},
                    BookCase{"kf8only.azw", "The Lantern Keeper", "Ada Whitlock", "2011-03-14", "en", true, kBasicHeadings, {"jpg"}},
                    BookCase{"mobi7.azw", "The Lantern Keeper", "Ada Whitlock", "2011-03-14", "en", true, kBasicHeadings, {"jpg"}},
                    BookCase{"toc.azw", "Café Notes: A Guide", "Renée Marchand", "2009-06", "fr", true, {}, {"jpg"}},
                    BookCase{"toc_mobi7.azw", "Café Notes: A Guide", "Renée Marchand", "2009-06", "fr", true, {}, {"jpg"}},
                    BookCase{"western.azw", "Café Notes: A Guide", "Renée Marchand", "2009-06", "fr", true, {}, {"jpg"}},
                    BookCase{"cp1252.azw", "Café “Noir”", "Renée Marchand", "2010-02-01", "fr", false, {"Café “Noir”", "Second part"}, {}},
                    BookCase{"nonlatin.azw", "Ὀδύσσεια と 物語", "Ὅμηρος", "2015-11-02", "el", false, {"Ραψωδία α", "第一章"}, {}}),
    [](const testing::TestParamInfo<BookCase> &info) { return QFileInfo(info.param.file).completeBaseName().toStdString(); });

TEST(Mobi2Html, Windows1252TextBecomesUtf8)
{
    QTemporaryDir tmp;
    ASSERT_EQ(RunTool(Tool(), kData + "/cp1252.azw", tmp.path()).exitCode, 0);
    const QString html = QString::fromUtf8(ReadAll(tmp.path() + "/cp1252.html"));
    EXPECT_TRUE(html.contains("The crème costs 3 € — naïve prices, ½price on Sunday."));
    EXPECT_TRUE(html.contains("‘Fin’"));
}

TEST(Mobi2Html, TocEntriesThatAreNotHeadingsBecomeNestedBookmarks)
{
    for (const char *file : {"toc.azw", "toc_mobi7.azw"}) {
        SCOPED_TRACE(file);
        QTemporaryDir tmp;
        ASSERT_EQ(RunTool(Tool(), kData + "/" + file, tmp.path()).exitCode, 0);
        const QString html = QString::fromUtf8(ReadAll(tmp.path() + "/" + QFileInfo(file).completeBaseName() + ".html"));
        const struct {
            int level;
            const char *label;
        } entries[] = {{1, "Part One — Beans"}, {2, "Arabica"}, {2, "Robusta"}, {1, "Part Two — Water"}, {2, "Temperature"}};
        for (const auto &e : entries) {
            const QRegularExpression rule(QString("\\[id=\"([^\"]+)\"\\] \\{[^}]*bookmark-level: %1; bookmark-label: \"%2\"; \\}")
                                              .arg(e.level)
                                              .arg(QRegularExpression::escape(QString::fromUtf8(e.label))));
            const QRegularExpressionMatch m = rule.match(html);
            ASSERT_TRUE(m.hasMatch()) << e.label;
            // The rule names an element that exists and comes before the entry's text.
            const int at = html.indexOf(" id=\"" + m.captured(1) + "\"");
            ASSERT_GT(at, html.indexOf("<body>"));
            EXPECT_GT(html.indexOf(QString::fromUtf8(e.label), at), at);
        }
    }
}

TEST(Mobi2Html, PageBreaksAndBlockPicturesGetPagesOfTheirOwn)
{
    for (const char *file : {"toc.azw", "toc_mobi7.azw"}) {
        QTemporaryDir tmp;
        ASSERT_EQ(RunTool(Tool(), kData + "/" + file, tmp.path()).exitCode, 0);
        const QString html = QString::fromUtf8(ReadAll(tmp.path() + "/" + QFileInfo(file).completeBaseName() + ".html"));
        EXPECT_EQ(html.count("<div class=\"m2h-pagebreak\"></div>"), 2) << file; // the trailing one is dropped
        EXPECT_TRUE(html.contains(QRegularExpression("\\.m2h-pagebreak \\{[^}]*page-break-before: always")));
    }
    QTemporaryDir tmp;
    ASSERT_EQ(RunTool(Tool(), kData + "/basic.azw", tmp.path()).exitCode, 0);
    const QString html = QString::fromUtf8(ReadAll(tmp.path() + "/basic.html"));
    // Cover, the picture of chapter one and the one of chapter two.
    EXPECT_EQ(html.count(QRegularExpression("<div class=\"m2h-picture[^\"]*\">(<p>|<div>)?<img")), 3);
    EXPECT_TRUE(html.contains(QRegularExpression("\\.m2h-picture \\{[^}]*page-break-before: always; page-break-after: always")));
    EXPECT_TRUE(html.contains("max-width: 100%"));
    // The book's own CSS flow is inlined.
    EXPECT_TRUE(html.contains("p.note { font-style: italic;"));
}

// What the PDF-to-HTML step would otherwise reorder or lose: a picture with its caption in one
// block, list markers, ruby readings, vertical writing.
TEST(Mobi2Html, CaptionedPicturesListsRubyAndVerticalWritingKeepTheirOrder)
{
    QTemporaryDir tmp;
    ASSERT_EQ(RunTool(Tool(), kData + "/styles.azw", tmp.path()).exitCode, 0);
    const QString html = QString::fromUtf8(ReadAll(tmp.path() + "/styles.html"));
    // The captioned map starts a page; the paragraph with an icon in its text does not.
    EXPECT_TRUE(html.contains(QRegularExpression("<div class=\"m2h-pagebreak\"></div><blockquote[^>]*><img src=\"image\\d+\\.jpg\"")));
    EXPECT_FALSE(html.contains(QRegularExpression("m2h-pagebreak\"></div><p[^>]*>A paragraph with a small")));
    EXPECT_FALSE(html.contains(QRegularExpression("m2h-picture\"><[^>]*><img src=\"image\\d+\\.gif\"")));
    EXPECT_TRUE(html.contains(QString::fromUtf8("<rt>かんじ</rt>")));
    // Our rules come after the book's own vertical writing.
    const int own = html.indexOf("list-style-position: inside !important");
    EXPECT_GT(own, html.indexOf("writing-mode: vertical-rl"));
    for (const char *rule : {"writing-mode: horizontal-tb !important", "rp { display: none", "rt::before { content: \"(\""})
        EXPECT_GT(html.indexOf(rule, own), own) << rule;
}

TEST(Mobi2Html, OutputNameFollowsTheBookNameWhateverItHolds)
{
    QTemporaryDir tmp;
    const QString name = "My 'odd' $(book) \"v2\".copy.mobi";
    ASSERT_TRUE(QFile::copy(kData + "/basic.azw", tmp.path() + "/" + name));
    const RunResult r = RunTool(Tool(), tmp.path() + "/" + name, tmp.path() + "/out");
    ASSERT_EQ(r.exitCode, 0) << r.stdErr.toStdString();
    EXPECT_TRUE(QFile::exists(tmp.path() + "/out/My 'odd' $(book) \"v2\".copy.html"));
}

// Decodes the first line of an 8-bit RGB PNG without filtering, as the tool writes it.
TEST(Mobi2Html, TransparentPngIsFlattenedOntoWhite)
{
    QTemporaryDir tmp;
    ASSERT_EQ(RunTool(Tool(), kData + "/png.azw", tmp.path()).exitCode, 0);
    const QString html = QString::fromUtf8(ReadAll(tmp.path() + "/png.html"));
    ASSERT_TRUE(html.contains("src=\"image00001.png\"")); // a PNG stays a PNG
    const QByteArray png = ReadAll(tmp.path() + "/image00001.png");
    ASSERT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    ASSERT_EQ(png.mid(12, 4), "IHDR");
    const quint32 width = qFromBigEndian<quint32>(png.constData() + 16);
    EXPECT_EQ(png[16 + 8], 8);
    EXPECT_EQ(png[16 + 9], 2) << "still has an alpha channel";
    const int idat = png.indexOf("IDAT");
    ASSERT_GT(idat, 0);
    const quint32 len = qFromBigEndian<quint32>(png.constData() + idat - 4);
    QByteArray zipped(4, '\0');
    qToBigEndian<quint32>((width * 3 + 1) * 120, zipped.data());
    const QByteArray pixels = qUncompress(zipped + png.mid(idat + 4, len));
    ASSERT_GE(pixels.size(), int(width * 3 + 1));
    EXPECT_EQ(pixels[0], 0);
    // The corner was fully transparent: now white, not black.
    EXPECT_EQ(pixels.mid(1, 3), QByteArray(3, char(255)));
}

struct BadCase {
    const char *name;
    QByteArray content; // written to a file unless `fixture` is set
    const char *fixture;
    const char *reason;
};

class RefuseBook : public testing::TestWithParam<BadCase> {};

QByteArray Truncated(int size)
{
    return ReadAll(kData + "/basic.azw").left(size);
}

TEST_P(RefuseBook, FailsWithOneLineAndLeavesNothing)
{
    const BadCase &c = GetParam();
    QTemporaryDir tmp;
    QString book = c.fixture ? kData + "/" + c.fixture : tmp.path() + "/" + c.name;
    if (!c.fixture && QString(c.name) != "missing.azw") {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.content);
    }
    const QString folder = tmp.path() + "/out";
    const RunResult r = RunTool(Tool(), book, folder);
    ASSERT_FALSE(r.crashed);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.stdErr.count('\n'), 1) << r.stdErr.toStdString();
    EXPECT_TRUE(r.stdErr.contains(c.reason)) << r.stdErr.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder)) << "output folder left behind";
}

// Every fixture and every bad input through the AddressSanitizer/UBSan build of the tool.
TEST(Mobi2Html, RunsCleanUnderAddressSanitizer)
{
    const QString asan = QStringLiteral(TAVISTEL_BIN_DIR "/../tests/mobi2html_asan");
    if (!QFileInfo::exists(asan))
        GTEST_SKIP() << "mobi2html_asan not built";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ASAN_OPTIONS", "exitcode=86:detect_leaks=1");
    env.insert("UBSAN_OPTIONS", "halt_on_error=1:exitcode=87:print_stacktrace=1");
    QTemporaryDir tmp;
    QStringList books;
    for (const QFileInfo &fi : QDir(kData).entryInfoList({"*.azw"}, QDir::Files))
        books << fi.filePath();
    // Truncations at many lengths reach the loader's and parser's error paths.
    const QByteArray whole = ReadAll(kData + "/basic.azw");
    for (int size : {0, 10, 77, 78, 100, 300, 1000, 4096, 10000, 20000, 30000, 40000}) {
        const QString path = tmp.path() + QString("/cut%1.azw").arg(size);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(whole.left(size));
        books << path;
    }
    for (const QString &book : books) {
        SCOPED_TRACE(book.toStdString());
        const RunResult r = RunTool(asan, book, tmp.path() + "/out/" + QFileInfo(book).completeBaseName(), env);
        ASSERT_FALSE(r.crashed);
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode;
        EXPECT_FALSE(r.stdErr.contains("Sanitizer") || r.stdErr.contains("runtime error")) << r.stdErr.toStdString();
    }
}

QByteArray Epub()
{
    return QByteArray("PK\x03\x04\x0a\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x08\x00\x00\x00", 30) +
           "mimetypeapplication/epub+zip";
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, RefuseBook,
    testing::Values(BadCase{"drm", {}, "drm.azw", "the book is DRM-protected"},
                    BadCase{"rtl", {}, "rtl.azw", "right to left (Hebrew)"},
                    BadCase{"empty.azw", {}, nullptr, "the file is empty"},
                    BadCase{"missing.azw", {}, nullptr, "cannot be opened"},
                    BadCase{"text.azw", QByteArray(200, 'x'), nullptr, "not a MOBI book"},
                    BadCase{"book.epub", Epub(), nullptr, "EPUB book"},
                    BadCase{"doc.pdf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n", nullptr, "PDF document"},
                    BadCase{"book.kfx", "\xea" "DRMION\xee" + QByteArray(100, '\0'), nullptr, "KFX book"},
                    BadCase{"book.tpz", "TPZ0" + QByteArray(100, '\0'), nullptr, "Topaz book"},
                    BadCase{"header.azw", Truncated(70), nullptr, "too short"},
                    BadCase{"records.azw", Truncated(1000), nullptr, "damaged or truncated"},
                    BadCase{"half.azw", Truncated(20000), nullptr, "damaged or truncated"}),
    [](const testing::TestParamInfo<BadCase> &info) {
        return QString(info.param.name).replace('.', '_').toStdString();
    });

} // namespace
