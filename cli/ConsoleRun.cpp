#include "cli/ConsoleRun.h"

#include "engine/AzwEpubEng.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// Ctrl-C only writes a byte here; the main thread asks the engine to stop.
int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

bool MakePipe(int fds[2])
{
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    return true;
}

void ClosePipe(int fds[2])
{
    for (int i = 0; i < 2; ++i) {
        if (fds[i] >= 0)
            close(fds[i]);
        fds[i] = -1;
    }
}

void Drain(int fd)
{
    char buffer[64];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
}

// A file name may hold anything: a newline would forge a line of its own, an
// escape would drive the terminal. Control characters are shown as '?'.
QString Printable(QString text)
{
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

ConsoleRun::ConsoleRun(AzwEpubEng& engine, const CliOptions& options, bool terminal)
    : engine(engine), options(options), terminal(terminal)
{
}

ConsoleRun::~ConsoleRun()
{
    ClosePipe(donePipe);
}

void ConsoleRun::Print(FILE* stream, const QString& line)
{
    ClearBar();
    std::fputs(Printable(line).toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    DrawBar();
}

void ConsoleRun::ClearBar()
{
    if (terminal && barShown) {
        std::fputs("\r\033[K", stdout);
        std::fflush(stdout);
        barShown = false;
    }
}

void ConsoleRun::DrawBar()
{
    if (!terminal || barText.isEmpty())
        return;
    constexpr int width = 30;
    const int filled = std::clamp(bar, 0, 100) * width / 100;
    const QString line = QStringLiteral("\r\033[K[%1%2] %3% %4")
                             .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char('-')))
                             .arg(bar, 3)
                             .arg(Printable(barText));
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    barShown = true;
}

void ConsoleRun::ShowFinal(const QString& name, const QString& state, const QString& reason)
{
    Print(stdout, reason.isEmpty() ? QStringLiteral("%1: %2").arg(name, state)
                                   : QStringLiteral("%1: %2: %3").arg(name, state, reason));
}

int ConsoleRun::Notify(void* self, int kind, int index, int value)
{
    return static_cast<ConsoleRun*>(self)->OnNotify(kind, index, value);
}

int ConsoleRun::OnNotify(int kind, int index, int value)
{
    std::lock_guard lock(printLock);
    switch (kind) {
    case NotifyAskOverwrite:
        if (options.existing == CliOptions::Existing::Overwrite)
            return 1;
        if (index >= 0 && index < static_cast<int>(skipped.size()))
            skipped[static_cast<size_t>(index)] = true;
        return 0;
    case NotifyEngineStatus:
        if (value == StatusStopRequested)
            Print(stderr, QStringLiteral("stopping..."));
        if (value == StatusFinished || value == StatusStopped) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t n = write(donePipe[1], &byte, 1);
        }
        return 0;
    case NotifyJobStatus:
        OnJobStatus(index, value);
        return 0;
    default:
        return 0;
    }
}

void ConsoleRun::OnJobStatus(int index, int value)
{
    if (index < 0 || index >= static_cast<int>(names.size()))
        return;
    const QString& name = names[static_cast<size_t>(index)];
    const int count = static_cast<int>(names.size());
    const QString position = QStringLiteral("%1/%2 %3").arg(index + 1).arg(count).arg(name);
    switch (value) {
    case StatusRunning:
        barText = position + QStringLiteral("  Converting...");
        DrawBar();
        break;
    case StatusProgress:
        bar = engine.progressPos;
        DrawBar();
        break;
    case StatusFinished:
        barText = QStringLiteral("%1/%2 done").arg(index + 1).arg(count);
        engine.progressBase = engine.progressPos.load();
        bar = index + 1 == count ? 100 : engine.progressPos.load();
        ShowFinal(name, QStringLiteral("Finished"), {});
        break;
    case StatusFailed:
    case StatusStopped: {
        // The next book's steps start one share further on.
        barText = QStringLiteral("%1/%2 done").arg(index + 1).arg(count);
        bar = std::min(100, engine.progressBase + engine.jobShare);
        engine.progressBase = bar;
        const bool wasSkipped = skipped[static_cast<size_t>(index)];
        if (value == StatusFailed) {
            ++failures;
            const QString reason = engine.JobReason(index);
            ShowFinal(name, QStringLiteral("Failed"), reason.isEmpty() ? QStringLiteral("unknown reason") : reason);
        } else {
            if (!wasSkipped)
                ++stops;
            // A kept target is what the user asked for, not a stop.
            if (wasSkipped)
                ShowFinal(name, QStringLiteral("Skipped"),
                          QStringLiteral("%1 exists (--overwrite replaces it)").arg(engine.GetJob(index).target));
            else
                ShowFinal(name, QStringLiteral("Stopped"), {});
        }
        break;
    }
    default:
        break;
    }
}

