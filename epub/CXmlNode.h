#pragma once

#include <QDomNode>
#include <QString>
#include <memory>

class CXmlNode;
// Node handle handed out by the XML wrapper: never null; a failure gives an
// empty node inside it.
using CXmlNodePtr = std::shared_ptr<CXmlNode>;

// One node of a CXmlDocument. Keeps its DOM node (and so its document) alive
// on its own. Every DOM failure is absorbed: false results or empty nodes.
class CXmlNode {
public:
    CXmlNode() = default;
    explicit CXmlNode(QDomNode node);

    // First child element whose local name is `localName` (whatever its
    // prefix or namespace); with `create`, a new element of that name (no
    // namespace) is appended when there is none.
    CXmlNodePtr GetChild(const QString& localName, bool create = false);

    // Replaces all content of the node by one text node.
    bool SetText(const QString& text);

    // Sets (or replaces) an attribute. The qualified name is "prefix:name"
    // when a prefix is given.
    bool SetAttribute(const QString& name, const QString& value,
                      const QString& prefix = {}, const QString& namespaceUri = {});
    bool SetAttribute(const QString& name, int value,
                      const QString& prefix = {}, const QString& namespaceUri = {});

    void AppendChild(const CXmlNodePtr& child);

    // Read access, for callers that check what is there.
    bool IsEmpty() const { return node.isNull(); }
    QString LocalName() const;
    QString Text() const;
    QString Attribute(const QString& name) const;
    const QDomNode& DomNode() const { return node; }

private:
    QDomNode node;
};
