#pragma once

#include <QFile>
#include <QString>
#include <memory>

// Writes the book's body as a series of XHTML part files "part0.html",
// "part1.html", ... in one folder. Each part gets the header, the texts handed
// to Write and the footer; every line feed is stored as CR LF. The splitter
// reads partBytes/partLimit/partName to decide when to start the next part.
class HtmlWriter {
public:
    // The fixed XHTML header and footer of every part.
    static const QString kPartHeader;
    static const QString kPartFooter;

    // Starts "part0.html" at once.
    HtmlWriter(QString partFolder, QString partHeader, QString partFooter, int partLimit);
    virtual ~HtmlWriter();

    // Finishes the open part, if any, and opens the next with its header.
    QFile* StartPart();
    // Appends one text to the open part.
    void Write(const QString& text);
    // Writes the footer and closes the open part.
    void FinishPart();

    QString partFolder;
    QString partHeader;
    QString partFooter;
    int partCount = 0;            // parts started so far = number of the next part
    std::unique_ptr<QFile> file;  // the open part; null before the first
    int partBytes = 0;            // UTF-8 bytes in the open part, header included
    int partLimit = 0;
    QString partName;             // e.g. "part3.html"

private:
    QString PartPath();
    // Writes UTF-8 with LF stored as CR LF; returns the byte count before
    // that translation.
    int WriteTranslated(const QString& text);
};
