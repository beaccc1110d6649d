// Whole books through the real tools: the EPUBs they give and the ways a
// book fails.
#include "base/Paths.h"
#include "engine/AzwEpubEng.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <map>

namespace {

QString Data(const QString& name) { return QStringLiteral(TAVISTEL_TEST_DATA "/") + name; }

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Exec(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(300000);
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAll();
}

QByteArray Unzip(const QString& epub, const QString& entry) { return Exec("unzip", {"-p", epub, entry}); }

// Every report the engine makes, by job.
struct Recorder {
    int overwriteReply = 1;
    std::map<int, QList<int>> states;
    QList<int> engine;
    static int Notify(void* self, int kind, int index, int value)
    {
        auto* r = static_cast<Recorder*>(self);
        if (kind == NotifyAskOverwrite)
            return r->overwriteReply;
        if (kind == NotifyEngineStatus)
            r->engine.append(value);
        else
            r->states[index].append(value);
        return 0;
    }
};

// A private working folder, and the tool folder of the build unless a test
// builds its own.
class Pipeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cache.isValid());
        qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
        SetToolFolder(QStringLiteral(TAVISTEL_TOOL_DIR));
    }
    void TearDown() override
    {
        SetToolFolder({});
        qunsetenv("XDG_CACHE_HOME");
    }

    // Converts the books into `out` (the engine's way: one run, one worker).
    void Convert(AzwEpubEng& engine, Recorder& recorder, const QStringList& books, const QString& out)
    {
        engine.ClearJobs();
        for (const QString& book : books)
            ASSERT_GE(engine.AddJob(book), 0) << book.toStdString();
        engine.outputFolder = out;
        engine.SetCallback(&Recorder::Notify, &recorder);
        ASSERT_TRUE(engine.Start());
        engine.WaitForWorker();
    }

    // The working folder holds nothing once a run is over.
    void ExpectNoLeftovers()
    {
        const QDir work(cache.path() + "/Corvid");
        EXPECT_TRUE(work.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
            << work.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(' ').toStdString();
    }

    // A tool folder with the build's tools, one of them replaced by a script.
    QString ToolFolderWith(const QString& tool, const QByteArray& script)
    {
        const QString folder = tools.path() + "/core";
        QDir().mkpath(folder);
        for (const QString& name : QDir(TAVISTEL_TOOL_DIR).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            QFile::link(QStringLiteral(TAVISTEL_TOOL_DIR "/") + name, folder + "/" + name);
        if (!tool.isEmpty()) {
            QFile::remove(folder + "/" + tool);
            Write(folder + "/" + tool, "#!/bin/sh\n" + script);
            QFile::setPermissions(folder + "/" + tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        return folder;
    }

    QTemporaryDir cache;
    QTemporaryDir tools;
    QTemporaryDir out;
};

struct BookCase {
    const char* file;
    const char* title;     // UTF-8
    const char* author;
    int navPoints;
    int pictures;          // picture files in OEBPS
    const char* language = "en";
};

} // namespace

TEST_F(Pipeline, FixturesBecomeWellFormedBooks)
{
    const BookCase cases[] = {
        {"basic.azw", "The Lantern Keeper", "Ada Whitlock", 3, 3},
        {"gif.azw", "The Lantern Keeper", "Ada Whitlock", 3, 3},
        {"huff.azw", "The Lantern Keeper", "Ada Whitlock", 3, 3},
        {"mobi7.azw", "The Lantern Keeper", "Ada Whitlock", 3, 3},
        {"kf8only.azw", "The Lantern Keeper", "Ada Whitlock", 3, 3},
        {"toc.azw", "Caf\u00e9 Notes: A Guide", "Ren\u00e9e Marchand", 5, 1, "fr"},
        {"western.azw", "Caf\u00e9 Notes: A Guide", "Ren\u00e9e Marchand", 5, 1, "fr"},
        {"toc_mobi7.azw", "Caf\u00e9 Notes: A Guide", "Ren\u00e9e Marchand", 5, 1, "fr"},
        {"nonlatin.azw", "\u1f48\u03b4\u03cd\u03c3\u03c3\u03b5\u03b9\u03b1 \u3068 \u7269\u8a9e",
         "\u1f4d\u03bc\u03b7\u03c1\u03bf\u03c2", 2, 0, "el"},
    };
    QStringList books;
    for (const BookCase& c : cases)
        books << Data(c.file);
    AzwEpubEng engine;
    Recorder recorder;
    Convert(engine, recorder, books, out.path());
    EXPECT_EQ(recorder.engine.last(), StatusFinished);

    for (size_t i = 0; i < std::size(cases); ++i) {
        const BookCase& c = cases[i];
        SCOPED_TRACE(c.file);
        const QList<int>& states = recorder.states[static_cast<int>(i)];
        ASSERT_EQ(states.last(), StatusFinished) << engine.JobReason(static_cast<int>(i)).toStdString();
        EXPECT_EQ(states.count(StatusProgress), 6) << "six progress steps";

        const QString epub = out.path() + "/" + QFileInfo(c.file).completeBaseName() + ".epub";
        // mimetype first, stored, no extra field, nothing but its type.
        const QByteArray bytes = ReadAll(epub);
        ASSERT_GT(bytes.size(), 58);
        EXPECT_EQ(bytes.left(4), QByteArray("PK\x03\x04", 4));
        EXPECT_EQ(bytes.at(8) | bytes.at(9), 0) << "mimetype must be stored";
        EXPECT_EQ(bytes.mid(26, 2), QByteArray("\x08\x00", 2));
        EXPECT_EQ(bytes.mid(28, 2), QByteArray("\x00\x00", 2)) << "no extra field";
        EXPECT_EQ(bytes.mid(30, 8 + 20), QByteArray("mimetypeapplication/epub+zip"));

        const QStringList entries = QString::fromUtf8(Exec("unzip", {"-Z1", epub})).split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(entries.value(0), "mimetype");
        for (const char* needed : {"META-INF/container.xml", "OEBPS/oebps.opf", "OEBPS/oebps.ncx",
                                   "OEBPS/titlepage.html", "OEBPS/part0.html"})
            EXPECT_TRUE(entries.contains(needed)) << needed;
        EXPECT_FALSE(entries.contains("OEBPS/books.html")) << "the page file is not part of the book";
        EXPECT_FALSE(entries.contains("OEBPS/book.html"));

        const QString opf = QString::fromUtf8(Unzip(epub, "OEBPS/oebps.opf"));
        const QString ncx = QString::fromUtf8(Unzip(epub, "OEBPS/oebps.ncx"));
        // Every file of OEBPS is in the manifest.
        for (const QString& entry : entries) {
            if (entry.startsWith("OEBPS/") && !entry.endsWith('/') && entry != "OEBPS/oebps.opf") {
                EXPECT_TRUE(opf.contains("href=\"" + entry.mid(6) + "\"")) << entry.toStdString();
            }
        }
        // One identifier for the package and the navigation map.
        const QRegularExpression uidMeta("<meta[^>]*\"dtb:uid\"[^>]*>");
        const QRegularExpression content("content=\"([^\"]+)\"");
        const QString id = content.match(uidMeta.match(ncx).captured(0)).captured(1);
        EXPECT_TRUE(id.startsWith("urn:uuid:")) << ncx.toStdString();
        EXPECT_TRUE(opf.contains(">" + id + "</dc:identifier>"));

        const int navPoints = ncx.count("<navPoint");
        EXPECT_EQ(navPoints, c.navPoints) << "one navigation point per heading";
        const QString title = QString::fromUtf8(c.title);
        const QString author = QString::fromUtf8(c.author);
        EXPECT_TRUE(opf.contains(">" + title + "</dc:title>")) << opf.toStdString();
        EXPECT_TRUE(opf.contains(">" + author + "</dc:creator>"));
        EXPECT_TRUE(ncx.contains("<text>" + title + "</text>"));
        EXPECT_TRUE(ncx.contains("<text>" + author + "</text>"));
        // The book's language survives the PDF step.
        const QString lang = QString::fromLatin1(c.language);
        EXPECT_TRUE(opf.contains(QRegularExpression("<dc:language[^>]*>" + lang + "</dc:language>"))) << opf.toStdString();
        EXPECT_TRUE(Unzip(epub, "OEBPS/titlepage.html").contains(("xml:lang=\"" + lang + "\"").toUtf8()));
        EXPECT_TRUE(Unzip(epub, "OEBPS/part0.html").contains(("xml:lang=\"" + lang + "\"").toUtf8()));
        int pictures = 0;
        for (const QString& entry : entries)
            pictures += entry.endsWith(".jpg") || entry.endsWith(".png");
        EXPECT_EQ(pictures, c.pictures);
        if (pictures) {
            const QByteArray title = Unzip(epub, "OEBPS/titlepage.html");
            EXPECT_TRUE(title.contains("<img src=\"book-1_1.")) << "the cover on the title page";
        }
    }
    ExpectNoLeftovers();

    // The validator accepts them (a few books: it takes seconds each).
    for (const char* name : {"basic.epub", "gif.epub"}) {
        int code = -1;
        const QByteArray report =
            Exec("java", {"-jar", "/usr/share/java/epubcheck.jar", out.path() + "/" + name}, &code);
        EXPECT_EQ(code, 0) << report.constData();
        EXPECT_TRUE(report.contains("0 errors")) << report.constData();
    }
}

TEST_F(Pipeline, BadBooksFailWithTheirReasonAndKeepTheTarget)
{
    const QString in = out.path() + "/in";
    const QString books = out.path() + "/books";
    QDir().mkpath(in);
    QFile::copy(Data("drm.azw"), in + "/drm.azw");
    Write(in + "/empty.azw", "");
    Write(in + "/text.azw", QByteArray("This is a letter, not a book.\n").repeated(200));
    Write(in + "/truncated.azw", ReadAll(Data("basic.azw")).left(2000));
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"drm.azw", "the book is DRM-protected"},
        {"empty.azw", "the file is empty"},
        {"text.azw", "not a MOBI book"},
        {"truncated.azw", "damaged or truncated"},
        {"missing.azw", "the book does not exist"},
    };
    QStringList sources;
    for (const auto& c : cases) {
        sources << in + "/" + c.name;
        Write(books + "/" + QFileInfo(c.name).completeBaseName() + ".epub", "the old book");
    }
    AzwEpubEng engine;
    Recorder recorder;   // replacing is allowed: only a finished book may replace
    Convert(engine, recorder, sources, books);

    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(recorder.states[i].last(), StatusFailed);
        const QString reason = engine.JobReason(i);
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_TRUE(reason.contains(cases[i].reason)) << reason.toStdString();
        EXPECT_FALSE(reason.contains("tmpmobi")) << "the working copy's name means nothing to the reader";
        EXPECT_EQ(ReadAll(books + "/" + QFileInfo(cases[i].name).completeBaseName() + ".epub"),
                  QByteArray("the old book"));
    }
    EXPECT_EQ(recorder.engine.last(), StatusFinished) << "the run goes on after failures";
    ExpectNoLeftovers();
}

