#pragma once

#include "base/ConversionOptions.h"
#include "html/HtmlWriter.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>

// Cuts the page file of the PDF-to-HTML tool into XHTML part files and turns
// its outline into the navigation document "oebps.ncx", both in the page
// file's folder. The page file is streamed: one page is held at a time.
class HtmlSplitter {
public:
    HtmlSplitter();
    virtual ~HtmlSplitter();

    // The book's title and author for the navigation document, and the book
    // identifier ("urn:uuid:...") that the package document uses too. Without
    // an identifier the navigation document makes its own.
    void SetBookInfo(QString title, QString author, QString identifier);
    // The book's language tag, put as xml:lang on every part; empty: none.
    void SetLanguage(QString tag) { bookLanguage = std::move(tag); }

    // Reads options.htmlPath, writes "part0.html", "part1.html", ... and
    // "oebps.ncx" beside it. Reports nothing: the files are the result.
    void Split(const ConversionOptions& options);

    // Anchor name of the page file -> "partN.html#pName" where it landed.
    const QHash<QString, QString>& AnchorMap() const { return anchorMap; }
    // Number of part files written by the last Split.
    int PartCount() const { return partsWritten; }

    QString partFolder;
    std::unique_ptr<HtmlWriter> writer;
    const ConversionOptions* options = nullptr;
    QHash<QString, QString> anchorMap;
    QString outlineMarker;
    QString bodyPattern;
    QString separatorPattern;
    QString partHeader;
    QString partFooter;

private:
    struct NavEntry {
        QString label;
        QString target;
    };

    QString ProcessSegment(const QString& segment, QStringList& anchors);
    bool IsOutline(const QString& segment) const;
    void BuildToc(const QString& segment);
    QString ResolveTocTarget(const QString& href) const;
    QString RewriteAnchors(const QString& segment, QStringList& anchors);
    QString ApplyPageRules(QString segment) const;
    void RewriteLinks();
    void WriteNavigation();

    QString bookTitle;
    QString bookAuthor;
    QString bookIdentifier;
    QString bookLanguage;
    QString pageFileName;
    QSet<QString> usedIds;
    QList<NavEntry> navEntries;
    int partsWritten = 0;
};
