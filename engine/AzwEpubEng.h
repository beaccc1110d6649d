#pragma once

#include "engine/MobiEpubCore.h"

// Kindle ".azw" books to ".epub".
class AzwEpubEng : public MobiEpubCore {
public:
    AzwEpubEng();
    ~AzwEpubEng() override;

    QString SourceExtensions() const override;
    QString TargetExtension() const override;
    // Filter list of the add-files dialog.
    QString OpenFileFilter() const;
};
