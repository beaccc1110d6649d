#include "engine/MobiEpubCore.h"

MobiEpubCore::MobiEpubCore() = default;

MobiEpubCore::~MobiEpubCore()
{
    StopAndWait();
}

void MobiEpubCore::OnToolOutput(const QByteArray&)
{
}
