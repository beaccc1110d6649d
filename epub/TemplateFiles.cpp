#include "epub/TemplateFiles.h"

#include "epub/BookIdentifier.h"
#include "epub/MetaData.h"
#include "epub/MetaValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QUrl>
#include <algorithm>

namespace {

const QString kPackageName = QStringLiteral("oebps.opf");
const QString kTitlePage = QStringLiteral("titlepage.html");

QChar FoldAscii(QChar c)
{
    return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c;
}

QString LowerAscii(QString text)
{
    for (QChar& c : text)
        c = FoldAscii(c);
    return text;
}

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Our own HTML files: the splitter's parts and the title page. A book whose
// stem they happen to begin with ("part.azw") must not lose them.
bool IsOwnDocument(const QString& name)
{
    if (name == kTitlePage)
        return true;
    if (!name.startsWith(QLatin1String("part")) || !name.endsWith(QLatin1String(".html")))
        return false;
    const QStringView digits = QStringView(name).mid(4, name.size() - 9);
    return !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), IsAsciiDigit);
}

bool IsXmlNameStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c.unicode() >= 0xC0;
}

bool IsXmlNameChar(QChar c)
{
    return IsXmlNameStart(c) || IsAsciiDigit(c) || c == u'-' || c == u'.' || c.unicode() == 0xB7;
}

// The first child element of that local name, or a new one in the given
// namespace (the wrapper's own creation would make it namespace-less, which
// the package schema does not know).
CXmlNodePtr ChildOrNew(CXmlDocument& doc, const CXmlNodePtr& parent, const QString& localName,
                       const QString& qualifiedName, const QString& namespaceUri)
{
    CXmlNodePtr child = parent->GetChild(localName, false);
    if (!child->IsEmpty())
        return child;
    child = doc.CreateElement(qualifiedName, namespaceUri);
    parent->AppendChild(child);
    return child;
}

} // namespace

TemplateFiles::TemplateFiles(NoticeHandler notice)
    : notice(std::move(notice))
{
    mediaTypes = {
        {".html", "application/xhtml+xml"},
        {".xhtml", "application/xhtml+xml"},
        {".htm", "application/xhtml+xml"},
        {".jpeg", "image/jpeg"},
        {".jpg", "image/jpeg"},
        {".png", "image/png"},
        {".gif", "image/gif"},
        {".svg", "image/svg+xml"},
        {".css", "text/css"},
        {".ncx", "application/x-dtbncx+xml"},
        {".otf", "application/vnd.ms-opentype"},
        {".ttf", "application/x-font-ttf"},
        {".woff", "application/font-woff"},
    };
}

QString TemplateFiles::MissingFileNotice(const QString& path)
{
    return QStringLiteral("The file does not exist!\nPath: %1").arg(path);
}

void TemplateFiles::Install(const SubstitutionTable& table, const QString& contentFolder, const QString& stem)
{
    CopyTemplateFiles(contentFolder);
    const QStringList names = ListContentFiles(contentFolder, stem);
    const QStringList spineNames = SelectSpineFiles(names);
    WriteManifest(contentFolder, names);
    WriteSpineAndGuide(contentFolder, spineNames);
    WriteTitlePage(table, contentFolder);
}

QString TemplateFiles::MediaTypeFor(const QString& extension) const
{
    return mediaTypes.value(LowerAscii(extension), QStringLiteral("text/plain"));
}

QString TemplateFiles::ItemIdFor(const QString& name) const
{
    const auto it = itemIds.constFind(name);
    return it != itemIds.constEnd() ? it.value() : MakeItemId(name, GetExtension(name));
}

