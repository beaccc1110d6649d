#include "html/HtmlWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

const QByteArray kHeaderBytes =
    "<html  xmlns=\"http://www.w3.org/1999/xhtml\">\r\r\n"
    "<head><meta http-equiv=\"Content-Type\" content=\"text/html;charset=UTF-8\"/><title></title>"
    "<link href=\"stylesheet.css\" type=\"text/css\" rel=\"stylesheet\"/>\r\n</head><body>\r\n";
const QByteArray kFooterBytes = "</body>\r\n</html>\r\n";

class HtmlWriterTest : public ::testing::Test {
protected:
    HtmlWriter Make() { return HtmlWriter(dir.path(), HtmlWriter::kPartHeader, HtmlWriter::kPartFooter, 102400); }
    QTemporaryDir dir;
};

TEST_F(HtmlWriterTest, PartBytesAreHeaderTextFooterWithCrLf)
{
    EXPECT_EQ(HtmlWriter::kPartHeader.size(), 211);
    EXPECT_EQ(HtmlWriter::kPartFooter.size(), 16);

    // An existing part0.html is replaced, not appended to.
    {
        QFile old(dir.filePath("part0.html"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
    }
    HtmlWriter writer = Make();
    EXPECT_EQ(writer.partName, "part0.html");
    EXPECT_EQ(writer.partBytes, 211);
    writer.Write("abc");
    writer.Write(QString::fromUtf8("\xC3\xA9") + "\nz");
    EXPECT_EQ(writer.partBytes, 211 + 3 + 4); // U+00E9 is two bytes, LF counted once
    writer.FinishPart();

    const QByteArray bytes = Read(dir.filePath("part0.html"));
    EXPECT_EQ(bytes, kHeaderBytes + "abc\xC3\xA9\r\nz" + kFooterBytes);
    EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
}

TEST_F(HtmlWriterTest, PartsAreNumberedInDecimal)
{
    HtmlWriter writer = Make();
    for (int i = 1; i <= 10; ++i) {
        writer.Write(QString::number(i - 1));
        writer.StartPart();
    }
    EXPECT_EQ(writer.partName, "part10.html");
    EXPECT_EQ(writer.partCount, 11);
    writer.FinishPart();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Read(dir.filePath(QStringLiteral("part%1.html").arg(i))),
                  kHeaderBytes + QByteArray::number(i) + kFooterBytes);
    EXPECT_EQ(Read(dir.filePath("part10.html")), kHeaderBytes + kFooterBytes);
}

TEST_F(HtmlWriterTest, UnwritableFolderStillCounts)
{
    HtmlWriter writer(dir.filePath("no/such/folder"), HtmlWriter::kPartHeader, HtmlWriter::kPartFooter, 10);
    writer.Write("abc");
    EXPECT_EQ(writer.partBytes, 214);
    writer.StartPart();
    EXPECT_EQ(writer.partName, "part1.html");
    writer.FinishPart();
    EXPECT_FALSE(QDir(dir.filePath("no")).exists());
}

} // namespace
