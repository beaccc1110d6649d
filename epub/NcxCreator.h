#pragma once

#include "epub/CXmlDocument.h"

#include <QHash>
#include <QString>

// Builds the book's NCX navigation document (oebps.ncx): head metadata, title,
// author and a flat navMap, one navPoint per table-of-contents entry.
class NcxCreator {
public:
    static const QString kNamespace;

    // `identifier` becomes dtb:uid and must match the package's identifier;
    // when empty a fresh UUID (registry form) is made instead.
    NcxCreator(QString title, QString author, QString identifier = {});
    virtual ~NcxCreator() = default;

    // Appends a navPoint. Entries that point at the same target share one
    // playOrder, as reading systems require.
    void AddNavPoint(QString label, QString target);
    // Writes the document and closes it; later calls add nothing.
    bool Save(const QString& path);

    int NavPointCount() const { return navCounter - 1; }
    QString Identifier() const { return identifier; }

private:
    void AddHead();
    void AddMeta(const QString& name, const QString& content);
    void SetDocTitle(const QString& title);
    void SetDocAuthor(const QString& author);
    void AddNavMap();

    CXmlDocument document;
    int navCounter = 1;
    int playCounter = 0;
    QHash<QString, int> playOrders;  // target -> its playOrder
    QString identifier;
};
