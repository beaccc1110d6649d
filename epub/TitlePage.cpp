#include "epub/TitlePage.h"

#include "base/Paths.h"
#include "base/TextCodec.h"
#include "epub/BookIdentifier.h"
#include "epub/MetaData.h"
#include "epub/MetaValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

bool CopyOver(const QString& from, const QString& to)
{
    if (!QFileInfo::exists(from))
        return false;
    QFile::remove(to);
    return QFile::copy(from, to);
}

// A file name as it may stand in an XHTML attribute: a URI path segment, with
// the characters XML reserves escaped as well.
QString AttributeUri(const QString& fileName)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(fileName, "-._~!$'()*+,;=:@"))
        .toHtmlEscaped();
}

} // namespace

QString TemplateFolder()
{
    return ToolFolder() + QStringLiteral("Template");
}

QString TemplatePath(const QString& fileName)
{
    return JoinPath(TemplateFolder(), fileName);
}

QString JoinPath(const QString& base, const QString& relative)
{
    qsizetype up = relative.indexOf(QLatin1String("../"));
    const qsizetype upWindows = relative.indexOf(QLatin1String("..\\"));
    if (up < 0 || (upWindows >= 0 && upWindows < up))
        up = upWindows;
    if (up < 0)
        return base + u'/' + relative;
    QString parent = ParentFolder(base);
    if (parent.endsWith(u'/'))
        parent.chop(1);
    return parent + u'/' + relative.mid(up + 3);
}

void CopyTemplateFiles(const QString& contentFolder)
{
    QDir().mkpath(JoinPath(contentFolder, QStringLiteral("../META-INF")));
    CopyOver(TemplatePath(QStringLiteral("container.xml")),
             JoinPath(contentFolder, QStringLiteral("../META-INF/container.xml")));
    CopyOver(TemplatePath(QStringLiteral("mimetype")), JoinPath(contentFolder, QStringLiteral("../mimetype")));
    for (const char* name : {"stylesheet.css", "titlepage.css", "titlepage.html", "oebps.opf"})
        CopyOver(TemplatePath(QLatin1String(name)), JoinPath(contentFolder, QLatin1String(name)));
}

SubstitutionTable BuildSubstitutions(const MetaData& metadata, const QString& identifier)
{
    SubstitutionTable table;
    table.insert(QStringLiteral("##Author##"), metadata.author);
    table.insert(QStringLiteral("##Title##"), metadata.title);
    table.insert(QStringLiteral("##Date##"), metadata.date);
    table.insert(QStringLiteral("##UUID##"), identifier);
    table.insert(QStringLiteral("##Language##"), PackageLanguage(metadata.language));
    return table;
}

SubstitutionTable BuildSubstitutions(const MetaData& metadata)
{
    return BuildSubstitutions(metadata, MakeBookIdentifier());
}

QStringList FindFilesContaining(const QString& folder, const QString& text)
{
    QStringList result;
    const QDir dir(folder);
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        // Only the name counts: the working folder's own path may hold the text.
        if (name.contains(text))
            result.append(folder + u'/' + name);
    }
    return result;
}

void PrepareCover(const QString& contentFolder, SubstitutionTable& table)
{
    const QStringList found = FindFilesContaining(contentFolder, QStringLiteral("-1_1."));
    if (found.size() == 1) {
        QString img = QStringLiteral("<img src=\"%s\" alt=\"cover\" style=\"height: 100%\"/>");
        img.replace(QLatin1String("%s"), AttributeUri(FileNameOf(found.first())));
        table.insert(QStringLiteral("##Cover##"), img);
        return;
    }
    // The values come from the HTML source, references already written as such.
    const QString block = QStringLiteral("            <div id=\"titlepage\">\n"
                                         "               <h1 class=\"part-title\">%1</h1>\n"
                                         "               <h3 class=\"title-break\">***</h3>\n"
                                         "               <h3 class=\"author\">%2</h3>\n"
                                         "            </div>");
    table.insert(QStringLiteral("##Cover##"),
                 block.arg(table.value(QStringLiteral("##Title##")), table.value(QStringLiteral("##Author##"))));
}

QString ReplacePlaceholders(const QString& text, const SubstitutionTable& table)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text.at(i) == u'#') {
            for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
                if (!it.key().isEmpty() && QStringView(text).mid(i).startsWith(it.key())) {
                    out += it.value();
                    i += it.key().size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += text.at(i++);
    }
    return out;
}

bool WriteTitlePage(const SubstitutionTable& table, const QString& contentFolder)
{
    QFile in(TemplatePath(QStringLiteral("titlepage.html")));
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    // The template is ours and UTF-8; a hand-edited Latin-1 one still reads.
    const QString text = Utf8ToWide(bytes).value_or(QString::fromLatin1(bytes));
    const std::optional<QByteArray> page = WideToUtf8(ReplacePlaceholders(text, table));
    if (!page)
        return false;
    QFile out(JoinPath(contentFolder, QStringLiteral("titlepage.html")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return out.write(*page) == page->size() && out.flush();
}
