#include "engine/ImageNormaliser.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Qt reads GIF but cannot write it: a small writer for 256-colour pictures
// whose LZW stream holds one code per pixel (a clear code every 250 codes
// keeps the code size at 9 bits). Colour index 0 is transparent.
QByteArray GifBytes(int width, int height, const QList<QRgb>& palette, const QList<uchar>& pixels)
{
    QByteArray out("GIF89a");
    auto word = [&out](int v) { out.append(char(v & 0xff)); out.append(char((v >> 8) & 0xff)); };
    word(width);
    word(height);
    out.append(char(0xF7)).append(char(0)).append(char(0));
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    out.append("\x21\xF9\x04\x01\x00\x00\x00\x00", 8);
    out.append(char(0x2C));
    word(0);
    word(0);
    word(width);
    word(height);
    out.append(char(0)).append(char(8));

    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    auto code = [&](int c) {
        bits |= quint32(c) << count;
        count += 9;
        while (count >= 8) {
            data.append(char(bits & 0xff));
            bits >>= 8;
            count -= 8;
        }
    };
    for (qsizetype i = 0; i < pixels.size(); ++i) {
        if (i % 250 == 0)
            code(256);
        code(pixels[i]);
    }
    code(257);
    if (count > 0)
        data.append(char(bits & 0xff));
    for (qsizetype i = 0; i < data.size(); i += 255) {
        const QByteArray block = data.mid(i, 255);
        out.append(char(block.size())).append(block);
    }
    out.append(char(0)).append(char(0x3B));
    return out;
}

// 20 x 10: the left half transparent, the right half red.
void WriteHalfClearGif(const QString& path)
{
    QList<uchar> pixels;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            pixels.append(x < 10 ? 0 : 1);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(GifBytes(20, 10, {qRgb(0, 0, 0), qRgb(255, 0, 0)}, pixels));
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct RewriteCase {
    const char* name;
    QByteArray html;
    QByteArray expected;
    QList<QByteArray> listed;
};

} // namespace