int ConsoleRun::Run()
{
    if (!MakePipe(donePipe) || !MakePipe(signalPipe)) {
        std::fprintf(stderr, "tavistel-convert: cannot create a pipe\n");
        return 1;
    }

    // Every source with an absolute path, so that "beside the source" and
    // the pipeline never depend on the current folder.
    engine.ClearJobs();
    QSet<QString> given;
    for (const QString& book : options.books) {
        // Bytes that are not UTF-8 come in as U+FFFD: such a name cannot be
        // opened, and several of them would read as one.
        if (book.contains(QChar(QChar::ReplacementCharacter)) && !QFileInfo::exists(book)) {
            ++failures;
            ShowFinal(book, QStringLiteral("Failed"), QStringLiteral("the file name is not valid UTF-8"));
            continue;
        }
        // A book named twice (or by two paths) is converted once.
        const QFileInfo info(book);
        const QString canonical = info.canonicalFilePath();
        const QString key = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
        if (given.contains(key))
            continue;
        given.insert(key);
        const int index = engine.AddJob(info.absoluteFilePath());
        if (index < 0) {
            ++failures;
            ShowFinal(book, QStringLiteral("Failed"), QStringLiteral("not an .azw book"));
            continue;
        }
        names.resize(static_cast<size_t>(index) + 1);
        names[static_cast<size_t>(index)] = book;
    }
    skipped.assign(names.size(), false);
    if (names.empty()) {
        ClosePipe(signalPipe);
        return failures ? 1 : 0;
    }

    if (options.outputDir.isEmpty()) {
        engine.saveInSourceFolder = true;
    } else {
        const QString folder = QDir(options.outputDir).absolutePath();
        // A folder that cannot be made fails each book with its reason.
        if (!QDir().mkpath(folder))
            std::fprintf(stderr, "tavistel-convert: cannot make the output folder %s\n", folder.toLocal8Bit().constData());
        engine.outputFolder = folder;
        engine.saveInSourceFolder = false;
    }
    engine.SetCallback(&ConsoleRun::Notify, this);
    engine.SetNoticeHandler([this](const QString& text) {
        std::lock_guard lock(printLock);
        Print(stderr, text);
    });
    if (options.timings) {
        engine.stageTimer = [this](const QString& stage, double seconds) {
            std::lock_guard lock(printLock);
            Print(stderr, QStringLiteral("timing %1 %2").arg(stage).arg(seconds, 0, 'f', 3));
        };
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // A closed terminal too: the tools are in a group of their own and would
    // outlive a program ended by SIGHUP. Under nohup it stays ignored.
    struct sigaction oldInt {}, oldTerm {}, oldHup {};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    sigaction(SIGHUP, nullptr, &oldHup);
    if (oldHup.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &action, nullptr);

    bool ended = false;
    if (!engine.Start()) {
        std::fprintf(stderr, "tavistel-convert: cannot start the conversion\n");
        ended = true;
        ++failures;
    }
    while (!ended) {
        pollfd fds[2] = {{donePipe[0], POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents & POLLIN) {
            Drain(signalPipe[0]);
            engine.RequestStop();
        }
        if (fds[0].revents & POLLIN)
            ended = true;
    }
    engine.WaitForWorker();

    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGHUP, &oldHup, nullptr);
    ClosePipe(signalPipe);
    engine.SetCallback(nullptr, nullptr);
    engine.SetNoticeHandler({});
    engine.stageTimer = {};
    {
        std::lock_guard lock(printLock);
        ClearBar();
    }
    return (failures || stops || engine.status != StatusFinished) ? 1 : 0;
}
