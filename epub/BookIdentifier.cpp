#include "epub/BookIdentifier.h"

#include <QUuid>

QString MakeBookIdentifier()
{
    return QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}
