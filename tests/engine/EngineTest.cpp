#include "EngineTestSupport.h"

#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

QString Touch(const QString& path, const QByteArray& bytes = "old")
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void RunToEnd(FakeEng& engine, Recorder& recorder)
{
    engine.SetCallback(&Recorder::Callback, &recorder);
    ASSERT_TRUE(engine.Start());
    engine.WaitForWorker();
}

} // namespace

TEST(Engine, ReportsEveryStateAndProgressStepOfAThreeJobRun)
{
    QTemporaryDir out;
    FakeEng engine;
    engine.outputFolder = out.path();
    for (const char* name : {"/in/one.azw", "/in/two.AZW", "/in/three.azw"})
        ASSERT_GE(engine.AddJob(QString::fromUtf8(name)), 0);
    std::vector<int> positions;
    engine.convert = [&](FakeEng& e, const QString& source, const QString&) {
        e.BeginJobProgress();
        e.TickJobProgress();
        positions.push_back(e.progressPos);
        if (source.contains(QStringLiteral("two"))) {
            e.Fail(QStringLiteral("tool said no"));
            return false;
        }
        return true;
    };
    Recorder recorder;
    RunToEnd(engine, recorder);

    const std::vector<Event> expected = {
        {2, -1, 2},
        {3, 0, 1}, {3, 1, 1}, {3, 2, 1},
        {3, 0, 2}, {3, 0, 7}, {3, 0, 7}, {3, 0, 5},
        {3, 1, 2}, {3, 1, 7}, {3, 1, 7}, {3, 1, 6},
        {3, 2, 2}, {3, 2, 7}, {3, 2, 7}, {3, 2, 5},
        {2, -1, 5},
    };
    EXPECT_EQ(recorder.Events(), expected);
    EXPECT_EQ(engine.jobShare, 33);
    // The window moves progressBase; here it stays 0, so each job reaches 0 + 2 steps of 5.
    EXPECT_EQ(positions, (std::vector<int>{10, 10, 10}));
    EXPECT_EQ(engine.status, StatusFinished);
    EXPECT_EQ(engine.currentJob, -1);
    EXPECT_EQ(engine.GetJob(1).target, out.path() + QStringLiteral("/two.epub"));
    EXPECT_EQ(engine.JobReason(1), QStringLiteral("tool said no"));
    EXPECT_TRUE(engine.JobReason(0).isEmpty());
    EXPECT_EQ(engine.GetJob(2).status, StatusFinished);

    // A second run over a fresh list works, and an empty list just finishes.
    engine.ClearJobs();
    Recorder second;
    RunToEnd(engine, second);
    EXPECT_EQ(second.Events(), (std::vector<Event>{{2, -1, 2}, {2, -1, 5}}));
}

