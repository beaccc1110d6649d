#pragma once

#include "base/ConversionOptions.h"
#include "engine/CorvidEng.h"

#include <functional>
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

    // Called on the worker after each stage of a book with the stage's name
    // and its wall time in seconds; set only while no worker runs.
    std::function<void(const QString& stage, double seconds)> stageTimer;
};
