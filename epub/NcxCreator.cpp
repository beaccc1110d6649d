#include "epub/NcxCreator.h"

#include <QUuid>

const QString NcxCreator::kNamespace = QStringLiteral("http://www.daisy.org/z3986/2005/ncx/");

NcxCreator::NcxCreator(QString title, QString author, QString identifier)
    : identifier(std::move(identifier))
{
    if (this->identifier.isEmpty())
        this->identifier = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    if (!document.CreateNew(QStringLiteral("ncx"), kNamespace))
        return;
    document.GetRoot()->SetAttribute(QStringLiteral("version"), QStringLiteral("2005-1"));
    AddHead();
    SetDocTitle(title);
    SetDocAuthor(author);
    AddNavMap();
}

void NcxCreator::AddHead()
{
    document.GetRoot()->AppendChild(document.CreateElement(QStringLiteral("head")));
    AddMeta(QStringLiteral("dtb:uid"), identifier);
    AddMeta(QStringLiteral("epub-creator"), QStringLiteral("Pellinore (Version 0.0.1)"));
    AddMeta(QStringLiteral("dtb:depth"), QStringLiteral("1"));
    AddMeta(QStringLiteral("dtb:totalPageCount"), QStringLiteral("0"));
    AddMeta(QStringLiteral("dtb:maxPageNumber"), QStringLiteral("0"));
}

void NcxCreator::AddMeta(const QString& name, const QString& content)
{
    CXmlNodePtr meta = document.CreateElement(QStringLiteral("meta"));
    meta->SetAttribute(QStringLiteral("name"), name);
    meta->SetAttribute(QStringLiteral("content"), content);
    document.GetRoot()->GetChild(QStringLiteral("head"), true)->AppendChild(meta);
}

void NcxCreator::SetDocTitle(const QString& title)
{
    document.GetRoot()->GetChild(QStringLiteral("docTitle"), true)
        ->GetChild(QStringLiteral("text"), true)->SetText(title);
}

void NcxCreator::SetDocAuthor(const QString& author)
{
    document.GetRoot()->GetChild(QStringLiteral("docAuthor"), true)
        ->GetChild(QStringLiteral("text"), true)->SetText(author);
}

void NcxCreator::AddNavMap()
{
    document.GetRoot()->AppendChild(document.CreateElement(QStringLiteral("navMap")));
}

void NcxCreator::AddNavPoint(QString label, QString target)
{
    CXmlNodePtr root = document.GetRoot();
    if (root->IsEmpty())
        return;
    const int n = navCounter;
    auto known = playOrders.constFind(target);
    const int playOrder = known != playOrders.constEnd() ? *known : ++playCounter;
    playOrders.insert(target, playOrder);

    CXmlNodePtr navPoint = document.CreateElement(QStringLiteral("navPoint"));
    root->GetChild(QStringLiteral("navMap"), true)->AppendChild(navPoint);
    navPoint->SetAttribute(QStringLiteral("id"), QStringLiteral("NavPoint-%1").arg(n));
    navPoint->SetAttribute(QStringLiteral("playOrder"), playOrder);
    navPoint->GetChild(QStringLiteral("navLabel"), true)
        ->GetChild(QStringLiteral("text"), true)->SetText(label);
    navPoint->GetChild(QStringLiteral("content"), true)->SetAttribute(QStringLiteral("src"), target);
    ++navCounter;
}

bool NcxCreator::Save(const QString& path)
{
    if (!document.IsOpen())
        return false;
    const bool saved = document.Save(path);
    document.Close();
    return saved;
}
