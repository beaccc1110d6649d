#pragma once

#include "epub/CXmlDocument.h"
#include "epub/TitlePage.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class MetaData;

// Completes the package document oebps.opf of one book: copies the
// templates, lists the content folder into the manifest, the HTML files into
// the spine (title page first) and names the title page in the guide.
class TemplateFiles {
public:
    // Receives the one notice meant for the user (a missing package document);
    // the caller shows it, the book goes on.
    using NoticeHandler = std::function<void(const QString&)>;

    explicit TemplateFiles(NoticeHandler notice = {});
    virtual ~TemplateFiles() = default;

    // Templates, manifest, spine and guide, then the title page.
    void Install(const SubstitutionTable& table, const QString& contentFolder, const QString& stem);

    // Appends the manifest; false when the package document is missing (the
    // notice is sent) or does not parse.
    bool WriteManifest(const QString& contentFolder, const QStringList& names);
    // Appends spine and guide; false when the package document does not load.
    bool WriteSpineAndGuide(const QString& contentFolder, const QStringList& spineNames);

    // Media type of an extension with its dot, letter case ignored;
    // "text/plain" for one not known.
    QString MediaTypeFor(const QString& extension) const;

    // "The file does not exist!\nPath: <path>".
    static QString MissingFileNotice(const QString& path);

private:
    void AddManifestItem(const QString& name);
    void AddItemRef(const QString& name);
    QString ItemIdFor(const QString& name) const;

    QHash<QString, QString> mediaTypes;
    CXmlDocument document;
    NoticeHandler notice;
    QHash<QString, QString> itemIds; // file name -> id given in the manifest
};

// Package document namespace; the elements added to it are put there.
inline constexpr char16_t kOpfNamespace[] = u"http://www.idpf.org/2007/opf";
inline constexpr char16_t kDcNamespace[] = u"http://purl.org/dc/elements/1.1/";

// Files of the content folder (names relative to it), in natural order. The
// intermediate HTML documents of the conversion (".html" names beginning with
// the stem) are deleted and left out; our own part files and title page never
// count as such.
QStringList ListContentFiles(const QString& contentFolder, const QString& stem);

// Full paths of the folder's entries, in natural order: letter case ignored
// and digit runs compared as numbers, so part2 comes before part10.
QStringList ListFolder(const QString& folder);

// The names of the XHTML documents (".html" or ".xhtml", any case), title
// page first.
QStringList SelectSpineFiles(const QStringList& names);

// Natural order of two names (see ListFolder): negative, zero or positive.
int NaturalCompare(const QString& a, const QString& b);

// The manifest id: the name without extension for HTML, "ncx" for the
// navigation document, else the name with "." made "-"; made a valid XML
// name (other characters become "_", a leading non-letter gets "_").
QString MakeItemId(const QString& name, const QString& extension);

// The name before its last ".", or all of it.
QString StripExtension(const QString& name);
// The text from the last "." of the name, dot included; empty when none.
QString GetExtension(const QString& name);

// The manifest href of a file name: a relative URI (percent-encoded).
QString ItemHref(const QString& name);

// Title, creator (with opf:file-as), date (W3CDTF; the conversion day when the
// book gives none), identifier ("##UUID##") and language (the book's tag, "en"
// when it has none) into the package metadata.
// Values go in as text, their character references decoded. False when the
// package document does not load; it is then left as it is.
bool WriteOpfMetadata(const SubstitutionTable& table, const MetaData& metadata, const QString& contentFolder);
