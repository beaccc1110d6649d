#include "EngineTestSupport.h"

#include "base/Paths.h"
#include "engine/ToolRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point since)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

QString Sh(const QString& script)
{
    return BuildToolCommand(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
}

// Counts the processes whose /proc stat fields (state, ppid, pgrp, ...)
// satisfy `keep`.
template <typename Keep>
int CountProcesses(Keep keep)
{
    int count = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && keep(fields))
            ++count;
    }
    return count;
}

// Children of this process that have ended but were never reaped.
int Zombies()
{
    return CountProcesses([](const QList<QByteArray>& f) { return f.at(0) == "Z" && f.at(1).toInt() == getpid(); });
}

// Members of the group that still run (orphans the system's init has not
// reaped yet are ended, just not gone).
int LiveMembers(int group)
{
    return CountProcesses([group](const QList<QByteArray>& f) { return f.at(0) != "Z" && f.at(2).toInt() == group; });
}

bool GroupGone(int group)
{
    const auto start = Clock::now();
    while (MsSince(start) < 1000) {
        if (kill(-group, 0) != 0 && errno == ESRCH)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool LaunchersLeft()
{
    return !QDir(WorkingFolder()).entryList({QStringLiteral("corvid*.sh")}, QDir::Files).isEmpty();
}

} // namespace

TEST(ToolRunner, WritesAShLauncherThatRemovesItself)
{
    ToolRunner runner;
    const QString path = runner.WriteLaunchBatch(QStringLiteral("'true'"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(FileNameOf(path).startsWith(QStringLiteral("corvid")));
    EXPECT_TRUE(path.endsWith(QStringLiteral(".sh")));
    EXPECT_EQ(ParentFolder(path), WorkingFolder());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.at(0), "export LC_ALL=C.UTF-8");
    EXPECT_EQ(lines.at(1), "'true'");
    EXPECT_TRUE(lines.contains("rm -f -- " + ShellQuote(path).toUtf8()));
    EXPECT_NE(runner.WriteLaunchBatch(QStringLiteral("'true'")), path);
    QDir(WorkingFolder()).removeRecursively();
}

TEST(ToolRunner, DrainsOutputAndKeepsTheExitStatus)
{
    struct Case {
        QString command;
        bool result;
        ToolOutcome outcome;
        int exitCode;
        qsizetype outputSize;
        QString lastLine;
    } cases[] = {
        // More output than a pipe holds: it must be drained while the tool runs.
        {Sh(QStringLiteral("yes line | head -n 50000; echo done >&2")), true, ToolOutcome::Exited, 0,
         50000 * 5 + 5, QStringLiteral("done")},
        {Sh(QStringLiteral("echo 'bad input' >&2; exit 3")), true, ToolOutcome::Exited, 3, 10,
         QStringLiteral("bad input")},
        {BuildToolCommand(QStringLiteral("/nonexistent/tool"), {QStringLiteral("x")}), true,
         ToolOutcome::Exited, 127, -1, QString()},
        {Sh(QStringLiteral("read line; s=$?; echo \"[$line]\"; exit $s")), true, ToolOutcome::Exited, 1, 3,
         QStringLiteral("[]")},
    };
    for (const Case& c : cases) {
        FakeEng engine;
        engine.status = StatusRunning;
        const auto start = Clock::now();
        EXPECT_EQ(engine.RunTool(c.command), c.result) << c.command.toStdString();
        const ToolRunReport& report = engine.LastToolRun();
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.exitCode, c.exitCode) << c.command.toStdString();
        if (c.outputSize >= 0) {
            EXPECT_EQ(engine.toolOutput.size(), c.outputSize);
            EXPECT_EQ(report.LastLine(), c.lastLine);
        }
        EXPECT_LE(report.output.size(), ToolRunReport::kOutputKept);
        EXPECT_TRUE(engine.toolOutput.endsWith(report.output));
        EXPECT_LT(MsSince(start), 2000);
        EXPECT_FALSE(LaunchersLeft());
        engine.status = StatusNone;
    }
    EXPECT_EQ(Zombies(), 0);
}

TEST(ToolRunner, AToolThatEndsAtOnceCostsNoFixedWait)
{
    FakeEng engine;
    engine.status = StatusRunning;
    const auto start = Clock::now();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(engine.RunTool(QStringLiteral("'true'")));
    EXPECT_LT(MsSince(start), 400);
    engine.status = StatusNone;
}

TEST(ToolRunner, AStopEndsTheToolAndItsWholeGroup)
{
    struct Case { QString command; bool simple; } cases[] = {
        {BuildToolCommand(QStringLiteral("sleep"), {QStringLiteral("30")}), true},
        // A tool that starts tools of its own, one of them in the background.
        {Sh(QStringLiteral("sleep 30 & sleep 30; echo never")), false},
    };
    for (const Case& c : cases) {
        FakeEng engine;
        engine.status = StatusRunning;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            engine.RequestStop();
        });
        const auto start = Clock::now();
        const bool result = engine.RunTool(c.command);
        const long elapsed = MsSince(start);
        stopper.join();
        EXPECT_FALSE(result);
        EXPECT_LT(elapsed, 300 + 600);
        const ToolRunReport& report = engine.LastToolRun();
        EXPECT_EQ(report.outcome, ToolOutcome::Stopped);
        EXPECT_EQ(report.exitCode, -1);
        ASSERT_GT(report.processGroup, 0);
        if (c.simple) {
            EXPECT_TRUE(GroupGone(report.processGroup));
        }
        EXPECT_EQ(LiveMembers(report.processGroup), 0);
        EXPECT_FALSE(engine.toolOutput.contains("never"));
        EXPECT_FALSE(LaunchersLeft());
        EXPECT_EQ(Zombies(), 0);
    }
}