bool TemplateFiles::WriteManifest(const QString& contentFolder, const QStringList& names)
{
    const QString path = JoinPath(contentFolder, kPackageName);
    if (!QFileInfo(path).isFile() || !QFile(path).open(QIODevice::ReadOnly)) {
        if (notice)
            notice(MissingFileNotice(path));
        return false;
    }
    if (!document.Load(path)) {
        document.Close();
        return false;
    }
    CXmlNodePtr manifest = document.CreateElement(QStringLiteral("manifest"), QString::fromUtf16(kOpfNamespace));
    document.GetRoot()->AppendChild(manifest);

    itemIds.clear();
    QSet<QString> used;
    for (const QString& name : names) {
        // The package document is not an item of itself.
        if (LowerAscii(name) == kPackageName)
            continue;
        const QString base = MakeItemId(name, GetExtension(name));
        QString id = base;
        for (int n = 2; used.contains(id); ++n)
            id = base + u'-' + QString::number(n);
        used.insert(id);
        itemIds.insert(name, id);
        AddManifestItem(name);
    }
    const bool saved = document.Save(path);
    document.Close();
    return saved;
}

void TemplateFiles::AddManifestItem(const QString& name)
{
    CXmlNodePtr item = document.CreateElement(QStringLiteral("item"), QString::fromUtf16(kOpfNamespace));
    item->SetAttribute(QStringLiteral("href"), ItemHref(name));
    item->SetAttribute(QStringLiteral("id"), ItemIdFor(name));
    item->SetAttribute(QStringLiteral("media-type"), MediaTypeFor(GetExtension(name)));
    document.GetRoot()->GetChild(QStringLiteral("manifest"), true)->AppendChild(item);
}

bool TemplateFiles::WriteSpineAndGuide(const QString& contentFolder, const QStringList& spineNames)
{
    const QString path = JoinPath(contentFolder, kPackageName);
    if (!document.Load(path)) {
        document.Close();
        return false;
    }
    const QString ns = QString::fromUtf16(kOpfNamespace);
    CXmlNodePtr spine = document.CreateElement(QStringLiteral("spine"), ns);
    spine->SetAttribute(QStringLiteral("toc"), QStringLiteral("ncx"));
    document.GetRoot()->AppendChild(spine);
    for (const QString& name : spineNames)
        AddItemRef(name);

    // A guide reference to a missing page breaks the book; without a title
    // page there is nothing to name, and an empty guide is not allowed.
    if (QFileInfo(JoinPath(contentFolder, kTitlePage)).isFile()) {
        CXmlNodePtr guide = document.CreateElement(QStringLiteral("guide"), ns);
        document.GetRoot()->AppendChild(guide);
        CXmlNodePtr reference = document.CreateElement(QStringLiteral("reference"), ns);
        reference->SetAttribute(QStringLiteral("href"), kTitlePage);
        reference->SetAttribute(QStringLiteral("type"), QStringLiteral("cover"));
        reference->SetAttribute(QStringLiteral("title"), QStringLiteral("Cover"));
        guide->AppendChild(reference);
    }
    const bool saved = document.Save(path);
    document.Close();
    return saved;
}

void TemplateFiles::AddItemRef(const QString& name)
{
    CXmlNodePtr itemref = document.CreateElement(QStringLiteral("itemref"), QString::fromUtf16(kOpfNamespace));
    itemref->SetAttribute(QStringLiteral("idref"), ItemIdFor(name));
    document.GetRoot()->GetChild(QStringLiteral("spine"), true)->AppendChild(itemref);
}

int NaturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsAsciiDigit(a.at(i)) && IsAsciiDigit(b.at(j))) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && IsAsciiDigit(a.at(ei)))
                ++ei;
            while (ej < b.size() && IsAsciiDigit(b.at(ej)))
                ++ej;
            qsizetype si = i, sj = j; // skip leading zeros
            while (si + 1 < ei && a.at(si) == u'0')
                ++si;
            while (sj + 1 < ej && b.at(sj) == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = FoldAscii(a.at(i)), cb = FoldAscii(b.at(j));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Equal but for case or leading zeros: still a fixed order.
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

QStringList ListFolder(const QString& folder)
{
    const QDir dir(folder);
    QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                      QDir::Unsorted);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return NaturalCompare(a, b) < 0; });
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names)
        paths.append(folder + u'/' + name);
    return paths;
}

