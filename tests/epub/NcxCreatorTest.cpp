#include "epub/NcxCreator.h"

#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct NavPoint { QString id, playOrder, label, src; };

// Reads an NCX back with a namespace-aware parser: every element must be in
// the NCX namespace.
struct ReadBack {
    bool ok = false;
    QString uid, title, author;
    std::vector<NavPoint> points;
};

ReadBack Parse(const QString& path)
{
    ReadBack r;
    QFile file(path);
    QDomDocument dom;
    if (!file.open(QIODevice::ReadOnly) || !dom.setContent(&file, true))
        return r;
    const QString ns = NcxCreator::kNamespace;
    const QDomElement root = dom.documentElement();
    r.ok = root.namespaceURI() == ns && root.localName() == "ncx" && root.attribute("version") == "2005-1";
    const QDomNodeList metas = root.elementsByTagNameNS(ns, "meta");
    for (int i = 0; i < metas.size(); ++i)
        if (metas.at(i).toElement().attribute("name") == "dtb:uid")
            r.uid = metas.at(i).toElement().attribute("content");
    r.title = root.firstChildElement("docTitle").firstChildElement("text").text();
    r.author = root.firstChildElement("docAuthor").firstChildElement("text").text();
    const QDomNodeList points = root.elementsByTagNameNS(ns, "navPoint");
    for (int i = 0; i < points.size(); ++i) {
        const QDomElement p = points.at(i).toElement();
        r.ok = r.ok && p.parentNode().localName() == "navMap" && p.namespaceURI() == ns;
        r.points.push_back({p.attribute("id"), p.attribute("playOrder"),
                            p.firstChildElement("navLabel").firstChildElement("text").text(),
                            p.firstChildElement("content").attribute("src")});
    }
    return r;
}

TEST(NcxCreatorTest, NavPointsReadBackEscapedWithSharedPlayOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("oebps.ncx");
    NcxCreator ncx(QString::fromUtf8("Война & мир"), "Tom <T>", "urn:uuid:0a1b2c3d-0000-4000-8000-00000000abcd");
    ncx.AddNavPoint("Tom & Jerry", "part0.html#p1");
    ncx.AddNavPoint("<i>", "part0.html#p1");
    ncx.AddNavPoint(QString::fromUtf8("Κεφάλαιο 2"), "part1.html#p9");
    EXPECT_EQ(ncx.NavPointCount(), 3);
    ASSERT_TRUE(ncx.Save(path));

    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    EXPECT_TRUE(bytes.contains("Tom &amp; Jerry"));
    EXPECT_FALSE(bytes.contains("xmlns=\"\""));

    const ReadBack r = Parse(path);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.uid, "urn:uuid:0a1b2c3d-0000-4000-8000-00000000abcd");
    EXPECT_EQ(r.title, QString::fromUtf8("Война & мир"));
    EXPECT_EQ(r.author, "Tom <T>");
    const std::vector<NavPoint> expected = {
        {"NavPoint-1", "1", "Tom & Jerry", "part0.html#p1"},
        {"NavPoint-2", "1", "<i>", "part0.html#p1"},
        {"NavPoint-3", "2", QString::fromUtf8("Κεφάλαιο 2"), "part1.html#p9"},
    };
    ASSERT_EQ(r.points.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(r.points[i].id, expected[i].id);
        EXPECT_EQ(r.points[i].playOrder, expected[i].playOrder);
        EXPECT_EQ(r.points[i].label, expected[i].label);
        EXPECT_EQ(r.points[i].src, expected[i].src);
    }

    // Saved once; the creator is closed afterwards.
    ncx.AddNavPoint("late", "part2.html");
    EXPECT_FALSE(ncx.Save(path));
    EXPECT_EQ(Parse(path).points.size(), 3u);
}

TEST(NcxCreatorTest, FallbackIdentifiersAreFreshAndNumberingRestarts)
{
    QTemporaryDir dir;
    QString uids[2];
    for (int i = 0; i < 2; ++i) {
        const QString path = dir.filePath(QStringLiteral("b%1.ncx").arg(i));
        NcxCreator ncx("t", "a");
        if (i == 1)
            ncx.AddNavPoint("One", "part0.html");
        ASSERT_TRUE(ncx.Save(path));
        const ReadBack r = Parse(path);
        ASSERT_TRUE(r.ok);
        uids[i] = r.uid;
        EXPECT_EQ(r.uid.size(), 38);
        EXPECT_TRUE(r.uid.startsWith('{') && r.uid == r.uid.toUpper());
        EXPECT_EQ(r.points.size(), size_t(i));
        if (i == 1) {
            EXPECT_EQ(r.points[0].id, "NavPoint-1");
        }
    }
    EXPECT_NE(uids[0], uids[1]);
}

} // namespace
