#include "engine/WorkFolderClaim.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <utime.h>

namespace {

QString MakeFolder(const QTemporaryDir& dir, const QString& name, bool withOwnerFile)
{
    const QString folder = dir.filePath(name);
    EXPECT_TRUE(QDir().mkpath(folder + QStringLiteral("/html")));
    QFile(folder + QStringLiteral("/book.mobi")).open(QIODevice::WriteOnly);
    if (withOwnerFile)
        QFile(folder + QStringLiteral("/.owner")).open(QIODevice::WriteOnly);
    return folder;
}

void MakeOld(const QString& folder)
{
    const time_t old = QDateTime::currentDateTimeUtc().addSecs(-3600).toSecsSinceEpoch();
    const utimbuf times{old, old};
    ASSERT_EQ(utime(QFile::encodeName(folder).constData(), &times), 0);
}

} // namespace

TEST(WorkFolderClaim, OnlyFoldersNoLiveRunClaimsAreRemoved)
{
    QTemporaryDir dir;
    const QString live = MakeFolder(dir, QStringLiteral("tmpmobi1"), false);
    WorkFolderClaim claim;
    ASSERT_TRUE(claim.Claim(live));
    MakeOld(live);

    const QString killedRun = MakeFolder(dir, QStringLiteral("tmpmobi2"), true);   // lock died with it
    const QString beingMade = MakeFolder(dir, QStringLiteral("tmpmobi3"), false);  // not claimed yet
    const QString oldUnclaimed = MakeFolder(dir, QStringLiteral("tmpmobi4"), false);
    MakeOld(oldUnclaimed);
    const QString other = MakeFolder(dir, QStringLiteral("keepme"), true);

    EXPECT_EQ(WorkFolderClaim::RemoveAbandoned(dir.path(), QStringLiteral("tmpmobi")), 2);
    EXPECT_TRUE(QDir(live).exists());
    EXPECT_FALSE(QDir(killedRun).exists());
    EXPECT_TRUE(QDir(beingMade).exists());
    EXPECT_FALSE(QDir(oldUnclaimed).exists());
    EXPECT_TRUE(QDir(other).exists());

    claim.Release();
    EXPECT_EQ(WorkFolderClaim::RemoveAbandoned(dir.path(), QStringLiteral("tmpmobi")), 1);
    EXPECT_FALSE(QDir(live).exists());
}
