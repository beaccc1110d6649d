#pragma once

#include "engine/WorkFolderClaim.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

class MobiEpubCore;

// The road of one book from AZW to EPUB: the book is copied into a working
// folder of its own, turned into HTML (mobi2html), its GIF pictures into JPEG,
// the HTML into a PDF (html2pdf) and the PDF into pages (pdftohtml); the pages
// are cut into XHTML parts with a navigation map, the package files are
// written and the tree is zipped (7z) into the target.
//
// Every intermediate file lives in the book's own folder, which goes away
// with the pipeline; the target is replaced only by a complete EPUB.
class ConversionPipeline {
public:
    ConversionPipeline(MobiEpubCore& engine, QString source, QString target);
    ~ConversionPipeline();
    ConversionPipeline(const ConversionPipeline&) = delete;
    ConversionPipeline& operator=(const ConversionPipeline&) = delete;

    // True when the target was written; otherwise FailureReason() says why.
    bool Run();
    QString FailureReason() const { return reason; }

    // The fixed name the PDF-to-HTML step writes under: never the source's
    // own name, which may hold anything.
    static constexpr char16_t kStem[] = u"book";

    // Time a tool may take for an input of `bytes`: two minutes, and two
    // more for every MB.
    static int TimeLimitMs(qint64 bytes);

private:
    QString TargetFolder() const;
    bool CheckTargetFolder();
    bool CopySource();
    bool MakeHtml();
    bool MakePdf();
    bool MakePages();
    bool SplitAndPackage();
    bool Archive();
    bool WriteTarget();

    // Runs one tool of the tool folder, optionally from inside `folder`, with
    // a time limit for `sizeOf`; false (with the reason) when it did not run
    // to a clean end.
    bool RunTool(const QString& tool, const QStringList& arguments, const QString& sizeOf,
                 const QString& folder = {});
    bool RunToolSteps(const QString& tool, const QList<QStringList>& steps, const QString& sizeOf,
                      const QString& folder = {});
    bool StillRunning();
    bool Fail(const QString& why);
    // The reason for a file we could not write: a full disk says so.
    QString WriteFailure(const QString& what, const QString& folder, const QString& error = {}) const;
    void StageDone(const char* stage);

    MobiEpubCore& engine;
    QString source;
    QString target;
    QString reason;
    QString language;        // the book's language tag, from mobi2html's HTML
    QElapsedTimer stageClock;

    QString bookWork;        // the book's own working folder
    WorkFolderClaim workClaim;  // held while the book converts
    QString mobiCopy;        // bookWork/book.mobi
    QString htmlFolder;      // bookWork/html
    QString convertedHtml;   // htmlFolder/book.html
    QString pdf;             // bookWork/book.pdf
    QString bookFolder;      // bookWork/epub: mimetype, META-INF, OEBPS
    QString contentFolder;   // bookFolder/OEBPS
    QString pageFile;        // contentFolder/books.html
    QString mainDocument;    // contentFolder/book.html
    QString tempEpub;        // bookWork/book.epub
};
