#include "engine/ConversionPipeline.h"

#include "base/Paths.h"
#include "engine/ImageNormaliser.h"
#include "engine/MobiEpubCore.h"
#include "epub/BookIdentifier.h"
#include "epub/MetaData.h"
#include "epub/MetaValues.h"
#include "epub/TemplateFiles.h"
#include "epub/TitlePage.h"
#include "html/HtmlSplitter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStorageInfo>

#include <algorithm>

Q_LOGGING_CATEGORY(lcPipeline, "tavistel.pipeline", QtWarningMsg)

namespace {

const QString kStemText = QString::fromUtf16(ConversionPipeline::kStem);

// A page file the tool wrote to its end closes its document.
bool EndsWithHtmlClose(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    file.seek(std::max<qint64>(0, size - 64));
    return file.readAll().trimmed().toLower().endsWith("</html>");
}

// Copies the rest of `in` to `out`; false when a write fell short (a read
// error shows in in.error()).
bool CopyAll(QFile& in, QIODevice& out)
{
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            return false;
    }
    return true;
}

// The one line of a tool's output that says why it failed.
QString ToolMessage(const QString& tool, const QString& input, const ToolRunReport& report)
{
    QString line = report.LastLine();
    if (line.isEmpty()) {
        return report.outcome == ToolOutcome::Signalled
            ? QStringLiteral("%1 was ended by signal %2").arg(tool).arg(report.signal)
            : QStringLiteral("%1 failed with exit status %2").arg(tool).arg(report.exitCode);
    }
    // mobi2html speaks about the book ("mobi2html: book.mobi: the book is
    // DRM-protected"): the working copy's name means nothing to the reader.
    const QString own = tool + QStringLiteral(": ");
    if (tool == QLatin1String("mobi2html") && line.startsWith(own)) {
        line = line.mid(own.size());
        const QString copy = FileNameOf(input) + QStringLiteral(": ");
        if (line.startsWith(copy))
            line = line.mid(copy.size());
        return line;
    }
    return line.contains(tool) ? line : own + line;
}

} // namespace

ConversionPipeline::ConversionPipeline(MobiEpubCore& engine, QString source, QString target)
    : engine(engine), source(std::move(source)), target(std::move(target))
{
}

ConversionPipeline::~ConversionPipeline()
{
    if (!bookWork.isEmpty())
        RemoveFolderTree(bookWork);
}

int ConversionPipeline::TimeLimitMs(qint64 bytes)
{
    const qint64 mb = std::max<qint64>(0, bytes) / (1024 * 1024);
    return static_cast<int>(std::min<qint64>(120'000 + 120'000 * mb, 24 * 3600 * 1000));
}

bool ConversionPipeline::Fail(const QString& why)
{
    if (reason.isEmpty())
        reason = why;
    qCDebug(lcPipeline).noquote() << source << "failed:" << why;
    return false;
}

QString ConversionPipeline::WriteFailure(const QString& what, const QString& folder, const QString& error) const
{
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() < 64 * 1024)
        return QStringLiteral("no space left on device (%1)").arg(what);
    return error.isEmpty() ? QStringLiteral("cannot write %1").arg(what)
                           : QStringLiteral("cannot write %1: %2").arg(what, error);
}

bool ConversionPipeline::StillRunning()
{
    if (engine.status == StatusRunning)
        return true;
    return Fail(QStringLiteral("stopped"));
}

void ConversionPipeline::StageDone(const char* stage)
{
    const double seconds = static_cast<double>(stageClock.nsecsElapsed()) / 1e9;
    if (engine.stageTimer)
        engine.stageTimer(QString::fromLatin1(stage), seconds);
    stageClock.restart();
}

bool ConversionPipeline::RunTool(const QString& tool, const QStringList& arguments, const QString& sizeOf,
                                 const QString& folder)
{
    return RunToolSteps(tool, {arguments}, sizeOf, folder);
}

