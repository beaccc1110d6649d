#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct CacheHome {
    QTemporaryDir dir;
    QByteArray saved = qgetenv("XDG_CACHE_HOME");
    CacheHome() { qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path())); }
    ~CacheHome()
    {
        if (saved.isNull())
            qunsetenv("XDG_CACHE_HOME");
        else
            qputenv("XDG_CACHE_HOME", saved);
    }
};

void Touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

} // namespace

TEST(Paths, SplitsAtSeparatorsWithTheRootCounting)
{
    struct Case { const char16_t* path; const char16_t* parent; const char16_t* name; } cases[] = {
        {u"/books/story.azw", u"/books", u"story.azw"},
        {u"/story.azw", u"/", u"story.azw"},
        {u"story.azw", u"", u"story.azw"},
        {u"/books/sub/", u"/books", u""},
        {u"/", u"", u""},
        {u"", u"", u""},
        {u"D:\\Books\\story.azw", u"D:\\Books", u"story.azw"},
        {u"D:\\a.azw", u"D:", u"a.azw"},
        {u"\\book.azw", u"/", u"book.azw"},
        // A POSIX path: the backslash belongs to the name.
        {u"/in/back\\slash.azw", u"/in", u"back\\slash.azw"},
        {u"/in/\u00dcn\u00efc\u00f8d\u00e9 \u66f8.azw", u"/in", u"\u00dcn\u00efc\u00f8d\u00e9 \u66f8.azw"},
    };
    for (const Case& c : cases) {
        const QString path = QString::fromUtf16(c.path);
        EXPECT_EQ(ParentFolder(path), QString::fromUtf16(c.parent)) << path.toStdString();
        EXPECT_EQ(FileNameOf(path), QString::fromUtf16(c.name)) << path.toStdString();
    }
}

