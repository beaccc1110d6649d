#include "search/PatternSearch.h"
#include "search/PatternSearcher.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kLinkTemplate = QStringLiteral("<A href=(?<href>.*?)>(?<title>.*?)</A>");
const QString kHrTemplate = QStringLiteral("<hr(.|\n)*?>");

} // namespace

TEST(TemplateToRegex, TurnsNamedCapturesIntoLazyAnything)
{
    const struct { QString in, out; } cases[] = {
        {kLinkTemplate, QStringLiteral("<A href=(.|\n)*?>(.|\n)*?</A>")},
        {QStringLiteral("<a name=(?<href>.*?)>"), QStringLiteral("<a name=(.|\n)*?>")},
        {QStringLiteral("<body(.|\n)*?>"), QStringLiteral("<body(.|\n)*?>")},
        {QStringLiteral("a(?<x>b"), QStringLiteral("a(?<x>b")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TemplateToRegex(c.in), c.out) << c.in.toStdString();
}

TEST(ParseNamedFields, TakesLiteralTextAroundEachCapture)
{
    const QList<NamedField> link = ParseNamedFields(kLinkTemplate);
    ASSERT_EQ(link.size(), 2);
    EXPECT_EQ(link[0].name, QStringLiteral("href"));
    EXPECT_EQ(link[0].prefix, QStringLiteral("<A href="));
    EXPECT_EQ(link[0].suffix, QStringLiteral(">"));
    EXPECT_EQ(link[1].name, QStringLiteral("title"));
    EXPECT_EQ(link[1].prefix, QStringLiteral(">"));
    EXPECT_EQ(link[1].suffix, QStringLiteral("</A>"));

    const QList<NamedField> info = ParseNamedFields(QStringLiteral("<title.*?>(?<info>.*?)</title>"));
    ASSERT_EQ(info.size(), 1);
    EXPECT_EQ(info[0].prefix, QStringLiteral("<title>"));
    EXPECT_EQ(info[0].suffix, QStringLiteral("</title>"));
    EXPECT_TRUE(ParseNamedFields(QStringLiteral("<hr(.|\n)*?>")).isEmpty());
}

TEST(FindFirst, FindsMatchesAndTheirNamedValues)
{
    const QString meta = QStringLiteral("<META name=\"author\" content=\"(?<content>.*?)\">");
    const QString title = QStringLiteral("<title.*?>(?<info>.*?)</title>");
    const struct {
        QString text;
        SearchPattern pattern;
        int offset;
        int position;   // -1: not found
        int length;
        const char* name;
        QString value;
    } cases[] = {
        {QStringLiteral("x<A HREF=a.html#c1>One</A>"), {kLinkTemplate, 0x01}, 0, 1, 25, "href",
         QStringLiteral("a.html#c1")},
        {QStringLiteral("x<A HREF=a.html#c1>One</A>"), {kLinkTemplate, 0x01}, 0, 1, 25, "title",
         QStringLiteral("One")},
        {QStringLiteral("x<A HREF=a.html#c1>One</A>"), {kLinkTemplate, 0x01}, 0, 1, 25, "HREF", QString()},
        {QStringLiteral("<a href=\"b.html#5\">Two</a>"), {kLinkTemplate, 0x01}, 0, 0, 26, "href",
         QStringLiteral("\"b.html#5\"")},
        {QStringLiteral("x<A HREF=a.html#c1>One</A>"), {kLinkTemplate, 0x00}, 0, -1, 0, "", {}},
        {QStringLiteral("x<A HREF=a.html#c1>One</A>"), {kLinkTemplate, 0x02}, 0, -1, 0, "", {}},
        {QStringLiteral("<title lang=\"en\">Book</title>"), {title, 0x01}, 0, 0, 29, "info", QString()},
        {QStringLiteral("<head><TITLE>Book &amp; Co</TITLE>"), {title, 0x01}, 0, 6, 28, "info",
         QStringLiteral("Book &amp; Co")},
        {QStringLiteral("<meta name=\"author\" content=\"Jane\"/>"), {meta, 0x01}, 0, -1, 0, "", {}},
        {QStringLiteral("<meta name=\"author\" content=\"Jane\">"), {meta, 0x01}, 0, 0, 35, "content",
         QStringLiteral("Jane")},
        {QStringLiteral("<b>1</b><b>2</b>"), {QStringLiteral("<b>(?<n>.*?)</b>"), 0}, 3, 8, 8, "n",
         QStringLiteral("2")},
        // Line feeds dropped: positions count the text without them.
        {QStringLiteral("x\ny<a\nname=1></a>"), {QStringLiteral("<a.*?></a>"), 0x11}, 0, 2, 13, "", {}},
        {QStringLiteral("x"), {QString(), 0x01}, 0, -1, 0, "", {}},
        {QString(), {kHrTemplate, 0x01}, 0, -1, 0, "", {}},
        {QStringLiteral("x"), {QStringLiteral("[x"), 0x01}, 0, -1, 0, "", {}},
    };
    for (const auto& c : cases) {
        const MatchResult r = FindFirst(c.text, c.pattern, c.offset);
        SCOPED_TRACE(c.text.toStdString() + " / " + c.pattern.text.toStdString());
        if (c.position < 0) {
            EXPECT_FALSE(r.found);
            EXPECT_EQ(r.position, 0);
            EXPECT_TRUE(r.text.isEmpty());
            EXPECT_TRUE(r.fields.isEmpty());
            continue;
        }
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.position, c.position);
        EXPECT_EQ(r.length, c.length);
        QString searched = c.text;
        if (c.pattern.flags & PatternDropLineFeeds)
            searched.remove(QLatin1Char('\n'));
        EXPECT_EQ(r.text, searched.mid(c.position, c.length));
        if (*c.name) {
            EXPECT_EQ(r.Value(QString::fromLatin1(c.name)), c.value);
        }
    }
}

