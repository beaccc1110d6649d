#include "epub/MetaData.h"

#include "base/TextCodec.h"
#include "search/PatternSearch.h"

#include <QFile>

void MetaData::Extract(QString path)
{
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    const qsizetype end = bytes.indexOf('\0');
    if (end >= 0)
        bytes.truncate(end);
    // poppler writes UTF-8; an older or hand-made document may be Latin-1.
    Parse(Utf8ToWide(bytes).value_or(QString::fromLatin1(bytes)));
}

void MetaData::Parse(const QString& text)
{
    title = FindTagText(text, QStringLiteral("Title"));
    author = FindMetaContent(text, QStringLiteral("author"));
    date = FindMetaContent(text, QStringLiteral("date"));
}

QString MetaData::FindTagText(const QString& text, const QString& name)
{
    const SearchPattern pattern{QStringLiteral("<%1.*?>(?<info>.*?)</%1>").arg(name), PatternIgnoreCase};
    const MatchResult result = FindFirst(text, pattern, 0);
    return result.found ? result.Value(QStringLiteral("info")) : QString();
}

QString MetaData::FindMetaContent(const QString& text, const QString& name)
{
    // The value runs to its closing quote, whether the element ends in ">" or
    // in "/>" as poppler writes it.
    const QString prefix = QStringLiteral("<META name=\"%1\" content=\"").arg(name);
    const SearchPattern pattern{prefix + QStringLiteral("(?<content>.*?)\""), PatternIgnoreCase};
    const MatchResult result = FindFirst(text, pattern, 0);
    if (!result.found || result.text.size() < prefix.size() + 1)
        return {};
    return result.text.mid(prefix.size(), result.text.size() - prefix.size() - 1);
}
