#include "html/HtmlSplitter.h"

#include "base/Paths.h"
#include "epub/NcxCreator.h"
#include "html/SegmentText.h"
#include "html/XhtmlRepair.h"
#include "search/PatternSearch.h"
#include "search/PatternSearcher.h"

#include <QFile>
#include <QUrl>

namespace {

const QString kBreak = QStringLiteral("<br/>");

// Leading "<a ...></a>" of a segment, used by the page rules.
int LeadingEmptyAnchorLength(const QString& segment)
{
    const MatchResult match = FindFirst(segment, SearchPattern{QStringLiteral("<a.*?></a>"), 0x11}, 0);
    return match.found && match.position == 0 ? match.length : 0;
}

bool MatchesAtStart(const QString& text, const QString& pattern)
{
    if (text.isEmpty())
        return false;
    const MatchResult match = FindFirst(text, SearchPattern{pattern, 0x01}, 0);
    return match.found && match.position == 0;
}

bool RuleEnabled(const std::unique_ptr<HeadingPattern>& rule)
{
    return rule && rule->enabled && !rule->pattern.isEmpty();
}

} // namespace

HtmlSplitter::HtmlSplitter()
    : outlineMarker(QStringLiteral("<a name=\"outline\"></a><h1>document outline</h1>"))
    , bodyPattern(QStringLiteral("<body(.|\n)*?>"))
    , separatorPattern(QStringLiteral("<hr(.|\n)*?>"))
    // Text, breaks and anchors may not stand directly in an XHTML body: the
    // content of every part sits in one block.
    , partHeader(HtmlWriter::kPartHeader + QStringLiteral("<div>\n"))
    , partFooter(QStringLiteral("</div>\n") + HtmlWriter::kPartFooter)
{
}

HtmlSplitter::~HtmlSplitter() = default;

void HtmlSplitter::SetBookInfo(QString title, QString author, QString identifier)
{
    bookTitle = std::move(title);
    bookAuthor = std::move(author);
    bookIdentifier = std::move(identifier);
}

void HtmlSplitter::Split(const ConversionOptions& bookOptions)
{
    options = &bookOptions;
    anchorMap.clear();
    usedIds.clear();
    navEntries.clear();
    partsWritten = 0;

    QFile input(options->htmlPath);
    const bool readable = input.open(QIODevice::ReadOnly);
    partFolder = readable ? ParentFolder(options->htmlPath) : options->htmlPath;
    if (partFolder.isEmpty())
        partFolder = QStringLiteral(".");
    pageFileName = FileNameOf(options->htmlPath);

    PatternSearcher searcher(&input);
    if (readable)
        searcher.FindNext(bodyPattern);  // the head is not written
    QString header = partHeader;
    if (!bookLanguage.isEmpty())
        header.replace(QLatin1String("<html "), QStringLiteral("<html xml:lang=\"%1\" ").arg(bookLanguage.toHtmlEscaped()));
    writer = std::make_unique<HtmlWriter>(partFolder, header, partFooter, options->partSizeLimit);

    for (ScanResult r = searcher.FindNext(separatorPattern); readable && !r.atEnd;
         r = searcher.FindNext(separatorPattern)) {
        QStringList anchors;
        const QString s = ProcessSegment(r.before, anchors);
        if (s.isEmpty())
            continue;
        if (writer->partBytes + s.size() >= writer->partLimit)
            writer->StartPart();
        for (const QString& name : anchors)
            anchorMap.insert(name, writer->partName + u'#' + AnchorId(name));
        writer->Write(s);
    }
    writer->FinishPart();
    partsWritten = writer->partCount;
    writer.reset();
    input.close();

    RewriteLinks();
    WriteNavigation();
}

QString HtmlSplitter::ProcessSegment(const QString& segment, QStringList& anchors)
{
    QString s = RemoveLineFeeds(segment);
    if (IsOutline(s)) {
        BuildToc(s);
        return {};
    }
    s = ApplyPageRules(s);
    s.replace(QLatin1String("<A "), QLatin1String("<a "));
    s.replace(QLatin1String("<IMG "), QLatin1String("<img "));
    // The tool writes every space as a no-break space.
    s.replace(QLatin1String("&#160;"), QLatin1String(" "));
    s = RewriteAnchors(s, anchors);
    s = AddImageAlt(s);
    s = EnsureTrailingBreak(s);
    // Last: the steps above work on the tool's own spelling of the tags.
    return s.isEmpty() ? s : RepairXhtml(s);
}

bool HtmlSplitter::IsOutline(const QString& segment) const
{
    if (segment.size() < outlineMarker.size())
        return false;
    QString head = segment.left(outlineMarker.size());
    for (QChar& c : head)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return head == outlineMarker;
}

// The page rules find lines by their line feeds; a segment without any (as
// every segment is once its line breaks are gone) is left as it is.
QString HtmlSplitter::ApplyPageRules(QString s) const
{
    if (!options || !s.contains(u'\n'))
        return s;
    if (RuleEnabled(options->headingPattern)) {
        qsizetype pos = LeadingEmptyAnchorLength(s);
        if (s.size() - pos >= 6 && s.mid(pos, 4).compare(QLatin1String("<img"), Qt::CaseInsensitive) == 0) {
            const qsizetype lineFeed = s.indexOf(u'\n', pos);
            pos = lineFeed < 0 ? 0 : lineFeed + 1;
        }
        // The text up to and including the headingLines-th following line feed.
        qsizetype end = pos - 1;
        for (int line = 0; line < options->headingPattern->headingLines && end != -1; ++line)
            end = s.indexOf(u'\n', end + 1);
        if (end >= pos && MatchesAtStart(s.mid(pos, end + 1 - pos), options->headingPattern->pattern))
            s.remove(pos, end + 1 - pos);
    }
    if (RuleEnabled(options->numberPattern) && s.size() > 1) {
        const qsizetype lineFeed = s.lastIndexOf(u'\n', s.size() - 2);
        if (lineFeed >= 0 && MatchesAtStart(s.mid(lineFeed + 1), options->numberPattern->pattern))
            s.truncate(lineFeed + 1);
    }
    return s;
}