bool ConversionPipeline::RunToolSteps(const QString& tool, const QList<QStringList>& steps, const QString& sizeOf,
                                      const QString& folder)
{
    if (!StillRunning())
        return false;
    const QString path = ToolPath(tool);
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable())
        return Fail(QStringLiteral("%1 is missing (looked for %2)").arg(tool, path));

    // Several steps share one launcher; the first failing one ends it.
    QStringList commands;
    for (const QStringList& arguments : steps)
        commands << BuildToolCommand(path, arguments);
    QString command = commands.join(QStringLiteral(" && "));
    if (!folder.isEmpty())
        command = QStringLiteral("cd ") + ShellQuote(folder) + QStringLiteral(" && ") + command;
    const int limit = TimeLimitMs(QFileInfo(sizeOf).size());
    const bool ran = engine.RunTool(command, limit);
    const ToolRunReport& report = engine.LastToolRun();
    if (!ran) {
        switch (report.outcome) {
        case ToolOutcome::TimedOut:
            return Fail(QStringLiteral("%1 did not finish within %2 s and was ended").arg(tool).arg(limit / 1000));
        case ToolOutcome::Stopped:
            return Fail(QStringLiteral("stopped during %1").arg(tool));
        default:
            return Fail(QStringLiteral("cannot start %1").arg(tool));
        }
    }
    if (report.outcome != ToolOutcome::Exited || report.exitCode != 0)
        return Fail(ToolMessage(tool, steps.value(0).value(0), report));
    return StillRunning();
}

bool ConversionPipeline::Run()
{
    stageClock.start();
    engine.BeginJobProgress();

    const bool done = CheckTargetFolder() && CopySource() && MakeHtml() && MakePdf() && MakePages() && SplitAndPackage() && Archive()
        && WriteTarget();

    // Everything the book left behind goes with its folder.
    if (!bookWork.isEmpty() && RemoveFolderTree(bookWork) == 0)
        bookWork.clear();
    return done;
}

QString ConversionPipeline::TargetFolder() const
{
    const QString folder = ParentFolder(target);
    return folder.isEmpty() ? QStringLiteral(".") : folder;
}

bool ConversionPipeline::CheckTargetFolder()
{
    // Found out now, not after minutes of conversion.
    const QString folder = TargetFolder();
    const QFileInfo info(folder);
    if (!info.isDir())
        return Fail(QStringLiteral("cannot write into %1: no such folder").arg(folder));
    if (!info.isWritable())
        return Fail(QStringLiteral("cannot write into %1: permission denied").arg(folder));
    return true;
}

bool ConversionPipeline::CopySource()
{
    const QFileInfo book(source);
    if (!book.exists())
        return Fail(QStringLiteral("the book does not exist"));
    if (!book.isFile())
        return Fail(QStringLiteral("not a file"));

    // What a killed run left behind goes first.
    WorkFolderClaim::RemoveAbandoned(WorkingFolder(), QStringLiteral("tmpmobi"));

    // A folder of the book's own: two runs, or two books, never meet.
    for (int attempt = 0; attempt < 16 && bookWork.isEmpty(); ++attempt) {
        const QString candidate = MakeTempPath(QStringLiteral("tmpmobi"));
        if (candidate.isEmpty())
            return Fail(QStringLiteral("cannot make a working folder in %1").arg(WorkingFolder()));
        if (QDir().mkdir(candidate)) {
            bookWork = candidate;
            workClaim.Claim(bookWork);
        }
    }
    if (bookWork.isEmpty())
        return Fail(WriteFailure(QStringLiteral("the working folder in %1").arg(WorkingFolder()), WorkingFolder()));

    mobiCopy = bookWork + QStringLiteral("/book.mobi");
    htmlFolder = bookWork + QStringLiteral("/html");
    convertedHtml = htmlFolder + QStringLiteral("/book.html");
    pdf = bookWork + QStringLiteral("/book.pdf");
    bookFolder = bookWork + QStringLiteral("/epub");
    contentFolder = bookFolder + QStringLiteral("/OEBPS");
    pageFile = contentFolder + QLatin1Char('/') + kStemText + QStringLiteral("s.html");
    mainDocument = contentFolder + QLatin1Char('/') + kStemText + QStringLiteral(".html");
    tempEpub = bookWork + QStringLiteral("/book.epub");

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read the book: %1").arg(in.errorString()));
    QFile out(mobiCopy);
    if (!out.open(QIODevice::WriteOnly))
        return Fail(WriteFailure(QStringLiteral("the working copy"), bookWork, out.errorString()));
    if (!CopyAll(in, out))
        return Fail(WriteFailure(QStringLiteral("the working copy"), bookWork, out.errorString()));
    if (in.error() != QFileDevice::NoError)
        return Fail(QStringLiteral("cannot read the book: %1").arg(in.errorString()));
    if (!out.flush())
        return Fail(WriteFailure(QStringLiteral("the working copy"), bookWork, out.errorString()));
    out.close();
    StageDone("copy");
    engine.TickJobProgress();
    return StillRunning();
}

