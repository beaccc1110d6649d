#pragma once

#include "base/Paths.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A fresh book tree (<tmp>/book/OEBPS) with the tool folder pointing at the
// templates of the source tree.
class PackageFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetToolFolder(QDir::cleanPath(QStringLiteral(TAVISTEL_TEST_DATA "/../../core")));
        ASSERT_TRUE(tmp.isValid());
        bookFolder = tmp.filePath(QStringLiteral("book"));
        contentFolder = bookFolder + QStringLiteral("/OEBPS");
        ASSERT_TRUE(QDir().mkpath(contentFolder));
    }
    void TearDown() override { SetToolFolder({}); }

    QString Write(const QString& name, const QByteArray& bytes = "x")
    {
        const QString path = contentFolder + u'/' + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        return path;
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
    static QByteArray DataFile(const QString& relative)
    {
        return Read(QStringLiteral(TAVISTEL_TEST_DATA "/") + relative);
    }

    QTemporaryDir tmp;
    QString bookFolder;
    QString contentFolder;
};
