#include "engine/MobiEpubCore.h"

// The conversion pipeline of one book lives in this file alone.
bool MobiEpubCore::Convert(const QString&, const QString&)
{
    SetFailureReason(QStringLiteral("conversion pipeline not built yet"));
    return false;
}