TEST(ImageNormaliser, RewritesOnlyLocalGifReferences)
{
    const RewriteCase cases[] = {
        {"upper-case extension", R"(<img src="img/a.GIF">)", R"(<img src="img/__a.jpg">)", {"img/a.GIF"}},
        {"bare name", R"(<img src="pic01.gif"/>)", R"(<img src="__pic01.jpg"/>)", {"pic01.gif"}},
        {"png untouched", R"(<img src="img/a.png">)", R"(<img src="img/a.png">)", {}},
        {"upper-case attribute", R"(<img SRC="img/a.gif">)", R"(<img SRC="img/a.gif">)", {}},
        {"single quotes", R"(<img src='img/a.gif'>)", R"(<img src='img/a.gif'>)", {}},
        {"mixed-case extension", R"(<img src="a.Gif">)", R"(<img src="a.Gif">)", {}},
        {"gif not at the end", R"(<img src="x.gifs/a.png">)", R"(<img src="x.gifs/a.png">)", {}},
        {"twice", R"(<img src="a.gif"><img src="a.gif">)", R"(<img src="__a.jpg"><img src="__a.jpg">)",
         {"a.gif", "a.gif"}},
        {"backslash folder", R"(<img src="img\a.gif">)", R"(<img src="img/__a.jpg">)", {"img\\a.gif"}},
        {"UTF-8 name", "<img src=\"bilder/\xc3\xa4.gif\">", "<img src=\"bilder/__\xc3\xa4.jpg\">",
         {"bilder/\xc3\xa4.gif"}},
        {"invalid UTF-8", "<img src=\"\xff.gif\">", "<img src=\"\xff.gif\">", {}},
        {"parent folder", R"(<img src="../a.gif">)", R"(<img src="../a.gif">)", {}},
        {"encoded parent folder", R"(<img src="%2e%2e/a.gif">)", R"(<img src="%2e%2e/a.gif">)", {}},
        {"absolute path", R"(<img src="/etc/a.gif">)", R"(<img src="/etc/a.gif">)", {}},
        {"web address", R"(<img src="http://example.com/a.gif">)", R"(<img src="http://example.com/a.gif">)", {}},
        {"file address", R"(<img src="file:///tmp/a.gif">)", R"(<img src="file:///tmp/a.gif">)", {}},
        {"unclosed value", R"(<img src="a.gif)", R"(<img src="a.gif)", {}},
        {"empty value then gif", R"(<img src=""><img src="b.gif">)", R"(<img src=""><img src="__b.jpg">)", {"b.gif"}},
    };
    for (const RewriteCase& c : cases) {
        QByteArray html = c.html;
        QList<QByteArray> list;
        RewriteImageRefs(html, list);
        EXPECT_EQ(html, c.expected) << c.name;
        EXPECT_EQ(list, c.listed) << c.name;
    }
}

TEST(ImageNormaliser, NewImageRefKeepsTheFolder)
{
    EXPECT_EQ(NewImageRef("images/pic01.gif"), QByteArray("images/__pic01.gif"));
    EXPECT_EQ(NewImageRef("pic01.gif"), QByteArray("__pic01.gif"));
    EXPECT_EQ(NewImageRef("a\\b\\c.gif"), QByteArray("a/b/__c.gif"));
}

TEST(ImageNormaliser, WritesCopyAndJpegPictures)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    WriteHalfClearGif(root + "/book/img/a.GIF");          // spelled upper case on disk
    WriteHalfClearGif(root + QString::fromUtf8("/book/bilder/\xc3\xa4 b.gif"));
    WriteHalfClearGif(root + "/outside.gif");
    QImage check(root + "/book/img/a.GIF");
    ASSERT_FALSE(check.isNull()) << "the test's GIF writer is broken";

    const QString htmlPath = root + "/book/book.html";
    {
        QFile html(htmlPath);
        ASSERT_TRUE(html.open(QIODevice::WriteOnly));
        html.write("<p>\n<img src=\"img/a.GIF\">\r\n<img src=\"bilder/\xc3\xa4%20b.gif\">\n"
                   "<img src=\"../outside.gif\"><img src=\"missing.gif\">\n");
    }

    const QString copy = NormaliseImages(htmlPath);
    ASSERT_EQ(copy, root + "/book/new_book.html");
    EXPECT_EQ(ReadAll(copy),
              QByteArray("<p>\r\n<img src=\"img/__a.jpg\">\r\n<img src=\"bilder/__\xc3\xa4%20b.jpg\">\r\n"
                         "<img src=\"../outside.gif\"><img src=\"__missing.jpg\">\r\n"));

    const QImage jpeg(root + "/book/img/__a.jpg");
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(jpeg.size(), QSize(20, 10));
    const QColor clear = jpeg.pixelColor(2, 5);
    const QColor red = jpeg.pixelColor(17, 5);
    EXPECT_GT(clear.red(), 240);
    EXPECT_GT(clear.green(), 240) << "transparent areas must become white";
    EXPECT_GT(red.red(), 200);
    EXPECT_LT(red.green(), 60);

    EXPECT_TRUE(QFile::exists(root + QString::fromUtf8("/book/bilder/__\xc3\xa4 b.jpg")));
    EXPECT_FALSE(QFile::exists(root + "/__outside.jpg"));
    EXPECT_FALSE(QFile::exists(root + "/book/__missing.jpg"));
    EXPECT_TRUE(QFile::exists(root + "/book/img/a.GIF")) << "the source picture stays";
    EXPECT_EQ(ReadAll(htmlPath).left(4), QByteArray("<p>\n"));
}

TEST(ImageNormaliser, MissingHtmlGivesNoCopy)
{
    QTemporaryDir dir;
    EXPECT_TRUE(NormaliseImages(dir.path() + "/gone.html").isEmpty());
    EXPECT_FALSE(QFile::exists(dir.path() + "/new_gone.html"));
}
