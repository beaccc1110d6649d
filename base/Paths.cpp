#include "base/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace {

QMutex toolFolderMutex;
QString toolFolderOverride;

bool IsWindowsStyle(const QString& path)
{
    return !path.contains(QLatin1Char('/'));
}

bool IsSeparator(QChar c, bool windowsStyle)
{
    return c == QLatin1Char('/') || (windowsStyle && c == QLatin1Char('\\'));
}

// Index of the last separator at or before `from`, or -1.
qsizetype LastSeparator(const QString& path, qsizetype from)
{
    const bool windowsStyle = IsWindowsStyle(path);
    for (qsizetype i = from; i >= 0; --i) {
        if (IsSeparator(path.at(i), windowsStyle))
            return i;
    }
    return -1;
}

QString ExecutableFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return exe.isEmpty() ? QDir::currentPath() : QFileInfo(exe).absolutePath();
}

std::int64_t TickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool PathFits(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.isEmpty() || bytes.size() >= kPathMaxBytes)
        return false;
    for (const QByteArray& name : bytes.split('/')) {
        if (name.size() > kNameMaxBytes)
            return false;
    }
    return true;
}

QString ToolFolder()
{
    {
        QMutexLocker lock(&toolFolderMutex);
        if (!toolFolderOverride.isEmpty())
            return toolFolderOverride;
    }
    return ExecutableFolder() + QStringLiteral("/core/");
}

void SetToolFolder(const QString& folder)
{
    QMutexLocker lock(&toolFolderMutex);
    toolFolderOverride = folder;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        toolFolderOverride += QLatin1Char('/');
}

QString ToolPath(const QString& toolName)
{
    return ToolFolder() + toolName;
}

QString WorkingFolder()
{
    // Only an absolute XDG_CACHE_HOME counts, as the XDG rules say.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    while (cache.size() > 1 && cache.endsWith(QLatin1Char('/')))
        cache.chop(1);
    return cache + QStringLiteral("/Corvid");
}

QString MakeTempPath(const QString& prefix)
{
    // Two names made within one millisecond would collide; the last value
    // handed out is bumped instead.
    static std::atomic<std::int64_t> lastTick{0};
    std::int64_t tick = TickCount();
    std::int64_t last = lastTick.load();
    do {
        if (tick <= last)
            tick = last + 1;
    } while (!lastTick.compare_exchange_weak(last, tick));

    const QString folder = WorkingFolder();
    QDir().mkpath(folder);   // a failure shows when a file in it cannot be made
    const QString path = folder + QLatin1Char('/') + prefix
        + QString::number(static_cast<std::int32_t>(static_cast<std::uint32_t>(tick)));
    return PathFits(path) ? path : QString();
}

QString ParentFolder(const QString& path)
{
    if (path.size() < 2)
        return {};
    const qsizetype sep = LastSeparator(path, path.size() - 2);
    if (sep < 0)
        return {};
    if (sep == 0)
        return QStringLiteral("/");
    return path.left(sep);
}

QString FileNameOf(const QString& path)
{
    if (path.isEmpty())
        return {};
    const qsizetype sep = LastSeparator(path, path.size() - 1);
    return path.mid(sep + 1);
}

QString FolderOfPath(const QString& path)
{
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isDir())
        return path;
    return ParentFolder(path);
}

QString ReplaceExtension(const QString& path, const QString& extension)
{
    QString result = path;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const qsizetype sep = path.isEmpty() ? -1 : LastSeparator(path, path.size() - 1);
    if (dot >= 0 && dot > sep) {
        const QString current = path.mid(dot + 1);
        if (!extension.isEmpty() && current.size() == extension.size()) {
            bool same = true;
            for (qsizetype i = 0; i < current.size() && same; ++i) {
                auto fold = [](QChar c) {
                    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                        ? QChar(c.unicode() + 32) : c;
                };
                same = fold(current.at(i)) == fold(extension.at(i));
            }
            if (same)
                return result;
        }
        result.truncate(dot);
    }
    if (!extension.isEmpty())
        result += QLatin1Char('.') + extension;
    return result;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

int RemoveFolderTree(const QString& folder)
{
    if (folder.isEmpty() || !PathFits(folder))
        return 1;
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir())
        return 1;
    return QDir(folder).removeRecursively() ? 0 : 2;
}

QString ShellQuote(const QString& word)
{
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString DashSafePath(const QString& path)
{
    return path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
}

QString BuildToolCommand(const QString& toolPath, const QStringList& arguments)
{
    QString command = ShellQuote(toolPath);
    for (const QString& argument : arguments)
        command += QLatin1Char(' ') + ShellQuote(argument);
    return command;
}

QString BuildToolCommand(const QString& toolPath, const QStringList& options,
                         const QString& input, const QString& output)
{
    return BuildToolCommand(toolPath, QStringList(options) << input << output);
}
