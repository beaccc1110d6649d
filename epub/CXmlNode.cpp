#include "epub/CXmlNode.h"

#include <QDomDocument>
#include <QDomElement>

namespace {

CXmlNodePtr EmptyNode()
{
    return std::make_shared<CXmlNode>();
}

// Nodes made without namespace processing have no local name, only a name.
QString LocalNameOf(const QDomNode& node)
{
    const QString local = node.localName();
    if (!local.isEmpty())
        return local;
    const QString name = node.nodeName();
    const qsizetype colon = name.indexOf(u':');
    return colon < 0 ? name : name.mid(colon + 1);
}

} // namespace

CXmlNode::CXmlNode(QDomNode node)
    : node(std::move(node))
{
}

CXmlNodePtr CXmlNode::GetChild(const QString& localName, bool create)
{
    if (node.isNull() || localName.isEmpty())
        return EmptyNode();
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.isElement() && LocalNameOf(child) == localName)
            return std::make_shared<CXmlNode>(child);
    }
    if (!create)
        return EmptyNode();
    QDomDocument owner = node.ownerDocument();
    if (owner.isNull())
        return EmptyNode();
    QDomElement element = owner.createElement(localName);
    if (element.isNull())
        return EmptyNode();
    QDomNode appended = node.appendChild(element);
    if (appended.isNull())
        return EmptyNode();
    return std::make_shared<CXmlNode>(appended);
}

bool CXmlNode::SetText(const QString& text)
{
    if (node.isNull())
        return false;
    if (!node.isElement()) {
        node.setNodeValue(text);
        return true;
    }
    while (!node.firstChild().isNull()) {
        if (node.removeChild(node.firstChild()).isNull())
            return false;
    }
    QDomDocument owner = node.ownerDocument();
    if (owner.isNull())
        return false;
    if (text.isEmpty())
        return true;
    return !node.appendChild(owner.createTextNode(text)).isNull();
}

bool CXmlNode::SetAttribute(const QString& name, const QString& value,
                            const QString& prefix, const QString& namespaceUri)
{
    if (node.isNull() || !node.isElement() || name.isEmpty())
        return false;
    QDomElement element = node.toElement();
    const QString qualified = prefix.isEmpty() ? name : prefix + u':' + name;
    if (namespaceUri.isEmpty())
        element.setAttribute(qualified, value);
    else
        element.setAttributeNS(namespaceUri, qualified, value);
    return true;
}

bool CXmlNode::SetAttribute(const QString& name, int value,
                            const QString& prefix, const QString& namespaceUri)
{
    return SetAttribute(name, QString::number(value), prefix, namespaceUri);
}

void CXmlNode::AppendChild(const CXmlNodePtr& child)
{
    if (node.isNull() || !child || child->node.isNull())
        return;
    node.appendChild(child->node);
}

QString CXmlNode::LocalName() const
{
    return node.isNull() ? QString() : LocalNameOf(node);
}

QString CXmlNode::Text() const
{
    if (node.isNull())
        return {};
    return node.isElement() ? node.toElement().text() : node.nodeValue();
}

QString CXmlNode::Attribute(const QString& name) const
{
    if (node.isNull() || !node.isElement())
        return {};
    return node.toElement().attribute(name);
}
