#include "html/XhtmlRepair.h"

#include <QXmlStreamReader>

#include <tidy/tidy.h>
#include <tidy/tidybuffio.h>

bool IsWellFormedFragment(const QString& fragment)
{
    QXmlStreamReader reader(QStringLiteral("<div>") + fragment + QStringLiteral("</div>"));
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

namespace {

QString RunTidy(const QString& fragment)
{
    TidyDoc doc = tidyCreate();
    TidyBuffer output;
    TidyBuffer errors;
    tidyBufInit(&output);
    tidyBufInit(&errors);
    // Options by their configuration names: some are tri-state, not boolean.
    static const char* const kOptions[][2] = {
        {"output-xhtml", "yes"},
        {"show-body-only", "yes"},
        {"force-output", "yes"},
        {"quiet", "yes"},
        {"show-warnings", "no"},
        {"show-errors", "0"},
        {"tidy-mark", "no"},
        {"wrap", "0"},
        {"doctype", "omit"},
        {"numeric-entities", "yes"},    // no named entity an XML parser would not know
        {"anchor-as-name", "no"},       // ids only: <a name> is not XHTML 1.1
        {"drop-empty-elements", "no"},  // keep empty anchors, the link targets
        {"newline", "LF"},
    };
    for (const auto& option : kOptions)
        tidyOptParseValue(doc, option[0], option[1]);
    tidySetCharEncoding(doc, "utf8");
    tidySetErrorBuffer(doc, &errors);

    const QByteArray input = fragment.toUtf8();
    QString result;
    if (tidyParseString(doc, input.constData()) >= 0 && tidyCleanAndRepair(doc) >= 0
        && tidySaveBuffer(doc, &output) >= 0 && output.bp)
        result = QString::fromUtf8(reinterpret_cast<const char*>(output.bp), qsizetype(output.size));
    tidyBufFree(&output);
    tidyBufFree(&errors);
    tidyRelease(doc);
    // Tidy ends the body with a line break of its own; the writer's line
    // structure does not need it.
    while (result.endsWith(u'\n'))
        result.chop(1);
    return result;
}

} // namespace

QString RepairXhtml(const QString& fragment)
{
    if (IsWellFormedFragment(fragment))
        return fragment;
    return RunTidy(fragment);
}
