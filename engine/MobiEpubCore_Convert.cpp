#include "engine/ConversionPipeline.h"
#include "engine/MobiEpubCore.h"

// The conversion pipeline of one book lives in ConversionPipeline.
bool MobiEpubCore::Convert(const QString& source, const QString& target)
{
    options = std::make_unique<ConversionOptions>(source, target);
    options->headingPattern->pattern = UnescapeControls(options->headingPattern->pattern);
    options->numberPattern->pattern = UnescapeControls(options->numberPattern->pattern);

    ConversionPipeline pipeline(*this, source, target);
    const bool converted = pipeline.Run();
    if (!converted)
        SetFailureReason(pipeline.FailureReason());
    return converted;
}
