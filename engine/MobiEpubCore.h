#pragma once

#include "base/ConversionOptions.h"
#include "engine/CorvidEng.h"

#include <memory>

// The engine that converts MOBI books to EPUB books.
class MobiEpubCore : public CorvidEng {
public:
    MobiEpubCore();
    ~MobiEpubCore() override;

    // The per-book pipeline; true when the target was written. A failure
    // leaves its reason with the job (SetFailureReason).
    bool Convert(const QString& source, const QString& target) override;
    void OnToolOutput(const QByteArray& text) override;

    // The record of the book being (or last) converted.
    std::unique_ptr<ConversionOptions> options;
};