TEST(ToolRunner, ATimeLimitEndsAHangingTool)
{
    ToolRunner runner;
    const auto start = Clock::now();
    EXPECT_FALSE(runner.Run(BuildToolCommand(QStringLiteral("sleep"), {QStringLiteral("30")}),
                            [] { return false; }, nullptr, 200));
    EXPECT_LT(MsSince(start), 200 + 600);
    EXPECT_EQ(runner.LastRun().outcome, ToolOutcome::TimedOut);
    EXPECT_TRUE(GroupGone(runner.LastRun().processGroup));
    EXPECT_EQ(Zombies(), 0);
}

TEST(ToolRunner, HostileFileNamesReachTheToolByteForByte)
{
    const QStringList names = {
        QStringLiteral("a\"b.azw"), QStringLiteral("$(touch pwned).azw"), QStringLiteral("it's.azw"),
        QStringLiteral("back\\slash.azw"), QString::fromUtf16(u"\u00dcn\u00efc\u00f8d\u00e9 \u66f8.azw"),
        QStringLiteral("-rf.azw"), QStringLiteral("`touch pwned2` ;x.azw"),
    };
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(in) && QDir().mkpath(out));
    FakeEng engine;
    engine.status = StatusRunning;
    for (const QString& name : names) {
        QFile file(in + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name.toUtf8());
        file.close();
        ASSERT_TRUE(engine.RunTool(BuildToolCommand(QStringLiteral("cp"), {},
                                                    in + QLatin1Char('/') + name,
                                                    out + QLatin1Char('/') + name)));
        EXPECT_EQ(engine.LastToolRun().exitCode, 0) << engine.LastToolRun().LastLine().toStdString();
        QFile copy(out + QLatin1Char('/') + name);
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(copy.readAll(), name.toUtf8());
    }

    // A relative name with a leading "-" is no option once made safe.
    engine.toolOutput.clear();
    ASSERT_TRUE(engine.RunTool(Sh(QStringLiteral("cd \"$1\" && cat \"$2\""))
                               + QLatin1Char(' ') + ShellQuote(QStringLiteral("sh"))
                               + QLatin1Char(' ') + ShellQuote(in)
                               + QLatin1Char(' ') + ShellQuote(DashSafePath(names.at(5)))));
    EXPECT_EQ(engine.toolOutput, names.at(5).toUtf8());

    // Printed back as arguments, one per line.
    engine.toolOutput.clear();
    ASSERT_TRUE(engine.RunTool(BuildToolCommand(QStringLiteral("/usr/bin/printf"),
                                                QStringList{QStringLiteral("%s\\n")} + names)));
    EXPECT_EQ(engine.toolOutput, (names.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());

    for (const QString& folder : {QDir::currentPath(), WorkingFolder(), in, out}) {
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/pwned")));
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/pwned2")));
    }
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), names.size());
    engine.status = StatusNone;
}

TEST(ToolRunner, AStopDuringAToolRunEndsTheJobAsStopped)
{
    FakeEng engine;
    engine.outputFolder = QStringLiteral("/nowhere");
    engine.AddJob(QStringLiteral("/in/a.azw"));
    engine.AddJob(QStringLiteral("/in/b.azw"));
    std::atomic<bool> running{false};
    long toolMs = 0;
    engine.convert = [&](FakeEng& e, const QString&, const QString&) {
        running = true;
        const auto start = Clock::now();
        const bool ran = e.RunTool(BuildToolCommand(QStringLiteral("sleep"), {QStringLiteral("30")}));
        toolMs = MsSince(start);
        return ran;
    };
    ASSERT_TRUE(engine.Start());
    while (!running)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto stopAt = Clock::now();
    engine.RequestStop();
    engine.WaitForWorker();
    EXPECT_LT(MsSince(stopAt), 600);
    EXPECT_GE(toolMs, 200);
    EXPECT_EQ(engine.GetJob(0).status, StatusStopped);
    EXPECT_EQ(engine.GetJob(1).status, StatusStopped);
    EXPECT_TRUE(GroupGone(engine.LastToolRun().processGroup));
}