bool ConversionPipeline::MakeHtml()
{
    if (!RunTool(QStringLiteral("mobi2html"), {mobiCopy, htmlFolder}, mobiCopy))
        return false;
    if (!QFileInfo(convertedHtml).isFile())
        return Fail(QStringLiteral("mobi2html wrote no HTML"));
    // The PDF step loses the book's language: it is taken here, from the head.
    QFile html(convertedHtml);
    if (html.open(QIODevice::ReadOnly))
        language = LanguageTag(DocumentLanguage(QString::fromUtf8(html.read(8192))));
    StageDone("mobi2html");
    engine.TickJobProgress();
    return true;
}

bool ConversionPipeline::MakePdf()
{
    const QString normalised = NormaliseImages(convertedHtml);
    if (normalised.isEmpty() || !FileExists(normalised))
        return Fail(WriteFailure(QStringLiteral("the HTML with JPEG pictures"), htmlFolder));
    StageDone("pictures");

    if (!RunTool(QStringLiteral("html2pdf"), {normalised, pdf}, normalised))
        return false;
    if (QFileInfo(pdf).size() <= 0)
        return Fail(QStringLiteral("html2pdf wrote no PDF"));
    StageDone("html2pdf");
    engine.TickJobProgress();

    // The HTML and the copy are no longer needed.
    QFile::remove(mobiCopy);
    RemoveFolderTree(htmlFolder);
    return true;
}

bool ConversionPipeline::MakePages()
{
    if (!QDir().mkpath(contentFolder))
        return Fail(WriteFailure(QStringLiteral("the book folder"), bookWork));
    // The tool runs inside the content folder (a shell of its own changes
    // folder, never this process) and names its files after kStem.
    if (!RunTool(QStringLiteral("pdftohtml"), {pdf, kStemText}, pdf, contentFolder))
        return false;
    if (!QFileInfo(pageFile).isFile())
        return Fail(QStringLiteral("pdftohtml wrote no page file"));
    if (!EndsWithHtmlClose(pageFile))
        return Fail(QStringLiteral("pdftohtml left an incomplete page file"));
    QFile::remove(pdf);
    StageDone("pdftohtml");
    engine.TickJobProgress();
    return true;
}

