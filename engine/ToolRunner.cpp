#include "engine/ToolRunner.h"

#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

Q_LOGGING_CATEGORY(lcToolRunner, "tavistel.tools", QtWarningMsg)

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSliceMs = 100;         // longest wait between two stop checks
constexpr int kTermGraceMs = 300;     // SIGTERM to SIGKILL
constexpr int kChunk = 4096;

long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// True once the process has ended; it is left unreaped (a zombie keeps its
// pid, and so the process group number, from being reused meanwhile).
bool HasEnded(pid_t pid)
{
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid != 0;
}

bool WaitEnded(pid_t pid, int pidfd, int timeoutMs)
{
    const auto start = Clock::now();
    while (!HasEnded(pid)) {
        const long left = timeoutMs - ElapsedMs(start);
        if (left <= 0)
            return false;
        if (pidfd >= 0) {
            pollfd fd{pidfd, POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left));
        } else {
            usleep(5000);
        }
    }
    return true;
}

// Sends `sig` to every member of the group but its leader (0 only counts
// them) and returns how many live members there were. The launcher's shell
// then reaps its tool itself, so nothing is left to the system's init as an
// orphan.
int SignalMembers(pid_t group, int sig)
{
    DIR* proc = opendir("/proc");
    if (!proc)
        return 0;
    int members = 0;
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end || pid == group)
            continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        QFile stat(QString::fromLatin1(path));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype paren = line.lastIndexOf(')');
        if (paren < 0)
            continue;
        // After the name: state ppid pgrp ...
        const QList<QByteArray> fields = line.mid(paren + 2).split(' ');
        if (fields.size() > 2 && fields.at(0) != "Z" && fields.at(2).toLong() == group) {
            ++members;
            if (sig != 0)
                kill(static_cast<pid_t>(pid), sig);
        }
    }
    closedir(proc);
    return members;
}

// A signal is delivered, not waited for: give the group's killed members a
// moment to be gone before the caller reports the tool ended.
void WaitMembersGone(pid_t group, int timeoutMs)
{
    const auto start = Clock::now();
    while (SignalMembers(group, 0) > 0 && ElapsedMs(start) < timeoutMs)
        usleep(5000);
}

int OpenPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

} // namespace

QString ToolRunReport::LastLine() const
{
    const QList<QByteArray> lines = output.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QByteArray line = it->trimmed();
        if (!line.isEmpty())
            return QString::fromUtf8(line);
    }
    return {};
}

QString ToolRunner::WriteLaunchBatch(const QString& command)
{
    // O_EXCL: a launcher of another program run in the same millisecond is
    // never overwritten; the next name is tried instead.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString base = MakeTempPath(QStringLiteral("corvid"));
        if (base.isEmpty())
            return {};
        const QString path = base + QStringLiteral(".sh");
        if (!PathFits(path))
            return {};
        const int fd = open(QFile::encodeName(path).constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            qCDebug(lcToolRunner) << "launcher" << path << std::strerror(errno);
            return {};
        }
        // The tool's status is kept past the removal so that it is the
        // launcher's own exit status.
        const QByteArray text = "export LC_ALL=C.UTF-8\n"
            + command.toUtf8() + "\n"
            + "corvid_status=$?\n"
            + "rm -f -- " + ShellQuote(path).toUtf8() + "\n"
            + "exit $corvid_status\n";
        bool ok = true;
        for (qsizetype done = 0; ok && done < text.size();) {
            const ssize_t n = write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            done += ok ? n : 0;
        }
        ok = (close(fd) == 0) && ok;
        if (!ok) {
            QFile::remove(path);
            return {};
        }
        return path;
    }
    return {};
}

