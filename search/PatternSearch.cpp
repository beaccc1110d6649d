#include "search/PatternSearch.h"

#include "search/CollectMatches.h"

namespace {

const QString kCaptureOpen = QStringLiteral("(?<");
const QString kCaptureClose = QStringLiteral(">.*?)");
const QString kLazyAny = QStringLiteral("(.|\n)*?");

QString SearchedText(const QString& text, const SearchPattern& pattern, int offset)
{
    QString searched = offset > 0 ? text.mid(offset) : text;
    if (pattern.flags & PatternDropLineFeeds)
        searched.remove(QLatin1Char('\n'));
    return searched;
}

MatchResult MakeResult(const QString& templ, const QString& matched, int position)
{
    MatchResult result;
    result.found = true;
    result.position = position;
    result.length = int(matched.size());
    result.text = matched;
    result.fields = ParseNamedFields(templ);
    ExtractFieldValues(result.fields, matched);
    return result;
}

// Position of the first match of expression in text ignoring case, -1 when none.
int FirstPosition(const QString& expression, const QString& text)
{
    QStringList texts;
    QList<int> positions, lengths;
    if (!CollectMatches(expression, text, true, false, texts, positions, lengths)
        || positions.isEmpty())
        return -1;
    return positions.first();
}

} // namespace

QString TemplateToRegex(const QString& templ)
{
    QString result = templ;
    qsizetype i = result.indexOf(kCaptureOpen);
    qsizetype j = templ.indexOf(kCaptureClose);
    while (i >= 0 && j >= 0) {
        result = result.left(i) + kLazyAny + templ.mid(j + kCaptureClose.size());
        i = result.indexOf(kCaptureOpen);
        j = templ.indexOf(kCaptureClose, j + kCaptureClose.size());
    }
    return result;
}

QString StripWildcard(QString text)
{
    qsizetype at = text.indexOf(QStringLiteral(".*?"));
    if (at >= 0)
        text.remove(at, 3);
    at = text.indexOf(kLazyAny);
    if (at >= 0)
        text.remove(at, kLazyAny.size());
    return text;
}

QList<NamedField> ParseNamedFields(const QString& templ)
{
    QList<NamedField> fields;
    QString rest = templ;
    qsizetype i = rest.indexOf(kCaptureOpen);
    qsizetype j = rest.indexOf(kCaptureClose);
    if (i < 0)
        return fields;
    while (j >= 0) {
        NamedField field;
        field.prefix = rest.left(i);
        field.name = rest.mid(i + kCaptureOpen.size(), j - i - kCaptureOpen.size());
        rest = rest.mid(j + kCaptureClose.size());
        i = rest.indexOf(kCaptureOpen);
        j = rest.indexOf(kCaptureClose);
        field.suffix = (j < 0 || i < 0) ? rest : rest.left(i);
        field.suffix = StripWildcard(field.suffix);
        field.prefix = StripWildcard(field.prefix);
        fields.append(field);
        if (i < 0)
            break;
    }
    return fields;
}

void ExtractFieldValues(QList<NamedField>& fields, const QString& matched)
{
    for (NamedField& field : fields) {
        field.value.clear();
        const int h = FirstPosition(field.prefix, matched);
        if (h < 0)
            continue;
        const int start = h + int(field.prefix.size());
        // A suffix that is empty or absent lets the value run to the end.
        const int m = FirstPosition(field.suffix, matched);
        if (m < 0 || m < start)
            field.value = matched.mid(start);
        else
            field.value = matched.mid(start, m - start);
    }
}

MatchResult FindFirst(const QString& text, const SearchPattern& pattern, int offset)
{
    if (offset < 0)
        offset = 0;
    const QString searched = SearchedText(text, pattern, offset);
    QStringList texts;
    QList<int> positions, lengths;
    if (!CollectMatches(TemplateToRegex(pattern.text), searched, true,
                        !(pattern.flags & PatternIgnoreCase), texts, positions, lengths)
        || texts.isEmpty())
        return {};
    return MakeResult(pattern.text, texts.first(), positions.first() + offset);
}

QList<MatchResult> FindAll(const QString& text, const SearchPattern& pattern)
{
    const QString searched = SearchedText(text, pattern, 0);
    QStringList texts;
    QList<int> positions, lengths;
    QList<MatchResult> results;
    if (!CollectMatches(TemplateToRegex(pattern.text), searched, false,
                        !(pattern.flags & PatternIgnoreCase), texts, positions, lengths))
        return results;
    results.reserve(texts.size());
    for (qsizetype k = 0; k < texts.size(); ++k)
        results.append(MakeResult(pattern.text, texts[k], positions[k]));
    return results;
}