bool ConversionPipeline::SplitAndPackage()
{
    ConversionOptions& options = *engine.options;
    options.htmlPath = pageFile;

    // Title and author first: the navigation map carries them, and one
    // identifier serves the navigation map and the package document.
    MetaData metadata;
    metadata.Extract(mainDocument);
    metadata.language = language;
    const QString identifier = MakeBookIdentifier();

    HtmlSplitter splitter;
    splitter.SetBookInfo(DecodeHtmlEntities(metadata.title), DecodeHtmlEntities(metadata.author), identifier);
    splitter.SetLanguage(PackageLanguage(language));
    splitter.Split(options);
    if (splitter.PartCount() <= 0 || !FileExists(contentFolder + QStringLiteral("/part0.html")))
        return Fail(WriteFailure(QStringLiteral("the book's pages"), contentFolder));
    if (!FileExists(contentFolder + QStringLiteral("/oebps.ncx")))
        return Fail(WriteFailure(QStringLiteral("the navigation map"), contentFolder));
    StageDone("split");

    SubstitutionTable table = BuildSubstitutions(metadata, identifier);
    PrepareCover(contentFolder, table);
    TemplateFiles templates([this](const QString& text) { engine.ReportNotice(text); });
    templates.Install(table, contentFolder, kStemText);
    // Without its package document, or the container that names it, the
    // archive would be no EPUB at all.
    if (!WriteOpfMetadata(table, metadata, contentFolder)
        || !FileExists(bookFolder + QStringLiteral("/META-INF/container.xml")))
        return Fail(WriteFailure(QStringLiteral("the package document"), contentFolder));
    QFile::remove(pageFile);
    StageDone("package");
    return StillRunning();
}

bool ConversionPipeline::Archive()
{
    // The archiver sorts entries by name, and "mimetype" must come first and
    // stored: it goes in as "!mimetype" (sorted before any capital) without
    // compression or extra fields, the folders follow, then it is renamed.
    const QString mimetype = bookFolder + QStringLiteral("/mimetype");
    const QString early = bookFolder + QStringLiteral("/!mimetype");
    QFile earlyFile(early);
    QFile templateFile(mimetype);
    QByteArray type = templateFile.open(QIODevice::ReadOnly) ? templateFile.readAll().trimmed() : QByteArray();
    if (type.isEmpty())
        type = "application/epub+zip";
    if (!earlyFile.open(QIODevice::WriteOnly) || earlyFile.write(type) != type.size() || !earlyFile.flush())
        return Fail(WriteFailure(QStringLiteral("the mimetype file"), bookFolder, earlyFile.errorString()));
    earlyFile.close();
    QFile::remove(mimetype);

    const QList<QStringList> steps = {
        {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mx0"), QStringLiteral("-mtm=off"), tempEpub, early},
        // One thread: starting more costs more than it saves on a book.
        {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mmt=off"), tempEpub,
         bookFolder + QStringLiteral("/META-INF"),
         contentFolder},
        {QStringLiteral("rn"), tempEpub, QStringLiteral("!mimetype"), QStringLiteral("mimetype")},
    };
    if (!RunToolSteps(QStringLiteral("7z"), steps, contentFolder))
        return false;
    if (!QFileInfo(tempEpub).isFile())
        return Fail(QStringLiteral("7z wrote no archive"));
    StageDone("archive");
    return true;
}

bool ConversionPipeline::WriteTarget()
{
    // Written beside the target under a temporary name and renamed over it
    // only when complete: an existing book is never lost or half-written.
    const QString folder = TargetFolder();
    QFile in(tempEpub);
    if (!in.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read the new EPUB: %1").arg(in.errorString()));
    const bool replacing = FileExists(target);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return Fail(WriteFailure(target, folder, out.errorString()));
    if (!CopyAll(in, out)) {
        out.cancelWriting();
        return Fail(WriteFailure(target, folder, out.errorString()));
    }
    if (in.error() != QFileDevice::NoError || !StillRunning()) {
        out.cancelWriting();
        return Fail(QStringLiteral("cannot read the new EPUB: %1").arg(in.errorString()));
    }
    if (!out.commit())
        return Fail(WriteFailure(target, folder, out.errorString()));
    // A new file gets the usual permissions, not the private ones of a
    // temporary file; a replaced one keeps its own.
    if (!replacing)
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    StageDone("target");
    engine.TickJobProgress();
    return true;
}