TEST(Paths, ReplacesOnlyTheExtensionOfTheFileName)
{
    struct Case { const char* path; const char* extension; const char* result; } cases[] = {
        {"/out/book.azw", "epub", "/out/book.epub"},
        {"/out/book.EPUB", "epub", "/out/book.EPUB"},
        {"/out.d/book", "epub", "/out.d/book.epub"},
        {"/out/book.", "epub", "/out/book.epub"},
        {"/out/My.Novel.azw", "epub", "/out/My.Novel.epub"},
        {"/out/book.azw", "", "/out/book"},
        {"E:\\out.d\\book", "epub", "E:\\out.d\\book.epub"},
        {"E:\\out\\book.azw", "epub", "E:\\out\\book.epub"},
        {"book.azw", "html", "book.html"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceExtension(QString::fromUtf8(c.path), QString::fromUtf8(c.extension)),
                  QString::fromUtf8(c.result)) << c.path;
}

TEST(Paths, MakesUniqueTempNamesInTheCacheFolder)
{
    CacheHome home;
    const QString first = MakeTempPath(QStringLiteral("tmpmobi"));
    const QString second = MakeTempPath(QStringLiteral("tmpmobi"));
    const QString folder = home.dir.path() + QStringLiteral("/Corvid");
    EXPECT_EQ(WorkingFolder(), folder);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(first.startsWith(folder + QStringLiteral("/tmpmobi")));
    EXPECT_NE(first, second);
    bool ok = false;
    first.mid(folder.size() + 8).toInt(&ok);
    EXPECT_TRUE(ok) << first.toStdString();

    // A relative XDG_CACHE_HOME is ignored.
    qputenv("XDG_CACHE_HOME", "relative/cache");
    EXPECT_EQ(WorkingFolder(), QDir::homePath() + QStringLiteral("/.cache/Corvid"));
}

TEST(Paths, RefusesPathsBeyondTheSystemLimits)
{
    EXPECT_TRUE(PathFits(QStringLiteral("/a/b.azw")));
    EXPECT_FALSE(PathFits(QString()));
    EXPECT_FALSE(PathFits(QLatin1Char('/') + QString(256, QLatin1Char('n'))));
    EXPECT_TRUE(PathFits(QLatin1Char('/') + QString(255, QLatin1Char('n'))));
    // 100 non-ASCII characters are 200 bytes, 150 are 300.
    EXPECT_TRUE(PathFits(QLatin1Char('/') + QString(100, QChar(0xE9))));
    EXPECT_FALSE(PathFits(QLatin1Char('/') + QString(150, QChar(0xE9))));
    QString deep;
    for (int i = 0; i < 50; ++i)
        deep += QLatin1Char('/') + QString(100, QLatin1Char('d'));
    EXPECT_FALSE(PathFits(deep));

    CacheHome home;
    EXPECT_TRUE(MakeTempPath(QString(300, QLatin1Char('p'))).isEmpty());
    EXPECT_EQ(RemoveFolderTree(deep), 1);
}

TEST(Paths, TestsAndRemovesFilesAndFolders)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString tree = root + QStringLiteral("/tree");
    ASSERT_TRUE(QDir().mkpath(tree + QStringLiteral("/sub")));
    Touch(tree + QStringLiteral("/sub/f.txt"));
    Touch(root + QStringLiteral("/plain.txt"));
    const QString outside = root + QStringLiteral("/outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    Touch(outside + QStringLiteral("/keep.txt"));
    ASSERT_TRUE(QFile::link(outside, root + QStringLiteral("/link")));
    ASSERT_TRUE(QFile::link(outside, tree + QStringLiteral("/inner-link")));

    EXPECT_TRUE(FileExists(tree));
    EXPECT_TRUE(FileExists(root + QStringLiteral("/plain.txt")));
    EXPECT_FALSE(FileExists(root + QStringLiteral("/missing")));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_EQ(FolderOfPath(tree), tree);
    EXPECT_EQ(FolderOfPath(root + QStringLiteral("/plain.txt")), root);

    EXPECT_EQ(RemoveFolderTree(root + QStringLiteral("/missing")), 1);
    EXPECT_EQ(RemoveFolderTree(root + QStringLiteral("/plain.txt")), 1);
    EXPECT_TRUE(FileExists(root + QStringLiteral("/plain.txt")));
    EXPECT_EQ(RemoveFolderTree(root + QStringLiteral("/link")), 1);
    EXPECT_EQ(RemoveFolderTree(tree), 0);
    EXPECT_FALSE(FileExists(tree));
    // Links inside the tree are removed, not followed.
    EXPECT_TRUE(FileExists(outside + QStringLiteral("/keep.txt")));
}

TEST(Paths, FindsToolsBesideTheProgramUnlessTold)
{
    EXPECT_TRUE(ToolPath(QStringLiteral("7z")).endsWith(QStringLiteral("/core/7z")));
    EXPECT_TRUE(QDir::isAbsolutePath(ToolFolder()));
    SetToolFolder(QStringLiteral("/opt/tools"));
    EXPECT_EQ(ToolPath(QStringLiteral("7z")), QStringLiteral("/opt/tools/7z"));
    SetToolFolder(QString());
    EXPECT_TRUE(ToolPath(QStringLiteral("7z")).endsWith(QStringLiteral("/core/7z")));
}

TEST(Paths, ToolCommandsReachShellWordForWord)
{
    const QStringList words = {
        QStringLiteral("a\"b.azw"), QStringLiteral("$(touch pwned).azw"), QStringLiteral("it's.azw"),
        QStringLiteral("back\\slash.azw"), QString::fromUtf16(u"\u00dcn\u00efc\u00f8d\u00e9 \u66f8.azw"),
        QStringLiteral("`id` ;|&<> *?~ 'q' \"\" $HOME"), QString(), QStringLiteral("-tzip"),
    };
    QTemporaryDir dir;
    QProcess sh;
    sh.setWorkingDirectory(dir.path());
    sh.start(QStringLiteral("/bin/sh"),
             {QStringLiteral("-c"), BuildToolCommand(QStringLiteral("printf"), QStringList{QStringLiteral("%s\\n")} + words)});
    ASSERT_TRUE(sh.waitForFinished(5000));
    EXPECT_EQ(QString::fromUtf8(sh.readAllStandardOutput()), words.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    EXPECT_EQ(BuildToolCommand(QStringLiteral("/c/7z"), {QStringLiteral("a"), QStringLiteral("-tzip")},
                               QStringLiteral("/w/b.epub"), QStringLiteral("/w/b/OEBPS")),
              QStringLiteral("'/c/7z' 'a' '-tzip' '/w/b.epub' '/w/b/OEBPS'"));
    EXPECT_EQ(ShellQuote(QStringLiteral("it's")), QStringLiteral("'it'\\''s'"));
    EXPECT_EQ(DashSafePath(QStringLiteral("-rf.azw")), QStringLiteral("./-rf.azw"));
    EXPECT_EQ(DashSafePath(QStringLiteral("/in/-rf.azw")), QStringLiteral("/in/-rf.azw"));
}