QStringList ListContentFiles(const QString& contentFolder, const QString& stem)
{
    QStringList result;
    for (const QString& path : ListFolder(contentFolder)) {
        const QFileInfo info(path);
        // Only files belong to the book; the content folder has no subfolders.
        if (!info.isFile())
            continue;
        const QString name = info.fileName();
        if (GetExtension(name) == QLatin1String(".html") && name.startsWith(stem) && !IsOwnDocument(name)) {
            QFile::remove(path);
            continue;
        }
        result.append(name);
    }
    return result;
}

QStringList SelectSpineFiles(const QStringList& names)
{
    QStringList result;
    for (const QString& name : names) {
        const QString lower = LowerAscii(name);
        if (lower.endsWith(QLatin1String(".html")) || lower.endsWith(QLatin1String(".xhtml")))
            result.append(name);
    }
    for (qsizetype i = 0; i < result.size(); ++i) {
        if (LowerAscii(result.at(i)) == kTitlePage) {
            result.move(i, 0);
            break;
        }
    }
    return result;
}

QString StripExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString GetExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

QString MakeItemId(const QString& name, const QString& extension)
{
    const QString ext = LowerAscii(extension);
    QString id;
    if (ext == QLatin1String(".html") || ext == QLatin1String(".xhtml"))
        id = StripExtension(name);
    else if (ext == QLatin1String(".ncx"))
        return QStringLiteral("ncx");
    else
        id = QString(name).replace(u'.', u'-');
    // Ids are XML names: "My Book-1_1.jpg" or "1.png" must still give one.
    for (QChar& c : id) {
        if (!IsXmlNameChar(c))
            c = u'_';
    }
    if (id.isEmpty() || !IsXmlNameStart(id.at(0)))
        id.prepend(u'_');
    return id;
}

QString ItemHref(const QString& name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name, "-._~!$&'()*+,;=:@"));
}

bool WriteOpfMetadata(const SubstitutionTable& table, const MetaData& metadata, const QString& contentFolder)
{
    QString identifier = table.value(QStringLiteral("##UUID##"));
    // "urn:uuid:" alone is no identifier; a bare UUID gets its prefix.
    if (identifier.isEmpty())
        identifier = MakeBookIdentifier();
    else if (!identifier.startsWith(QLatin1String("urn:"), Qt::CaseInsensitive))
        identifier.prepend(QStringLiteral("urn:uuid:"));

    CXmlDocument doc;
    // A package document that does not load is left untouched, not replaced
    // by an empty one.
    if (!doc.Load(JoinPath(contentFolder, kPackageName)))
        return false;
    const QString opf = QString::fromUtf16(kOpfNamespace);
    const QString dc = QString::fromUtf16(kDcNamespace);
    CXmlNodePtr root = doc.GetRoot();
    CXmlNodePtr meta = ChildOrNew(doc, root, QStringLiteral("metadata"), QStringLiteral("metadata"), opf);

    const QString author = DecodeHtmlEntities(metadata.author);
    ChildOrNew(doc, meta, QStringLiteral("title"), QStringLiteral("dc:title"), dc)
        ->SetText(DecodeHtmlEntities(metadata.title));
    CXmlNodePtr creator = ChildOrNew(doc, meta, QStringLiteral("creator"), QStringLiteral("dc:creator"), dc);
    creator->SetAttribute(QStringLiteral("file-as"), author, QStringLiteral("opf"), opf);
    creator->SetText(author);
    ChildOrNew(doc, meta, QStringLiteral("date"), QStringLiteral("dc:date"), dc)->SetText(PackageDate(metadata.date));
    ChildOrNew(doc, meta, QStringLiteral("identifier"), QStringLiteral("dc:identifier"), dc)->SetText(identifier);
    ChildOrNew(doc, meta, QStringLiteral("language"), QStringLiteral("dc:language"), dc)
        ->SetText(PackageLanguage(metadata.language));
    return doc.Save();
}