TEST_F(Pipeline, ToolFaultsFailTheBook)
{
    const struct {
        const char* tool;   // replaced in the tool folder; empty: an empty tool folder
        QByteArray script;
        const char* reason;
    } cases[] = {
        {"", "", "mobi2html is missing"},
        {"html2pdf", "echo 'rendering the book' ; echo 'html2pdf: out of memory' >&2; exit 1\n",
         "html2pdf: out of memory"},
        {"html2pdf", "exit 0\n", "html2pdf wrote no PDF"},
        {"pdftohtml", "echo 'pdftohtml is missing (Debian package poppler-utils)' >&2; exit 127\n",
         "pdftohtml is missing"},
        {"pdftohtml", "printf '<html><body><a name=1></a>half a pag' > \"$2s.html\"\n",
         "pdftohtml left an incomplete page file"},
        {"7z", "echo 'E_FAIL: No space left on device'; exit 2\n", "No space left on device"},
        // No package templates: what would be zipped is no EPUB.
        {"Template", "", "cannot write the package document"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        QTemporaryDir folder;
        QString toolFolder = folder.path();
        if (*c.tool) {
            QDir(tools.path()).removeRecursively();
            toolFolder = ToolFolderWith(c.tool, c.script);
        }
        SetToolFolder(toolFolder);
        Write(out.path() + "/basic.epub", "the old book");
        AzwEpubEng engine;
        Recorder recorder;
        Convert(engine, recorder, {Data("basic.azw")}, out.path());
        EXPECT_EQ(recorder.states[0].last(), StatusFailed);
        EXPECT_TRUE(engine.JobReason(0).contains(c.reason)) << engine.JobReason(0).toStdString();
        EXPECT_EQ(ReadAll(out.path() + "/basic.epub"), QByteArray("the old book"));
        ExpectNoLeftovers();
    }
}

TEST_F(Pipeline, ExistingTargetIsSkippedOrReplaced)
{
    const QString target = out.path() + "/basic.epub";
    for (const int reply : {0, 1}) {
        SCOPED_TRACE(reply);
        Write(target, "the old book");
        AzwEpubEng engine;
        Recorder recorder;
        recorder.overwriteReply = reply;
        Convert(engine, recorder, {Data("basic.azw")}, out.path());
        if (reply == 0) {
            EXPECT_EQ(recorder.states[0].last(), StatusStopped);
            EXPECT_EQ(ReadAll(target), QByteArray("the old book"));
        } else {
            EXPECT_EQ(recorder.states[0].last(), StatusFinished);
            EXPECT_TRUE(ReadAll(target).startsWith(QByteArray("PK\x03\x04mimetype", 4))) << "an EPUB now";
            EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 1) << "no temporary file beside it";
        }
    }
}

