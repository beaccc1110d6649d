#include "engine/CorvidEng.h"

#include "base/Paths.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSet>

#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include <sys/stat.h>

Q_LOGGING_CATEGORY(lcEngine, "tavistel.engine", QtWarningMsg)

namespace {

QChar FoldAscii(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ? QChar(c.unicode() + 32) : c;
}

const char* StateWord(int status)
{
    switch (status) {
    case StatusWaiting: return "waiting";
    case StatusRunning: return "running";
    case StatusStopped: return "stopped";
    case StatusFinished: return "finished";
    case StatusFailed: return "failed";
    case StatusProgress: return "progress";
    default: return "none";
    }
}

// The file a path names, whatever way it is spelt (a linked folder, a
// case-blind disk); nothing when there is no such file.
std::optional<std::pair<dev_t, ino_t>> FileIdentity(const QString& path)
{
    struct stat info;
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

} // namespace

CorvidEng::CorvidEng() = default;

CorvidEng::~CorvidEng()
{
    StopAndWait();
}

int CorvidEng::AddJob(const QString& path)
{
    if (!AcceptsFile(path))
        return -1;
    auto job = std::make_unique<ConversionJob>();
    job->source = path;
    std::lock_guard lock(jobLock);
    jobs.push_back(std::move(job));
    return static_cast<int>(jobs.size()) - 1;
}

bool CorvidEng::AcceptsFile(const QString& path) const
{
    const QString list = SourceExtensions();
    if (list.trimmed().isEmpty())
        return true;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    QString extension = path.mid(dot + 1);
    if (extension.isEmpty())
        return false;
    for (QChar& c : extension)
        c = FoldAscii(c);
    const QStringList tokens = list.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    return tokens.contains(extension);
}

void CorvidEng::ClearJobs()
{
    std::lock_guard lock(jobLock);
    jobs.clear();
}

int CorvidEng::JobCount() const
{
    std::lock_guard lock(jobLock);
    return static_cast<int>(jobs.size());
}

ConversionJob CorvidEng::GetJob(int index) const
{
    std::lock_guard lock(jobLock);
    if (index < 0 || index >= static_cast<int>(jobs.size()))
        return {};
    return *jobs[static_cast<size_t>(index)];
}

QString CorvidEng::JobReason(int index) const
{
    return GetJob(index).reason;
}

void CorvidEng::SetJobStatus(int value, int index)
{
    {
        std::lock_guard lock(jobLock);
        if (index < 0 || index >= static_cast<int>(jobs.size()))
            return;
        jobs[static_cast<size_t>(index)]->status = value;
    }
    if (value != StatusProgress)
        qCDebug(lcEngine, "Item %d state : %s", index, StateWord(value));
    Report(NotifyJobStatus, index, value);
}

void CorvidEng::SetJobReason(int index, const QString& reason)
{
    std::lock_guard lock(jobLock);
    if (index >= 0 && index < static_cast<int>(jobs.size()))
        jobs[static_cast<size_t>(index)]->reason = reason;
}

void CorvidEng::SetFailureReason(const QString& reason)
{
    SetJobReason(currentJob, reason);
}

void CorvidEng::SetCallback(StatusCallback newCallback, void* newUserData)
{
    callback = newCallback;
    userData = newUserData;
}

void CorvidEng::SetNoticeHandler(NoticeHandler handler)
{
    noticeHandler = std::move(handler);
}

void CorvidEng::ReportNotice(const QString& text)
{
    qCDebug(lcEngine).noquote() << "notice:" << text;
    if (noticeHandler)
        noticeHandler(text);
}

int CorvidEng::Report(int kind, int index, int value)
{
    return callback ? callback(userData, kind, index, value) : 0;
}

bool CorvidEng::Start()
{
    // The previous worker has made its last report or is about to: wait
    // for it so that two workers never overlap.
    WaitForWorker();
    status = StatusRunning;
    Report(NotifyEngineStatus, -1, StatusRunning);
    try {
        workerThread = std::thread(&CorvidEng::WorkerMain, this);
    } catch (const std::system_error& error) {
        qCWarning(lcEngine) << "worker thread:" << error.what();
        status = StatusStopped;
        Report(NotifyEngineStatus, -1, StatusStopped);
        return false;
    }
    return true;
}

void CorvidEng::RequestStop()
{
    int running = StatusRunning;
    if (status.compare_exchange_strong(running, StatusStopRequested))
        Report(NotifyEngineStatus, -1, StatusStopRequested);
}

void CorvidEng::WaitForWorker()
{
    if (workerThread.joinable() && workerThread.get_id() != std::this_thread::get_id())
        workerThread.join();
}

void CorvidEng::StopAndWait()
{
    int running = StatusRunning;
    status.compare_exchange_strong(running, StatusStopRequested);
    WaitForWorker();
}

QString CorvidEng::BuildTargetPath(const QString& folder, const QString& source) const
{
    const QString name = FileNameOf(source);
    QString base = folder;
    const bool windowsStyle = !base.contains(QLatin1Char('/'));
    while (base.size() > 1
           && (base.endsWith(QLatin1Char('/')) || (windowsStyle && base.endsWith(QLatin1Char('\\')))))
        base.chop(1);
    QString target;
    if (base.isEmpty())
        target = name;   // a bare source name: beside it, in the current folder
    else if (base.endsWith(QLatin1Char('/')))
        target = base + name;
    else
        target = base + QLatin1Char('/') + name;
    return ReplaceExtension(target, TargetExtension());
}

QString CorvidEng::WriteLaunchBatch(const QString& command)
{
    return toolRunner.WriteLaunchBatch(command);
}

bool CorvidEng::RunTool(const QString& command, int timeoutMs)
{
    return toolRunner.Run(
        command, [this] { return status != StatusRunning; },
        [this](const QByteArray& text) { OnToolOutput(text); }, timeoutMs);
}

void CorvidEng::BeginJobProgress()
{
    progressPos = progressBase + jobShare / 6;
    SetJobStatus(StatusProgress, currentJob);
}

void CorvidEng::TickJobProgress()
{
    progressPos += jobShare / 6;
    SetJobStatus(StatusProgress, currentJob);
}

void CorvidEng::WorkerMain(CorvidEng* engine)
{
    if (engine)
        engine->RunJobs();
}

void CorvidEng::RunJobs()
{
    const int count = JobCount();
    for (int j = 0; j < count; ++j) {
        {
            std::lock_guard lock(jobLock);
            jobs[static_cast<size_t>(j)]->status = StatusWaiting;
            jobs[static_cast<size_t>(j)]->reason.clear();
        }
        Report(NotifyJobStatus, j, StatusWaiting);
    }
    progressBase = 0;

    QSet<QString> written;   // targets this run has made
    std::set<std::pair<dev_t, ino_t>> writtenFiles;   // and the files they are
    bool visitedAll = true;
    for (int i = 0; i < JobCount(); ++i) {
        if (status != StatusRunning) {
            visitedAll = false;
            break;
        }
        QString source;
        QString target;
        {
            std::lock_guard lock(jobLock);
            jobShare = 100 / static_cast<int>(jobs.size());
            source = jobs[static_cast<size_t>(i)]->source;
        }
        target = BuildTargetPath(saveInSourceFolder ? ParentFolder(source) : outputFolder, source);
        {
            std::lock_guard lock(jobLock);
            jobs[static_cast<size_t>(i)]->target = target;
        }
        currentJob = i;
        SetJobStatus(StatusRunning, i);

        if (!PathFits(target)) {
            SetJobReason(i, QStringLiteral("The target path is too long: %1").arg(target));
            SetJobStatus(StatusFailed, i);
            continue;
        }
        // Two books of one name from different folders: the later one
        // never replaces what this run has just written.
        const auto identity = FileIdentity(target);
        if (written.contains(target) || (identity && writtenFiles.count(*identity))) {
            SetJobReason(i, QStringLiteral("another book of this run was written to %1").arg(target));
            SetJobStatus(StatusFailed, i);
            continue;
        }
        // Any entry counts as existing, readable or not: it is never
        // replaced without asking.
        if (FileExists(target) && Report(NotifyAskOverwrite, i, 0) != 1) {
            SetJobStatus(StatusStopped, i);
            continue;
        }
        qCDebug(lcEngine).noquote() << "Convert" << source << "->" << target;
        const bool converted = Convert(source, target);
        if (converted) {
            written.insert(target);
            if (const auto made = FileIdentity(target))
                writtenFiles.insert(*made);
        }
        const int final = converted ? StatusFinished
                                    : (status == StatusRunning ? StatusFailed : StatusStopped);
        SetJobStatus(final, i);
    }

    int running = StatusRunning;
    if (visitedAll && status.compare_exchange_strong(running, StatusFinished)) {
        Report(NotifyEngineStatus, -1, StatusFinished);
    } else {
        for (int j = 0; j < JobCount(); ++j) {
            if (GetJob(j).status == StatusWaiting)
                SetJobStatus(StatusStopped, j);
        }
        status = StatusStopped;
        Report(NotifyEngineStatus, -1, StatusStopped);
    }
    currentJob = -1;
}
