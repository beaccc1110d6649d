#include "epub/MetaValues.h"

#include <QHash>
#include <QRegularExpression>

namespace {

const QHash<QString, char32_t>& NamedEntities()
{
    static const QHash<QString, char32_t> table = {
        {"amp", U'&'},       {"lt", U'<'},        {"gt", U'>'},       {"quot", U'"'},
        {"apos", U'\''},     {"nbsp", 0x00A0},    {"copy", 0x00A9},   {"reg", 0x00AE},
        {"trade", 0x2122},   {"mdash", 0x2014},   {"ndash", 0x2013},  {"hellip", 0x2026},
        {"lsquo", 0x2018},   {"rsquo", 0x2019},   {"ldquo", 0x201C},  {"rdquo", 0x201D},
        {"laquo", 0x00AB},   {"raquo", 0x00BB},   {"middot", 0x00B7}, {"bull", 0x2022},
        {"eacute", 0x00E9},  {"egrave", 0x00E8},  {"aacute", 0x00E1}, {"agrave", 0x00E0},
        {"ouml", 0x00F6},    {"uuml", 0x00FC},    {"auml", 0x00E4},   {"szlig", 0x00DF},
        {"Ouml", 0x00D6},    {"Uuml", 0x00DC},    {"Auml", 0x00C4},   {"ccedil", 0x00E7},
    };
    return table;
}

bool IsValidCodePoint(qint64 code)
{
    return code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

} // namespace

QString DecodeHtmlEntities(const QString& text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const qsizetype semi = c == u'&' ? text.indexOf(u';', i + 1) : -1;
        // References are short; a far-away ';' belongs to something else.
        if (semi < 0 || semi - i > 12) {
            out += c;
            ++i;
            continue;
        }
        const QString body = text.mid(i + 1, semi - i - 1);
        bool ok = false;
        qint64 code = -1;
        if (body.startsWith(u'#')) {
            if (body.size() > 2 && (body.at(1) == u'x' || body.at(1) == u'X'))
                code = body.mid(2).toLongLong(&ok, 16);
            else if (body.size() > 1)
                code = body.mid(1).toLongLong(&ok, 10);
            ok = ok && IsValidCodePoint(code);
        } else {
            const auto it = NamedEntities().constFind(body);
            if (it != NamedEntities().constEnd()) {
                code = it.value();
                ok = true;
            }
        }
        if (!ok) {
            out += c;
            ++i;
            continue;
        }
        const char32_t cp = char32_t(code);
        out += QString::fromUcs4(&cp, 1);
        i = semi + 1;
    }
    return out;
}

QString ToW3cDate(const QString& raw)
{
    QString text = raw.trimmed();
    if (text.startsWith(QLatin1String("D:")))
        text = text.mid(2);

    // Year, then month and day, each with or without a leading '-'.
    static const QRegularExpression leading(
        QStringLiteral("^(\\d{4})(?:-?(\\d{2})(?:-?(\\d{2}))?)?(?!\\d)"));
    // The compact PDF form runs on into the time: 20110304120000.
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})"));
    QRegularExpressionMatch m = leading.match(text);
    if (!m.hasMatch())
        m = compact.match(text);
    if (m.hasMatch()) {
        const int year = m.captured(1).toInt();
        if (year < 1)
            return {};
        const QString y = m.captured(1);
        const int month = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
        if (month < 1 || month > 12)
            return y;
        const QString ym = y + u'-' + m.captured(2);
        const int day = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
        if (!QDate::isValid(year, month, day))
            return ym;
        return ym + u'-' + m.captured(3);
    }

    // Free-form dates ("March 4, 2011", "4/3/2011"): the year is all that is sure.
    static const QRegularExpression yearAnywhere(QStringLiteral("(?<!\\d)(1[5-9]\\d\\d|20\\d\\d)(?!\\d)"));
    m = yearAnywhere.match(text);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString PackageDate(const QString& raw, const QDate& conversionDay)
{
    const QString date = ToW3cDate(DecodeHtmlEntities(raw));
    if (!date.isEmpty())
        return date;
    return conversionDay.toString(QStringLiteral("yyyy-MM-dd"));
}

QString LanguageTag(const QString& raw)
{
    // A primary language of 2 to 8 letters, then subtags of 1 to 8 letters or
    // digits; enough to refuse what a package reader would choke on.
    static const QRegularExpression tag(QStringLiteral("^[A-Za-z]{2,8}(-[A-Za-z0-9]{1,8})*$"));
    QString text = raw.trimmed();
    text.replace(u'_', u'-');
    return tag.match(text).hasMatch() ? text : QString();
}

QString PackageLanguage(const QString& raw)
{
    const QString tag = LanguageTag(raw);
    return tag.isEmpty() ? QStringLiteral("en") : tag;
}

QString DocumentLanguage(const QString& html)
{
    static const QRegularExpression element(QStringLiteral("<html\\b[^>]*>"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression lang(QStringLiteral("\\s(?:xml:)?lang\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch open = element.match(html);
    if (!open.hasMatch())
        return {};
    const QRegularExpressionMatch value = lang.match(open.captured(0));
    if (!value.hasMatch())
        return {};
    for (int i = 1; i <= 3; ++i) {
        if (value.capturedStart(i) >= 0)
            return value.captured(i);
    }
    return {};
}
