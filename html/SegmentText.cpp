#include "html/SegmentText.h"

#include "epub/MetaValues.h"

QString RemoveLineFeeds(QString text)
{
    text.remove(u'\n');
    text.remove(u'\r');
    return text;
}

QString AddImageAlt(QString text)
{
    static const QString kAlt = QStringLiteral(" alt=\"\" ");
    qsizetype from = 0;
    for (;;) {
        const qsizetype img = text.indexOf(QLatin1String("<img"), from);
        if (img < 0)
            break;
        const qsizetype close = text.indexOf(u'>', img);
        if (close < 0)
            break;
        const QStringView tag = QStringView(text).mid(img, close - img);
        if (tag.contains(QLatin1String(" alt="), Qt::CaseInsensitive)) {
            from = close;
            continue;
        }
        if (text.at(close - 1) == u'/') {
            text.insert(close - 1, kAlt);
            from = close - 1 + kAlt.size();
        } else {
            text.insert(close, kAlt + u'/');
            from = close + kAlt.size() + 1;
        }
    }
    return text;
}

QStringList SplitText(const QString& text, const QString& delimiter)
{
    QStringList pieces;
    if (delimiter.isEmpty())
        return pieces;
    QList<qsizetype> cuts;
    for (qsizetype at = text.indexOf(delimiter); at >= 0;
         at = text.indexOf(delimiter, at + delimiter.size() + 1))
        cuts.append(at);
    if (cuts.isEmpty())
        return pieces;
    pieces.append(text.left(cuts.first()));
    for (qsizetype i = 0; i + 1 < cuts.size(); ++i) {
        const qsizetype start = cuts[i] + delimiter.size();
        if (cuts[i + 1] > start && start < text.size())
            pieces.append(text.mid(start, cuts[i + 1] - start));
    }
    const qsizetype tail = cuts.last() + delimiter.size();
    if (tail < text.size())
        pieces.append(text.mid(tail));
    return pieces;
}

QString EnsureTrailingBreak(const QString& text)
{
    static const QString kBreak = QStringLiteral("<br/>");
    const QStringList pieces = SplitText(text, kBreak);
    if (pieces.isEmpty())
        return text.isEmpty() ? text : RemoveLineFeeds(text) + kBreak;
    QString result;
    result.reserve(text.size() + kBreak.size());
    for (const QString& piece : pieces)
        result += RemoveLineFeeds(piece) + kBreak;
    return result;
}

bool IsTextTitle(const QString& title)
{
    static const QString kMarks = QStringLiteral(" .;,:-?!()[]\"'");
    if (title.isEmpty())
        return false;
    qsizetype count = 0;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        if (c.isHighSurrogate() && i + 1 < title.size() && title.at(i + 1).isLowSurrogate()) {
            const char32_t code = QChar::surrogateToUcs4(c, title.at(i + 1));
            if (QChar::isLetter(code) || QChar::isMark(code))
                count += 2;
            ++i;
        } else if (c.isLetter() || c.isMark() || kMarks.contains(c)) {
            ++count;
        }
    }
    return count > title.size() / 2;
}

QString PlainLabel(const QString& title)
{
    QString bare;
    bare.reserve(title.size());
    bool inTag = false;
    for (const QChar c : title) {
        if (c == u'<')
            inTag = true;
        else if (c == u'>' && inTag)
            inTag = false;
        else if (!inTag)
            bare += c;
    }
    QString label = DecodeHtmlEntities(bare);
    label.replace(QChar(0xA0), u' ');
    return label.simplified();
}

QString AnchorId(const QString& name)
{
    QString id = QStringLiteral("p");
    id.reserve(name.size() + 1);
    for (const QChar c : name) {
        const bool ok = c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u'.';
        id += ok ? c : u'_';
    }
    return id;
}
