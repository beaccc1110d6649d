#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// How the latest tool run ended.
enum class ToolOutcome {
    NotRun,      // no run yet
    NotStarted,  // launcher not written or process not started
    Exited,      // the tool ended by itself; exitCode holds its status
    Signalled,   // the tool was ended by a signal it did not get from us
    Stopped,     // a stop request ended the run; the tool was killed
    TimedOut,    // the time limit ran out; the tool was killed
};

struct ToolRunReport {
    ToolOutcome outcome = ToolOutcome::NotRun;
    int exitCode = -1;         // exit status when Exited, else -1
    int signal = 0;            // the signal when Signalled
    int processGroup = 0;      // process group the tool ran in (0 when not started)
    QByteArray output;         // the tail of stdout + stderr (at most kOutputKept bytes)

    static constexpr int kOutputKept = 64 * 1024;

    // The last non-empty line of the output, trimmed (the tool's message).
    QString LastLine() const;
};

// Runs one command through a POSIX sh launcher in the working folder, in a
// process group of its own, with stdout and stderr on one pipe that is kept
// drained and stdin on an empty pipe. Used from one thread at a time.
class ToolRunner {
public:
    using StopCheck = std::function<bool()>;
    using OutputSink = std::function<void(const QByteArray&)>;

    // Writes "corvid<tick>.sh" (UTF-8 locale, the command, removal of the
    // launcher, the command's exit status) and returns its path; empty when
    // it cannot be created.
    QString WriteLaunchBatch(const QString& command);

    // Runs the command to its end. `stopRequested` is asked at least every
    // 100 ms; when it says yes, or when `timeoutMs` (0 = none) runs out, the
    // tool's process group is ended (SIGTERM, SIGKILL soon after) and reaped.
    // Output goes to `output` in chunks of at most 4096 bytes as it comes.
    // True when the tool ran to its end, whatever its exit status, and no
    // stop was requested; LastRun() tells the rest.
    bool Run(const QString& command, const StopCheck& stopRequested,
             const OutputSink& output, int timeoutMs = 0);

    const ToolRunReport& LastRun() const { return lastRun; }

private:
    ToolRunReport lastRun;
};