TEST(FindAll, CollectsDistinctMatchesInTextOrder)
{
    const SearchPattern anchors{QStringLiteral("<a name=(?<href>.*?)>"), 0x02};
    const QList<MatchResult> same = FindAll(QStringLiteral("<a name=x>a<a name=x>b"), anchors);
    ASSERT_EQ(same.size(), 1);
    EXPECT_EQ(same[0].Value(QStringLiteral("href")), QStringLiteral("x"));

    const QList<MatchResult> two = FindAll(QStringLiteral("p<a name=x>a<A NAME=z><a name=y>b"), anchors);
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[0].position, 1);
    EXPECT_EQ(two[0].Value(QStringLiteral("href")), QStringLiteral("x"));
    EXPECT_EQ(two[1].position, 22);
    EXPECT_EQ(two[1].Value(QStringLiteral("href")), QStringLiteral("y"));

    const QString outline = QStringLiteral(
        "<li><a href=\"b.html#1\">One</a></li><li><a href=\"b.html#2\">Two</a></li>");
    const QList<MatchResult> links = FindAll(outline, {kLinkTemplate, PatternIgnoreCase});
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[1].Value(QStringLiteral("href")), QStringLiteral("\"b.html#2\""));
    EXPECT_EQ(links[1].Value(QStringLiteral("title")), QStringLiteral("Two"));
    EXPECT_TRUE(FindAll(outline, {kLinkTemplate, 0}).isEmpty());
    EXPECT_TRUE(FindAll(QString(), anchors).isEmpty());
}

namespace {

// Runs FindNext over the bytes until atEnd; returns (before, matched) pairs,
// the final rest last with an empty match.
QList<std::pair<QString, QString>> Scan(const QByteArray& bytes, const QString& templ)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.html"));
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    QFile in(path);
    EXPECT_TRUE(in.open(QIODevice::ReadOnly));
    PatternSearcher searcher(&in);
    QList<std::pair<QString, QString>> parts;
    for (;;) {
        const ScanResult r = searcher.FindNext(templ);
        parts.append({r.before, r.matched});
        if (r.atEnd) {
            const ScanResult again = searcher.FindNext(templ);
            EXPECT_TRUE(again.atEnd);
            EXPECT_EQ(again.before, r.before);
            EXPECT_TRUE(again.matched.isEmpty());
            break;
        }
    }
    return parts;
}

using Parts = QList<std::pair<QString, QString>>;

} // namespace

