#include "engine/AzwEpubEng.h"

AzwEpubEng::AzwEpubEng() = default;

AzwEpubEng::~AzwEpubEng()
{
    StopAndWait();
}

QString AzwEpubEng::SourceExtensions() const
{
    return QStringLiteral("azw");
}

QString AzwEpubEng::TargetExtension() const
{
    return QStringLiteral("epub");
}

QString AzwEpubEng::OpenFileFilter() const
{
    return QStringLiteral("Files (*.azw)");
}
