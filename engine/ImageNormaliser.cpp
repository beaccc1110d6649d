#include "engine/ImageNormaliser.h"

#include "base/TextCodec.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

namespace {

const QByteArray kSrcOpen = QByteArrayLiteral("src=\"");

// Only the two spellings the Kindle tools write count as GIF.
bool EndsWithGif(const QByteArray& value)
{
    return value.endsWith(".gif") || value.endsWith(".GIF");
}

// The reference of the JPEG copy: "__" before the name, ".jpg" for ".gif".
QByteArray JpegRefFor(const QByteArray& gifValue)
{
    QByteArray jpg = gifValue.left(gifValue.size() - 4) + ".jpg";
    return NewImageRef(jpg);
}

// A reference as a relative path inside the HTML's folder, or nothing when
// it is not valid UTF-8, leaves the folder ("..", a leading "/") or names a
// scheme (http:, file:, data:, a drive letter).
std::optional<QString> LocalPathOf(const QByteArray& value)
{
    const std::optional<QString> text = Utf8ToWide(value);
    if (!text || text->isEmpty())
        return std::nullopt;
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (scheme.match(*text).hasMatch())
        return std::nullopt;
    QString path = *text;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // The value is a URL: %20 names a blank in the file name.
    path = QUrl::fromPercentEncoding(path.toUtf8());
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.startsWith(QLatin1Char('/')) || path.contains(QChar(0)))
        return std::nullopt;
    for (const QStringView segment : QStringView(path).split(QLatin1Char('/')))
        if (segment == QLatin1String(".."))
            return std::nullopt;
    if (scheme.match(path).hasMatch())
        return std::nullopt;
    return path;
}

QString ParentOf(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'), path.size() - 2);
    return cut >= 1 ? path.left(cut) : (cut == 0 ? QStringLiteral("/") : QString());
}

QString NameOf(const QString& path)
{
    const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
    return cut >= 0 ? path.mid(cut + 1) : path;
}

} // namespace

QByteArray NewImageRef(const QByteArray& value)
{
    const std::optional<QString> text = Utf8ToWide(value);
    if (!text)
        return value;
    qsizetype cut = -1;
    for (qsizetype i = text->size() - 1; i >= 1 && cut < 0; --i)
        if (text->at(i) == QLatin1Char('\\') || text->at(i) == QLatin1Char('/'))
            cut = i;
    const QString folder = cut >= 1 ? text->left(cut) : QString();
    const QString name = cut >= 1 ? text->mid(cut + 1) : *text;
    QString result = folder;
    result.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!result.isEmpty())
        result += QLatin1Char('/');
    result += QStringLiteral("__") + name;
    return WideToUtf8(result).value_or(value);
}

void RewriteImageRefs(QByteArray& html, QList<QByteArray>& list)
{
    qsizetype p = 0;
    for (;;) {
        const qsizetype open = html.indexOf(kSrcOpen, p);
        if (open < 0)
            return;
        const qsizetype start = open + kSrcOpen.size();
        const qsizetype close = html.indexOf('"', start);
        if (close < 0)
            return;
        const QByteArray value = html.mid(start, close - start);
        p = start;
        if (!EndsWithGif(value) || !LocalPathOf(value))
            continue;
        list.append(value);
        const QByteArray jpg = JpegRefFor(value);
        html.replace(start, value.size(), jpg);
        p = start + jpg.size() + 1;
    }
}

void ConvertImages(const QString& folder, const QList<QByteArray>& list)
{
    for (const QByteArray& value : list) {
        const std::optional<QString> source = LocalPathOf(value);
        const std::optional<QString> target = LocalPathOf(JpegRefFor(value));
        if (!source || !target)
            continue;
        QImage picture;
        if (!picture.load(folder + QLatin1Char('/') + *source))
            continue;
        // JPEG has no transparency: what was clear becomes page white.
        QImage flat(picture.size(), QImage::Format_RGB32);
        flat.setDotsPerMeterX(picture.dotsPerMeterX());
        flat.setDotsPerMeterY(picture.dotsPerMeterY());
        flat.fill(Qt::white);
        {
            QPainter painter(&flat);
            painter.drawImage(0, 0, picture);
        }
        flat.save(folder + QLatin1Char('/') + *target, "JPEG");
    }
}

QString NormaliseImages(const QString& htmlPath)
{
    const QString output = ParentOf(htmlPath) + QStringLiteral("/new_") + NameOf(htmlPath);

    QFile input(htmlPath);
    if (!input.open(QIODevice::ReadOnly))
        return {};
    QByteArray html = input.readAll();
    if (input.error() != QFileDevice::NoError)
        return {};
    input.close();
    html.replace("\r\n", "\n");

    QList<QByteArray> list;
    RewriteImageRefs(html, list);
    ConvertImages(ParentOf(htmlPath), list);

    // Line ends are written as CR LF; a copy that cannot be written whole
    // (a full disk) is not left behind.
    html.replace("\n", "\r\n");
    QSaveFile copy(output);
    if (!copy.open(QIODevice::WriteOnly) || copy.write(html) != html.size() || !copy.commit())
        return {};
    return output;
}