TEST(PatternSearcher, HandsOutTheTextBetweenMatches)
{
    const QString euros(4000, QChar(0x20AC));   // 12000 bytes without any ASCII byte
    const struct {
        const char* what;
        QByteArray bytes;
        Parts parts;
    } cases[] = {
        {"small file", "one<hr>two<HR/>three",
         {{"one", "<hr>"}, {"two", "<HR/>"}, {"three", ""}}},
        {"no match", "just text", {{"just text", ""}}},
        {"empty file", "", {{"", ""}}},
        {"match straddles the first chunk", QByteArray(8190, 'a') + "<hr\nclass=x>b",
         {{QString(8190, QLatin1Char('a')), "<hr\nclass=x>"}, {"b", ""}}},
        {"tag opening repeated across chunks", QByteArray(8189, 'a') + "<h<hr>b",
         {{QString(8189, QLatin1Char('a')) + "<h", "<hr>"}, {"b", ""}}},
        {"two-byte character cut by the chunk end", QByteArray(8191, 'a') + "\xC3\xA9<hr>z",
         {{QString(8191, QLatin1Char('a')) + QChar(0xE9), "<hr>"}, {"z", ""}}},
        {"chunk without ASCII", euros.toUtf8() + "<hr>end", {{euros, "<hr>"}, {"end", ""}}},
        {"unclosed separator over many lines", "a<hr" + QByteArray(20000, '\n') + "b<hr>c",
         {{"a", "<hr" + QString(20000, QLatin1Char('\n')) + "b<hr>"}, {"c", ""}}},
        {"unclosed separator to the end", "a<hr" + QByteArray(20000, '\n'),
         {{"a<hr" + QString(20000, QLatin1Char('\n')), ""}}},
        {"many chunks, match at the end", QByteArray(50000, 'x') + "<hr/>",
         {{QString(50000, QLatin1Char('x')), "<hr/>"}, {"", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Scan(c.bytes, kHrTemplate), c.parts);
    }
}

TEST(PatternSearcher, SkipsTheHeadThenCutsAtSeparators)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.html"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("<html><head><title>T</title></head>\n<BODY bgcolor=\"#A0A0A0\"\nvlink=\"blue\">\n"
              "<a name=1></a>P1<br/>\n<hr/>\n<a name=2></a>P2<br/>\n<hr/>\n</body></html>");
    out.close();
    QFile in(path);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    {
        PatternSearcher searcher(&in);
        const ScanResult head = searcher.FindNext(QStringLiteral("<body(.|\n)*?>"));
        EXPECT_EQ(head.before, QStringLiteral("<html><head><title>T</title></head>\n"));
        EXPECT_EQ(head.matched, QStringLiteral("<BODY bgcolor=\"#A0A0A0\"\nvlink=\"blue\">"));
        QStringList pages;
        for (ScanResult r = searcher.FindNext(kHrTemplate); !r.atEnd; r = searcher.FindNext(kHrTemplate))
            pages.append(r.before);
        EXPECT_EQ(pages, (QStringList{QStringLiteral("\n<a name=1></a>P1<br/>\n"),
                                      QStringLiteral("\n<a name=2></a>P2<br/>\n")}));
    }
    EXPECT_FALSE(in.isOpen());   // the searcher closes its stream
}

TEST(PatternSearcher, UnreadableStreamReadsAsEmpty)
{
    QFile missing(QStringLiteral("/nonexistent/tavistel/page.html"));
    EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
    PatternSearcher searcher(&missing);
    const ScanResult r = searcher.FindNext(kHrTemplate);
    EXPECT_TRUE(r.atEnd);
    EXPECT_TRUE(r.before.isEmpty());

    PatternSearcher none(nullptr);
    EXPECT_TRUE(none.FindNext(kHrTemplate).atEnd);
}

TEST(PatternSearcher, StreamsTenMegabytesWithoutASeparator)
{
    QByteArray bytes;
    const QByteArray line("<b>Line</b> of text &#160; <i>x</i><br/>\n");
    while (bytes.size() < 10 * 1024 * 1024)
        bytes += line;
    const Parts parts = Scan(bytes + "<hr>tail", kHrTemplate);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0].first.size(), bytes.size());
    EXPECT_EQ(parts[0].second, QStringLiteral("<hr>"));
    EXPECT_EQ(parts[1].first, QStringLiteral("tail"));
}