TEST_F(Pipeline, UnwritableOutputFolderFailsTheBook)
{
    Write(out.path() + "/plain-file", "x");
    AzwEpubEng engine;
    Recorder recorder;
    Convert(engine, recorder, {Data("toc.azw")}, out.path() + "/plain-file/books");
    EXPECT_EQ(recorder.states[0].last(), StatusFailed);
    EXPECT_TRUE(engine.JobReason(0).startsWith("cannot write")) << engine.JobReason(0).toStdString();
    ExpectNoLeftovers();
}

TEST_F(Pipeline, OutputFolderIsCheckedBeforeTheConversion)
{
    // The book fails at once, not after minutes of tools.
    const QString marker = out.path() + "/converted";
    SetToolFolder(ToolFolderWith("mobi2html", "touch '" + marker.toUtf8() + "'\nexit 1\n"));
    const QString closed = out.path() + "/closed";
    QDir().mkpath(closed);
    QFile::setPermissions(closed, QFile::ReadOwner | QFile::ExeOwner);
    const struct {
        QString folder;
        const char* reason;
        bool needsUser; // root writes anywhere
    } cases[] = {
        {out.path() + "/missing", "no such folder", false},
        {closed, "permission denied", true},
    };
    for (const auto& c : cases) {
        if (c.needsUser && geteuid() == 0)
            continue;
        AzwEpubEng engine;
        Recorder recorder;
        Convert(engine, recorder, {Data("toc.azw")}, c.folder);
        EXPECT_EQ(recorder.states[0].last(), StatusFailed);
        EXPECT_EQ(engine.JobReason(0), "cannot write into " + c.folder + ": " + c.reason);
        EXPECT_FALSE(QFile::exists(marker)) << "no tool ran";
    }
    QFile::setPermissions(closed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ExpectNoLeftovers();
}

TEST_F(Pipeline, StopDuringAToolLeavesNothing)
{
    const QString marker = out.path() + "/running";
    SetToolFolder(ToolFolderWith("html2pdf", "echo $$ > '" + marker.toUtf8() + "'\nexec sleep 60\n"));
    Write(out.path() + "/basic.epub", "the old book");

    AzwEpubEng engine;
    Recorder recorder;
    engine.AddJob(Data("basic.azw"));
    engine.AddJob(Data("toc.azw"));
    engine.outputFolder = out.path();
    engine.SetCallback(&Recorder::Notify, &recorder);
    ASSERT_TRUE(engine.Start());
    for (int i = 0; i < 600 && ReadAll(marker).isEmpty(); ++i)
        QThread::msleep(50);
    const pid_t tool = ReadAll(marker).trimmed().toInt();
    ASSERT_GT(tool, 0) << "the tool never started";
    engine.RequestStop();
    engine.WaitForWorker();

    EXPECT_EQ(recorder.states[0].last(), StatusStopped);
    EXPECT_EQ(recorder.states[1].last(), StatusStopped);
    EXPECT_EQ(recorder.engine.last(), StatusStopped);
    EXPECT_NE(kill(tool, 0), 0) << "the tool is not left running";
    EXPECT_EQ(ReadAll(out.path() + "/basic.epub"), QByteArray("the old book"));
    EXPECT_FALSE(QFile::exists(out.path() + "/toc.epub"));
    ExpectNoLeftovers();
}

TEST_F(Pipeline, TwoRunsAtOnceKeepApart)
{
    QTemporaryDir second;
    AzwEpubEng a;
    AzwEpubEng b;
    Recorder ra;
    Recorder rb;
    a.AddJob(Data("basic.azw"));
    b.AddJob(Data("toc.azw"));
    a.outputFolder = out.path();
    b.outputFolder = second.path();
    a.SetCallback(&Recorder::Notify, &ra);
    b.SetCallback(&Recorder::Notify, &rb);
    ASSERT_TRUE(a.Start());
    ASSERT_TRUE(b.Start());
    a.WaitForWorker();
    b.WaitForWorker();
    EXPECT_EQ(ra.states[0].last(), StatusFinished) << a.JobReason(0).toStdString();
    EXPECT_EQ(rb.states[0].last(), StatusFinished) << b.JobReason(0).toStdString();
    EXPECT_TRUE(Unzip(out.path() + "/basic.epub", "OEBPS/oebps.opf").contains("The Lantern Keeper"));
    EXPECT_FALSE(Unzip(second.path() + "/toc.epub", "OEBPS/oebps.opf").contains("The Lantern Keeper"));
    ExpectNoLeftovers();
}

TEST_F(Pipeline, BookWithoutOutlineStillHasNavigation)
{
    // The PDF-to-HTML step as for a PDF without bookmarks: no outline section.
    SetToolFolder(ToolFolderWith("pdftohtml",
        "/usr/bin/pdftohtml \"$@\" || exit\n"
        "/usr/bin/python3 -c 'import re,sys; p=sys.argv[1]; t=open(p).read(); "
        "open(p,\"w\").write(re.sub(r\"<a name=\\\"outline\\\">.*<hr/>\", \"\", t, flags=re.S))' \"$2s.html\"\n"));
    AzwEpubEng engine;
    Recorder recorder;
    Convert(engine, recorder, {Data("toc.azw")}, out.path());
    ASSERT_EQ(recorder.states[0].last(), StatusFinished) << engine.JobReason(0).toStdString();
    const QString epub = out.path() + "/toc.epub";
    EXPECT_EQ(Unzip(epub, "OEBPS/oebps.ncx").count("<navPoint"), 1);
    int code = -1;
    const QByteArray report = Exec("java", {"-jar", "/usr/share/java/epubcheck.jar", epub}, &code);
    EXPECT_EQ(code, 0) << report.constData();
}
