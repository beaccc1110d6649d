#include "epub/CXmlDocument.h"

#include <QFile>
#include <QSaveFile>

void CXmlDocument::CreateDom()
{
    document = QDomDocument();
    path.clear();
    open = true;
}

bool CXmlDocument::Load(const QString& filePath)
{
    QFile file(filePath);
    if (filePath.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    CreateDom();
    path = filePath;
    if (document.setContent(&file, true))
        return true;
    document = QDomDocument(); // no half-parsed tree
    return false;
}

bool CXmlDocument::CreateNew(const QString& rootName, const QString& namespaceUri)
{
    CreateDom();
    QDomProcessingInstruction declaration =
        document.createProcessingInstruction(QStringLiteral("xml"), QStringLiteral("version=\"1.0\" "));
    if (declaration.isNull() || document.appendChild(declaration).isNull())
        return false;
    CXmlNodePtr root = CreateElement(rootName, namespaceUri);
    if (root->IsEmpty())
        return false;
    return !document.appendChild(root->DomNode()).isNull();
}

QByteArray CXmlDocument::ToUtf8() const
{
    return document.toByteArray(2);
}

bool CXmlDocument::Save(const QString& filePath)
{
    if (!open)
        return false;
    const QString target = filePath.isEmpty() ? path : filePath;
    if (target.isEmpty())
        return false;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = ToUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        return false;
    if (!filePath.isEmpty())
        path = filePath;
    return true;
}

void CXmlDocument::Close()
{
    document = QDomDocument();
    path.clear();
    open = false;
}

CXmlNodePtr CXmlDocument::GetRoot()
{
    if (!open)
        return std::make_shared<CXmlNode>();
    return std::make_shared<CXmlNode>(document.documentElement());
}

CXmlNodePtr CXmlDocument::CreateElement(const QString& name, const QString& namespaceUri)
{
    if (!open || name.isEmpty())
        return std::make_shared<CXmlNode>();
    QDomElement element = namespaceUri.isEmpty() ? document.createElement(name)
                                                 : document.createElementNS(namespaceUri, name);
    return std::make_shared<CXmlNode>(element);
}
