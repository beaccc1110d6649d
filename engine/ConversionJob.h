#pragma once

#include "engine/ConvertStatus.h"

#include <QString>

// One source book in the engine's job list.
struct ConversionJob {
    QString source;           // full path of the book
    QString target;           // output path, filled when the worker reaches the job
    int status = StatusNone;  // a ConvertStatus value
    QString reason;           // why the job failed; empty otherwise
};
