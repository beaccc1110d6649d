#pragma once

#include "engine/ConversionJob.h"
#include "engine/ConvertStatus.h"
#include "engine/ToolRunner.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The conversion engine: a job list converted one book after another by one
// worker thread, with every status change and progress step reported through
// the callback. Knows nothing about book formats.
//
// A class that overrides Convert must call StopAndWait() in its destructor:
// the worker calls Convert, and must have ended before that override is gone.
class CorvidEng {
public:
    using NoticeHandler = std::function<void(const QString& text)>;

    CorvidEng();
    virtual ~CorvidEng();
    CorvidEng(const CorvidEng&) = delete;
    CorvidEng& operator=(const CorvidEng&) = delete;

    // Lower-case extensions without dots, separated by white space; an empty
    // list accepts every file.
    virtual QString SourceExtensions() const = 0;
    // Without the dot.
    virtual QString TargetExtension() const = 0;
    // Converts one book; true when the target was written. Runs on the worker.
    virtual bool Convert(const QString& source, const QString& target) = 0;
    // Receives the output of the tools as it comes (worker thread).
    virtual void OnToolOutput(const QByteArray& text) = 0;

    // Job list. AddJob returns the new index, or -1 for a refused file.
    int AddJob(const QString& path);
    bool AcceptsFile(const QString& path) const;
    void ClearJobs();   // only while no worker runs
    int JobCount() const;
    ConversionJob GetJob(int index) const;   // empty record for a bad index
    QString JobReason(int index) const;
    void SetJobStatus(int status, int index);
    void SetJobReason(int index, const QString& reason);

    void SetCallback(StatusCallback callback, void* userData);
    // The driver's way to show a notice to the user; called on the worker.
    void SetNoticeHandler(NoticeHandler handler);
    void ReportNotice(const QString& text);

    // Starts a run over the job list. A previous worker is waited for first.
    // False only when no thread could be started.
    bool Start();
    // Only while running: status becomes 3, reported as an engine status.
    void RequestStop();
    // Waits until the worker has ended (no stop is requested).
    void WaitForWorker();
    // Asks a running worker to stop, quietly, and waits for it to end.
    void StopAndWait();

    // folder + "/" + the source's file name with the target extension.
    QString BuildTargetPath(const QString& folder, const QString& source) const;

    // Tool runner (worker thread): writes the launcher and runs the command
    // while the engine is running; false when the tool did not run to its end
    // or a stop was requested. `timeoutMs` 0 means no time limit.
    QString WriteLaunchBatch(const QString& command);
    bool RunTool(const QString& command, int timeoutMs = 0);
    const ToolRunReport& LastToolRun() const { return toolRunner.LastRun(); }

    // Progress of the current job in steps of jobShare / 6: the first sets
    // progressPos to progressBase + step, each later one adds a step; both
    // report status 7 for the current job.
    void BeginJobProgress();
    void TickJobProgress();

    std::atomic<int> jobShare{0};      // percent one job is worth: 100 / job count
    std::atomic<int> progressPos{0};   // bar position after the latest stage
    std::atomic<int> progressBase{0};  // bar position when the current job began
    std::atomic<int> status{StatusNone};
    std::atomic<int> currentJob{-1};

    // Set before Start, while no worker runs.
    QString outputFolder;
    bool saveInSourceFolder = false;

protected:
    // The reason the current job failed (for Convert).
    void SetFailureReason(const QString& reason);

private:
    static void WorkerMain(CorvidEng* engine);
    void RunJobs();
    int Report(int kind, int index, int value);

    mutable std::mutex jobLock;   // the job list and each job's fields
    std::thread workerThread;
    StatusCallback callback = nullptr;
    void* userData = nullptr;
    NoticeHandler noticeHandler;
    std::vector<std::unique_ptr<ConversionJob>> jobs;
    ToolRunner toolRunner;
};