bool ToolRunner::Run(const QString& command, const StopCheck& stopRequested,
                     const OutputSink& output, int timeoutMs)
{
    lastRun = ToolRunReport();
    lastRun.outcome = ToolOutcome::NotStarted;

    const QString launcher = WriteLaunchBatch(command);
    if (launcher.isEmpty()) {
        qCDebug(lcToolRunner) << "no launcher for" << command;
        return false;
    }
    const QByteArray launcherBytes = QFile::encodeName(launcher);

    int outPipe[2] = {-1, -1};
    int inPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(inPipe, O_CLOEXEC) != 0) {
        qCDebug(lcToolRunner) << "pipe" << std::strerror(errno);
        for (int fd : {outPipe[0], outPipe[1], inPipe[0], inPipe[1]})
            if (fd >= 0)
                close(fd);
        QFile::remove(launcher);
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // A group of its own, so that a stop ends the tool and all it started;
    // signals the program blocks or ignores are not passed on.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK
                                              | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    char shell[] = "/bin/sh";
    char* argv[] = {shell, const_cast<char*>(launcherBytes.constData()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, shell, &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(outPipe[1]);
    close(inPipe[0]);
    close(inPipe[1]);   // stdin reads end-of-file at once
    if (spawned != 0) {
        qCDebug(lcToolRunner) << "spawn" << std::strerror(spawned);
        close(outPipe[0]);
        QFile::remove(launcher);
        return false;
    }
    lastRun.processGroup = pid;
    const int outFd = outPipe[0];
    fcntl(outFd, F_SETFL, fcntl(outFd, F_GETFL) | O_NONBLOCK);
    const int pidfd = OpenPidFd(pid);

    bool pipeOpen = true;
    auto drain = [&] {
        char buffer[kChunk];
        while (pipeOpen) {
            const ssize_t n = read(outFd, buffer, sizeof buffer);
            if (n > 0) {
                const QByteArray chunk(buffer, n);
                qCDebug(lcToolRunner).noquote() << chunk;
                lastRun.output += chunk;
                if (lastRun.output.size() > ToolRunReport::kOutputKept)
                    lastRun.output.remove(0, lastRun.output.size() - ToolRunReport::kOutputKept);
                if (output)
                    output(chunk);
            } else if (n == 0) {
                pipeOpen = false;
            } else if (errno != EINTR) {
                break;   // EAGAIN: nothing more for now
            }
        }
    };

    const auto start = Clock::now();
    ToolOutcome ending = ToolOutcome::Exited;
    for (;;) {
        if (HasEnded(pid)) {
            drain();
            break;
        }
        if (stopRequested && stopRequested()) {
            ending = ToolOutcome::Stopped;
            break;
        }
        int wait = kSliceMs;
        if (timeoutMs > 0) {
            const long left = timeoutMs - ElapsedMs(start);
            if (left <= 0) {
                ending = ToolOutcome::TimedOut;
                break;
            }
            wait = static_cast<int>(std::min<long>(wait, left));
        }
        pollfd fds[2];
        nfds_t count = 0;
        if (pipeOpen)
            fds[count++] = pollfd{outFd, POLLIN, 0};
        if (pidfd >= 0)
            fds[count++] = pollfd{pidfd, POLLIN, 0};
        else if (!pipeOpen)
            wait = std::min(wait, 5);   // no way to be woken by the exit: look often
        poll(fds, count, wait);
        drain();
    }

    if (ending != ToolOutcome::Exited) {
        // The launcher's shell is spared: it reaps its tool and ends itself.
        SignalMembers(pid, SIGTERM);
        if (!WaitEnded(pid, pidfd, kTermGraceMs))
            kill(-pid, SIGKILL);
    }
    // Whatever of the group is still there once the launcher has ended is a
    // stray; the unreaped launcher keeps the group number ours until then.
    if (HasEnded(pid))
        kill(-pid, SIGKILL);
    if (ending != ToolOutcome::Exited)
        WaitMembersGone(pid, kTermGraceMs);
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    if (pidfd >= 0)
        close(pidfd);
    close(outFd);
    if (QFile::exists(launcher))
        QFile::remove(launcher);

    lastRun.outcome = ending;
    if (ending == ToolOutcome::Exited) {
        if (WIFEXITED(waitStatus)) {
            lastRun.exitCode = WEXITSTATUS(waitStatus);
        } else if (WIFSIGNALED(waitStatus)) {
            lastRun.outcome = ToolOutcome::Signalled;
            lastRun.signal = WTERMSIG(waitStatus);
        }
    }
    const bool ranToEnd = ending == ToolOutcome::Exited;
    return ranToEnd && !(stopRequested && stopRequested());
}
