#include "base/ConversionOptions.h"

#include <utility>

namespace {

const QString kHeadingPattern = QStringLiteral(
    "(<b>[IVX0-9]*?</b><br>\r\n[^<]*?<br>\r\n)|([^<]*?<br>\r\n<b>[IVX0-9]*?</b><br>\r\n)");
const QString kNumberPattern = QStringLiteral("<b>[IVX0-9]*?</b><br>");

std::unique_ptr<HeadingPattern> MakePattern(int lines, const QString& literal)
{
    auto pattern = std::make_unique<HeadingPattern>();
    pattern->enabled = true;
    pattern->headingLines = lines;
    pattern->pattern = EscapeControls(literal);
    return pattern;
}

} // namespace

ConversionOptions::ConversionOptions(QString source, QString target)
    : sourcePath(std::move(source))
    , targetPath(std::move(target))
    , headingPattern(MakePattern(2, kHeadingPattern))
    , numberPattern(MakePattern(1, kNumberPattern))
{
}

QString EscapeControls(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    out.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    out.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    return out;
}

QString UnescapeControls(const QString& text)
{
    QString out = text;
    out.remove(QLatin1Char('\n'));
    out.remove(QLatin1Char('\r'));
    out.remove(QLatin1Char('\t'));
    out.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    out.replace(QStringLiteral("\\r"), QStringLiteral("\r"));
    out.replace(QStringLiteral("\\t"), QStringLiteral("\t"));
    return out;
}
