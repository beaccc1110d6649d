#pragma once

#include <QString>
#include <memory>

// Lines that the PDF-to-HTML tool may repeat on every page (a bold page
// number, with or without a title line); the splitter erases them.
struct HeadingPattern {
    bool enabled = true;
    int headingLines = 1;   // lines taken from the page to test
    QString pattern;        // the regular expression
};

// The per-book record: paths, the part size limit and the page patterns.
class ConversionOptions {
public:
    ConversionOptions(QString sourcePath, QString targetPath);
    virtual ~ConversionOptions() = default;

    QString sourcePath;
    QString targetPath;
    QString htmlPath;             // page file to split, set just before splitting
    int partSizeLimit = 102400;   // size limit of one part file
    std::unique_ptr<HeadingPattern> headingPattern;
    std::unique_ptr<HeadingPattern> numberPattern;
};

// One-line stored form of a pattern: line feed, carriage return and tab as
// backslash escapes, and back.
QString EscapeControls(const QString& text);
QString UnescapeControls(const QString& text);
