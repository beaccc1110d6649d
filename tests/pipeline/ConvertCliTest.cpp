// tavistel-convert as a script sees it: one line per book, the exit status,
// Ctrl-C.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {

QString Program() { return QStringLiteral(TAVISTEL_BIN_DIR "/tavistel-convert"); }
QString Data(const QString& name) { return QStringLiteral(TAVISTEL_TEST_DATA "/") + name; }

class ConvertCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(cache.isValid() && out.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CACHE_HOME", cache.path());
        process.setProcessEnvironment(env);
    }

    int Run(const QStringList& args)
    {
        process.start(Program(), args);
        process.waitForFinished(300000);
        stdoutText = QString::fromUtf8(process.readAllStandardOutput());
        stderrText = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir cache;
    QTemporaryDir out;
    QProcess process;
    QString stdoutText;
    QString stderrText;
};

} // namespace

TEST_F(ConvertCli, UsageErrorsExitWithTwo)
{
    const QStringList cases[] = {
        {},
        {"--bogus", Data("toc.azw")},
        {"--overwrite", "--skip-existing", Data("toc.azw")},
        {"--output-dir", out.path(), "--beside-source", Data("toc.azw")},
        {"--output-dir"},
    };
    for (const QStringList& args : cases) {
        EXPECT_EQ(Run(args), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(stderrText.contains("usage:")) << stderrText.toStdString();
    }
}

TEST_F(ConvertCli, OneLinePerBookAndTimings)
{
    QFile::copy(Data("toc.azw"), out.path() + "/My Book.azw");
    const int code = Run({"--timings", "--output-dir", out.path() + "/epub", out.path() + "/My Book.azw",
                          Data("drm.azw"), out.path() + "/notes.txt"});
    EXPECT_EQ(code, 1);
    const QStringList lines = stdoutText.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(out.path() + "/My Book.azw: Finished")) << stdoutText.toStdString();
    EXPECT_TRUE(lines.contains(Data("drm.azw") + ": Failed: the book is DRM-protected")) << stdoutText.toStdString();
    EXPECT_TRUE(lines.contains(out.path() + "/notes.txt: Failed: not an .azw book"));
    EXPECT_EQ(lines.size(), 3);
    EXPECT_TRUE(QFile::exists(out.path() + "/epub/My Book.epub"));
    for (const char* stage : {"timing mobi2html ", "timing html2pdf ", "timing pdftohtml ", "timing split "})
        EXPECT_TRUE(stderrText.contains(stage)) << stage;

    // Again: kept without --overwrite (a success), replaced with it.
    EXPECT_EQ(Run({"--output-dir", out.path() + "/epub", out.path() + "/My Book.azw"}), 0);
    EXPECT_EQ(stdoutText, out.path() + "/My Book.azw: Skipped: " + out.path()
                              + "/epub/My Book.epub exists (--overwrite replaces it)\n");
    EXPECT_EQ(Run({"--overwrite", "--output-dir", out.path() + "/epub", out.path() + "/My Book.azw"}), 0);
    EXPECT_EQ(stdoutText, out.path() + "/My Book.azw: Finished\n");
}

TEST_F(ConvertCli, BesideTheSourceByDefault)
{
    QFile::copy(Data("toc.azw"), out.path() + "/book.azw");
    EXPECT_EQ(Run({out.path() + "/book.azw"}), 0) << stdoutText.toStdString();
    EXPECT_TRUE(QFile::exists(out.path() + "/book.epub"));
}

TEST_F(ConvertCli, OneBookPerSourceAndOneSourcePerTarget)
{
    // The same book twice (once through a link) is converted once; another
    // book of the same name, from another folder, does not replace it.
    QDir().mkpath(out.path() + "/a");
    QDir().mkpath(out.path() + "/b");
    QFile::copy(Data("toc.azw"), out.path() + "/a/book.azw");
    QFile::copy(Data("nonlatin.azw"), out.path() + "/b/book.azw");
    QFile::link(out.path() + "/a/book.azw", out.path() + "/link.azw");
    const QString epub = out.path() + "/epub";
    for (const char* replace : {"--skip-existing", "--overwrite"}) {
        SCOPED_TRACE(replace);
        QDir(epub).removeRecursively();
        EXPECT_EQ(Run({replace, "--output-dir", epub, out.path() + "/a/book.azw", out.path() + "/a/../a/book.azw",
                       out.path() + "/link.azw", out.path() + "/b/book.azw"}),
                  1);
        EXPECT_EQ(stdoutText, out.path() + "/a/book.azw: Finished\n" + out.path()
                      + "/b/book.azw: Failed: another book of this run was written to " + epub + "/book.epub\n");
        EXPECT_EQ(QDir(epub).entryList(QDir::Files), QStringList{"book.epub"});
    }
}

