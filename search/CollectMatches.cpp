#include "search/CollectMatches.h"

#include "search/Regex.h"

#include <QSet>

namespace {

QString FoldAscii(QString text)
{
    for (QChar& ch : text) {
        if (ch.unicode() >= u'A' && ch.unicode() <= u'Z')
            ch = QChar(ch.unicode() + 32);
    }
    return text;
}

} // namespace

bool CollectMatches(const QString& expression, const QString& text, bool firstOnly,
                    bool caseSensitive, QStringList& texts, QList<int>& positions,
                    QList<int>& lengths)
{
    texts.clear();
    if (expression.isEmpty() || text.isEmpty())
        return false;
    Regex regex;
    if (regex.Parse(expression, caseSensitive) != ErrNone)
        return false;

    RegexMatchContext context;
    QSet<QString> seen;
    const int length = int(text.size());
    int scan = 0;
    for (;;) {
        int end = 0;
        if (!regex.Match(text, scan, context, &end))
            break;
        const int start = context.matchStart;
        const QString matched = text.mid(start, end - start);
        const QString key = caseSensitive ? matched : FoldAscii(matched);
        if (!seen.contains(key)) {
            seen.insert(key);
            texts.append(matched);
            positions.append(start);
            lengths.append(end - start);
            if (firstOnly)
                break;
        }
        scan = end;
        if (scan >= length)
            break;
        if (end == start)
            ++scan;   // always move on after an empty match
    }
    return true;
}