// "<a name=X>" becomes "<a id=\"pX\">" (quotes around X dropped); X is
// recorded for the anchor map. A name met before in the book keeps no id,
// since ids must be unique.
QString HtmlSplitter::RewriteAnchors(const QString& segment, QStringList& anchors)
{
    static const QString kOpen = QStringLiteral("<a name=");
    qsizetype at = segment.indexOf(kOpen);
    if (at < 0)
        return segment;
    QString result;
    result.reserve(segment.size() + 16);
    qsizetype done = 0;
    while (at >= 0) {
        const qsizetype close = segment.indexOf(u'>', at + kOpen.size());
        if (close < 0)
            break;
        QString name = segment.mid(at + kOpen.size(), close - at - kOpen.size()).trimmed();
        if (name.endsWith(u'/'))
            name.chop(1);
        while (name.size() >= 1 && (name.front() == u'"' || name.front() == u'\''))
            name.remove(0, 1);
        while (name.size() >= 1 && (name.back() == u'"' || name.back() == u'\''))
            name.chop(1);
        result += QStringView(segment).mid(done, at - done);
        const QString id = AnchorId(name);
        if (name.isEmpty() || usedIds.contains(id)) {
            result += QStringLiteral("<a>");
        } else {
            usedIds.insert(id);
            anchors.append(name);
            result += QStringLiteral("<a id=\"") + id + QStringLiteral("\">");
        }
        done = close + 1;
        at = segment.indexOf(kOpen, done);
    }
    result += QStringView(segment).mid(done);
    return result;
}

void HtmlSplitter::BuildToc(const QString& segment)
{
    // A later outline replaces an earlier one.
    navEntries.clear();
    // The tool writes its links in lower case: the search ignores case.
    const SearchPattern links{QStringLiteral("<A href=(?<href>.*?)>(?<title>.*?)</A>"), 0x01};
    for (const MatchResult& match : FindAll(segment, links)) {
        const QString label = PlainLabel(match.Value(QStringLiteral("title")));
        if (!IsTextTitle(label))
            continue;
        QString href = match.Value(QStringLiteral("href"));
        while (href.endsWith(u'"'))
            href.chop(1);
        while (href.startsWith(u'"'))
            href.remove(0, 1);
        const QString target = ResolveTocTarget(href);
        // A target outside the parts would point at the deleted page file.
        if (!target.isEmpty())
            navEntries.append({label, target});
    }
}

// "books.html#5" -> the part and id where anchor 5 landed; empty when the
// link names no recorded anchor.
QString HtmlSplitter::ResolveTocTarget(const QString& href) const
{
    const QStringList pieces = SplitText(href, QStringLiteral("#"));
    if (pieces.size() != 2)
        return {};
    return anchorMap.value(pieces[1]);
}

// The tool's internal links name the page file, which does not ship: point
// them at the part and anchor each page landed in, and unlink the rest.
void HtmlSplitter::RewriteLinks()
{
    static const QByteArray kHref = " href=\"";
    for (int i = 0; i < partsWritten; ++i) {
        const QString path = partFolder + QStringLiteral("/part%1.html").arg(i);
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = in.readAll();
        in.close();
        QByteArray out;
        qsizetype done = 0;
        bool changed = false;
        for (qsizetype at = text.indexOf(kHref); at >= 0; at = text.indexOf(kHref, done)) {
            const qsizetype start = at + kHref.size();
            const qsizetype end = text.indexOf('"', start);
            if (end < 0)
                break;
            const QByteArray value = text.mid(start, end - start);
            const qsizetype hash = value.indexOf('#');
            const QString file = hash < 0 ? QString() : QUrl::fromPercentEncoding(value.left(hash));
            if (hash < 0 || (!file.isEmpty() && file != pageFileName)) {
                out.append(text.constData() + done, end + 1 - done);
                done = end + 1;
                continue;
            }
            const QString target = anchorMap.value(QString::fromUtf8(value.mid(hash + 1)));
            out.append(text.constData() + done, at - done);
            changed = true;
            if (!target.isEmpty())
                out += kHref + target.toUtf8() + '"';
            done = end + 1;
        }
        if (!changed)
            continue;
        out.append(text.constData() + done, text.size() - done);
        // A plain rewrite: the part is an intermediate file, and syncing
        // every part to disk would cost more than the split itself.
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(out);
    }
}

void HtmlSplitter::WriteNavigation()
{
    NcxCreator ncx(bookTitle, bookAuthor, bookIdentifier);
    for (const NavEntry& entry : navEntries)
        ncx.AddNavPoint(entry.label, entry.target);
    // An empty navigation map is not a valid book: point at the first part.
    if (navEntries.isEmpty())
        ncx.AddNavPoint(bookTitle.trimmed().isEmpty() ? QStringLiteral("Start") : bookTitle,
                        QStringLiteral("part0.html"));
    ncx.Save(partFolder + QStringLiteral("/oebps.ncx"));
}