TEST_F(ConvertCli, EachBookWhoseNameIsNotUtf8FailsWithThatReason)
{
    // Such names cannot be opened by name: each says so, none vanishes
    // behind another that reads the same once decoded.
    for (const char* name : {"/caf\xe9.azw", "/caf\xe8.azw"}) {
        QFile::copy(Data("toc.azw"), out.path() + "/book.azw");
        ASSERT_EQ(::rename(QFile::encodeName(out.path() + "/book.azw").constData(),
                           (QFile::encodeName(out.path()) + name).constData()),
                  0);
    }
    process.start("/bin/sh", {"-c", "exec \"$0\" \"$1\"/caf*.azw", Program(), out.path()});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(line.endsWith(": Failed: the file name is not valid UTF-8")) << line.toStdString();
}

TEST_F(ConvertCli, ControlCharactersOfANameNeverReachTheOutput)
{
    // A newline would forge a line of its own, an escape would drive the
    // terminal.
    const QString book = out.path() + "/a\nb.azw: Finished\n\x1b[2Jc.azw";
    QFile::copy(Data("toc.azw"), book);
    EXPECT_EQ(Run({"--output-dir", out.path() + "/epub", book}), 0);
    EXPECT_EQ(stdoutText, out.path() + "/a?b.azw: Finished??[2Jc.azw: Finished\n");
    EXPECT_TRUE(QFile::exists(out.path() + "/epub/a\nb.azw: Finished\n\x1b[2Jc.epub"));
}

TEST_F(ConvertCli, AnOutputFolderIsMadeWhenMissing)
{
    QFile::copy(Data("toc.azw"), out.path() + "/book.azw");
    EXPECT_EQ(Run({"--output-dir", out.path() + "/new/deep", out.path() + "/book.azw"}), 0) << stdoutText.toStdString();
    EXPECT_TRUE(QFile::exists(out.path() + "/new/deep/book.epub"));

    // One that cannot be made is said once, and each book fails at once.
    QFile::copy(Data("toc.azw"), out.path() + "/file");
    EXPECT_EQ(Run({"--output-dir", out.path() + "/file/sub", out.path() + "/book.azw"}), 1);
    EXPECT_TRUE(stderrText.contains("cannot make the output folder " + out.path() + "/file/sub"))
        << stderrText.toStdString();
    EXPECT_EQ(stdoutText,
              out.path() + "/book.azw: Failed: cannot write into " + out.path() + "/file/sub: no such folder\n");
}

TEST_F(ConvertCli, InterruptStopsTheRunCleanly)
{
    // Ctrl-C, and a closed terminal: the tools run in a group of their own
    // and would outlive a program that just died.
    for (const int sig : {SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        QDir(out.path()).removeRecursively();
        QDir().mkpath(out.path());
        QStringList books;
        for (int i = 0; i < 4; ++i) {
            const QString book = out.path() + QStringLiteral("/b%1.azw").arg(i);
            QFile::copy(Data("basic.azw"), book);
            books << book;
        }
        process.start(Program(), QStringList{"--output-dir", out.path()} + books);
        ASSERT_TRUE(process.waitForStarted());
        QThread::msleep(700);
        kill(static_cast<pid_t>(process.processId()), sig);
        ASSERT_TRUE(process.waitForFinished(60000)) << "the run did not end after the signal";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "ended by the signal, not by itself";
        EXPECT_EQ(process.exitCode(), 1);
        const QString text = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_TRUE(text.contains(": Stopped")) << text.toStdString();
        // Whatever was written is a whole book; nothing half-made is left.
        for (const QString& name : QDir(out.path()).entryList(QDir::Files)) {
            EXPECT_TRUE(name.endsWith(".azw") || name.endsWith(".epub")) << name.toStdString();
            if (name.endsWith(".epub")) {
                EXPECT_TRUE(text.contains(QFileInfo(name).completeBaseName() + ".azw: Finished"));
            }
        }
        EXPECT_TRUE(QDir(cache.path() + "/Corvid").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }
}
