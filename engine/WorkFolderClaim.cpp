#include "engine/WorkFolderClaim.h"

#include "base/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const char kOwnerFile[] = "/.owner";

int LockOwnerFile(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder + QLatin1String(kOwnerFile));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

WorkFolderClaim::~WorkFolderClaim()
{
    Release();
}

bool WorkFolderClaim::Claim(const QString& folder)
{
    Release();
    lockFd = LockOwnerFile(folder);
    return lockFd >= 0;
}

void WorkFolderClaim::Release()
{
    if (lockFd >= 0)
        ::close(lockFd);
    lockFd = -1;
}

int WorkFolderClaim::RemoveAbandoned(const QString& workingFolder, const QString& prefix)
{
    const QDateTime settled = QDateTime::currentDateTimeUtc().addSecs(-60);
    int removed = 0;
    const QFileInfoList entries = QDir(workingFolder).entryInfoList(
        {prefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& entry : entries) {
        const QString folder = entry.absoluteFilePath();
        const bool claimed = QFileInfo::exists(folder + QLatin1String(kOwnerFile));
        if (!claimed && entry.lastModified().toUTC() > settled)
            continue;
        const int fd = claimed ? LockOwnerFile(folder) : -1;
        if (claimed && fd < 0)
            continue;   // its owner is alive
        if (RemoveFolderTree(folder) == 0)
            ++removed;
        if (fd >= 0)
            ::close(fd);
    }
    return removed;
}
