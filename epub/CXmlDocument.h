#pragma once

#include "epub/CXmlNode.h"

#include <QDomDocument>
#include <QString>

// A thin wrapper over Qt's namespace-aware DOM: load or create a document,
// find and add elements by local name, save it as UTF-8. Failures are
// absorbed and come back as false or empty nodes.
class CXmlDocument {
public:
    CXmlDocument() = default;
    ~CXmlDocument() { Close(); }
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // False when the file does not exist (the open document is then left
    // alone) or does not parse (the document is then open and empty).
    bool Load(const QString& path);
    // An XML declaration (version 1.0, no encoding) and the root element.
    bool CreateNew(const QString& rootName, const QString& namespaceUri);
    // With no path, saves to the path of the last Load or Save.
    bool Save(const QString& path = {});
    void Close();

    CXmlNodePtr GetRoot();
    // A new unattached element; no namespace when `namespaceUri` is empty.
    CXmlNodePtr CreateElement(const QString& name, const QString& namespaceUri = {});

    bool IsOpen() const { return open; }
    const QString& Path() const { return path; }
    // The serialised document, as Save writes it.
    QByteArray ToUtf8() const;

private:
    void CreateDom();

    QDomDocument document;
    QString path;
    bool open = false;
};