TEST(Engine, StopWhileTheFirstOfThreeConvertsStopsTheRest)
{
    QTemporaryDir out;
    FakeEng engine;
    engine.outputFolder = out.path();
    for (const char* name : {"/in/a.azw", "/in/b.azw", "/in/c.azw"})
        engine.AddJob(QString::fromUtf8(name));
    std::atomic<bool> converting{false};
    engine.convert = [&](FakeEng& e, const QString&, const QString&) {
        converting = true;
        while (e.status == StatusRunning)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return false;
    };
    Recorder recorder;
    engine.SetCallback(&Recorder::Callback, &recorder);
    ASSERT_TRUE(engine.Start());
    while (!converting)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    engine.RequestStop();
    engine.RequestStop();   // a second request changes nothing
    engine.WaitForWorker();

    EXPECT_EQ(engine.converted.size(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(engine.GetJob(i).status, StatusStopped) << i;
    const std::vector<Event> events = recorder.Events();
    const std::vector<Event> tail(events.end() - 4, events.end());
    EXPECT_EQ(tail, (std::vector<Event>{{3, 0, 4}, {3, 1, 4}, {3, 2, 4}, {2, -1, 4}}));
    EXPECT_EQ(std::count(events.begin(), events.end(), Event{2, -1, 3}), 1);
    EXPECT_EQ(engine.status, StatusStopped);
}

TEST(Engine, StopAfterTheLastBookStartedStillEndsStopped)
{
    FakeEng engine;
    engine.outputFolder = QStringLiteral("/nowhere");
    engine.AddJob(QStringLiteral("/in/a.azw"));
    engine.convert = [](FakeEng& e, const QString&, const QString&) {
        e.RequestStop();
        return true;
    };
    Recorder recorder;
    RunToEnd(engine, recorder);
    EXPECT_EQ(engine.GetJob(0).status, StatusFinished);
    EXPECT_EQ(recorder.Events().back(), (Event{2, -1, 4}));
}

TEST(Engine, AsksBeforeReplacingAnExistingTarget)
{
    struct Case { bool callback; int reply; bool converts; int status; } cases[] = {
        {true, 0, false, StatusStopped},
        {true, 2, false, StatusStopped},
        {true, 1, true, StatusFinished},
        {false, 1, false, StatusStopped},
    };
    for (const Case& c : cases) {
        QTemporaryDir out;
        const QString target = Touch(out.filePath(QStringLiteral("book.epub")));
        FakeEng engine;
        engine.outputFolder = out.path();
        engine.AddJob(QStringLiteral("/in/book.azw"));
        engine.convert = [](FakeEng&, const QString&, const QString& to) {
            Touch(to, "new");
            return true;
        };
        Recorder recorder;
        recorder.overwriteReply = c.reply;
        if (c.callback)
            engine.SetCallback(&Recorder::Callback, &recorder);
        ASSERT_TRUE(engine.Start());
        engine.WaitForWorker();
        EXPECT_EQ(engine.converted.size(), c.converts ? 1 : 0) << c.reply;
        EXPECT_EQ(engine.GetJob(0).status, c.status);
        EXPECT_EQ(ReadAll(target), c.converts ? QByteArray("new") : QByteArray("old"));
        if (c.callback) {
            const auto events = recorder.Events();
            EXPECT_EQ(std::count(events.begin(), events.end(), Event{1, 0, 0}), 1);
        }
    }

    // No question when there is nothing to replace.
    QTemporaryDir out;
    FakeEng engine;
    engine.outputFolder = out.path();
    engine.AddJob(QStringLiteral("/in/book.azw"));
    Recorder recorder;
    RunToEnd(engine, recorder);
    for (const Event& e : recorder.Events())
        EXPECT_NE(e.kind, 1);
    EXPECT_EQ(engine.GetJob(0).status, StatusFinished);
}

TEST(Engine, ABookNeverReplacesTheTargetAnEarlierBookOfTheRunWrote)
{
    // Same name, different folders, one output folder: the second fails with
    // its reason even when replacing is allowed; the first book stays.
    QTemporaryDir out;
    FakeEng engine;
    engine.outputFolder = out.path();
    engine.AddJob(QStringLiteral("/a/book.azw"));
    engine.AddJob(QStringLiteral("/b/book.azw"));
    engine.convert = [](FakeEng&, const QString& from, const QString& to) {
        Touch(to, from.toUtf8());
        return true;
    };
    Recorder recorder;
    recorder.overwriteReply = 1;
    RunToEnd(engine, recorder);
    EXPECT_EQ(engine.converted, QStringList{"/a/book.azw"});
    EXPECT_EQ(engine.GetJob(0).status, StatusFinished);
    EXPECT_EQ(engine.GetJob(1).status, StatusFailed);
    EXPECT_EQ(engine.JobReason(1), "another book of this run was written to " + out.filePath("book.epub"));
    EXPECT_EQ(ReadAll(out.filePath("book.epub")), QByteArray("/a/book.azw"));
    EXPECT_EQ(engine.status, StatusFinished);

    // A failed first book wrote nothing: the second may still be made.
    engine.convert = [](FakeEng&, const QString& from, const QString& to) {
        if (from.startsWith("/a/"))
            return false;
        Touch(to, from.toUtf8());
        return true;
    };
    QFile::remove(out.filePath("book.epub"));
    RunToEnd(engine, recorder);
    EXPECT_EQ(engine.GetJob(1).status, StatusFinished);
    EXPECT_EQ(ReadAll(out.filePath("book.epub")), QByteArray("/b/book.azw"));

    // One target spelt two ways (a linked folder; a case-blind disk does the
    // same): still the same file, still never replaced.
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkdir("real"));
    ASSERT_TRUE(QFile::link(root.filePath("real"), root.filePath("link")));
    FakeEng beside;
    beside.saveInSourceFolder = true;
    beside.AddJob(root.filePath("real/book.azw"));
    beside.AddJob(root.filePath("link/book.AZW"));
    beside.convert = engine.convert;
    RunToEnd(beside, recorder);
    EXPECT_EQ(beside.GetJob(0).status, StatusFinished);
    EXPECT_EQ(beside.GetJob(1).status, StatusFailed);
    EXPECT_EQ(ReadAll(root.filePath("real/book.epub")), root.filePath("real/book.azw").toUtf8());
}

TEST(Engine, AcceptsOnlyAzwBooksWhateverTheirCase)
{
    struct Case { const char* path; bool accepted; } cases[] = {
        {"/books/Novel.azw", true},
        {"/books/Novel.AZW", true},
        {"/books/Novel.aZw", true},
        {"/books/Novel", false},
        {"/books/Novel.", false},
        {"/my.books/Novel", false},
        {"/books/Novel.azw3", false},
        {"/books/Novel.epub", false},
        {"azw", false},
    };
    FakeEng engine;
    for (const Case& c : cases) {
        EXPECT_EQ(engine.AcceptsFile(QString::fromUtf8(c.path)), c.accepted) << c.path;
        EXPECT_EQ(engine.AddJob(QString::fromUtf8(c.path)) >= 0, c.accepted) << c.path;
    }
    EXPECT_EQ(engine.JobCount(), 3);
    EXPECT_EQ(engine.GetJob(1).source, QStringLiteral("/books/Novel.AZW"));
    EXPECT_EQ(engine.GetJob(7).status, StatusNone);
    EXPECT_TRUE(engine.GetJob(-1).source.isEmpty());
    EXPECT_EQ(engine.TargetExtension(), QStringLiteral("epub"));
    EXPECT_EQ(engine.OpenFileFilter(), QStringLiteral("Files (*.azw)"));
}

TEST(Engine, BuildsTargetsInTheOutputFolderOrBesideTheSource)
{
    struct Case { const char* folder; const char* source; const char* target; } cases[] = {
        {"/out", "/books/story.azw", "/out/story.epub"},
        {"/out///", "/books/story.azw", "/out/story.epub"},
        {"/", "/books/story.azw", "/story.epub"},
        {"/out", "/books/My.Novel.AZW", "/out/My.Novel.epub"},
        {"E:\\Out\\\\", "D:\\Books\\story.azw", "E:\\Out/story.epub"},
        {"", "story.azw", "story.epub"},
    };
    FakeEng engine;
    for (const Case& c : cases)
        EXPECT_EQ(engine.BuildTargetPath(QString::fromUtf8(c.folder), QString::fromUtf8(c.source)),
                  QString::fromUtf8(c.target)) << c.source;

    // The worker's choice of folder, a book in the root included.
    struct Run { bool besideSource; const char* source; const char* target; } runs[] = {
        {true, "/books/story.azw", "/books/story.epub"},
        {true, "/story.azw", "/story.epub"},
        {false, "/books/story.azw", "/out/story.epub"},
    };
    for (const Run& r : runs) {
        FakeEng worker;
        worker.outputFolder = QStringLiteral("/out/");
        worker.saveInSourceFolder = r.besideSource;
        worker.AddJob(QString::fromUtf8(r.source));
        QString seen;
        worker.convert = [&](FakeEng&, const QString&, const QString& target) {
            seen = target;
            return true;
        };
        Recorder recorder;
        RunToEnd(worker, recorder);
        EXPECT_EQ(seen, QString::fromUtf8(r.target));
        EXPECT_EQ(worker.GetJob(0).target, QString::fromUtf8(r.target));
    }
}

TEST(Engine, ATargetPathTooLongFailsThatJobOnly)
{
    FakeEng engine;
    engine.outputFolder = QStringLiteral("/out/") + QString(300, QLatin1Char('x'));
    engine.AddJob(QStringLiteral("/in/a.azw"));
    engine.AddJob(QStringLiteral("/in/b.azw"));
    engine.convert = [](FakeEng&, const QString&, const QString&) { return true; };
    Recorder recorder;
    RunToEnd(engine, recorder);
    EXPECT_TRUE(engine.converted.isEmpty());
    EXPECT_EQ(engine.GetJob(0).status, StatusFailed);
    EXPECT_EQ(engine.GetJob(1).status, StatusFailed);
    EXPECT_TRUE(engine.JobReason(0).startsWith(QStringLiteral("The target path is too long")));
    EXPECT_EQ(engine.status, StatusFinished);
}

TEST(Engine, DestroyingTheEngineEndsAndWaitsForItsWorker)
{
    std::atomic<bool> converting{false};
    std::atomic<bool> returned{false};
    {
        FakeEng engine;
        engine.outputFolder = QStringLiteral("/nowhere");
        engine.AddJob(QStringLiteral("/in/a.azw"));
        engine.convert = [&](FakeEng& e, const QString&, const QString&) {
            converting = true;
            while (e.status == StatusRunning)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            returned = true;
            return false;
        };
        ASSERT_TRUE(engine.Start());
        while (!converting)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(returned);
}

TEST(Engine, HandsNoticesToItsDriver)
{
    FakeEng engine;
    engine.ReportNotice(QStringLiteral("nobody listens"));   // no handler: nothing happens
    QStringList notices;
    engine.SetNoticeHandler([&](const QString& text) { notices << text; });
    engine.outputFolder = QStringLiteral("/nowhere");
    engine.AddJob(QStringLiteral("/in/a.azw"));
    engine.convert = [](FakeEng& e, const QString&, const QString&) {
        e.ReportNotice(QStringLiteral("The file does not exist!\nPath: /x"));
        return true;
    };
    Recorder recorder;
    RunToEnd(engine, recorder);
    EXPECT_EQ(notices, QStringList{QStringLiteral("The file does not exist!\nPath: /x")});
}

TEST(Engine, TheUnbuiltPipelineFailsWithItsReason)
{
    AzwEpubEng engine;
    engine.outputFolder = QStringLiteral("/nowhere");
    engine.AddJob(QStringLiteral("/in/a.azw"));
    engine.Start();
    engine.WaitForWorker();
    EXPECT_EQ(engine.GetJob(0).status, StatusFailed);
    EXPECT_FALSE(engine.JobReason(0).isEmpty());
}
