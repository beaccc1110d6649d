#include "base/ConversionOptions.h"
#include "base/TextCodec.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString WriteBytes(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(QStringLiteral("f.txt"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

} // namespace

TEST(ReadTextFile, DecodesOneCharacterPerByteUpToTheFirstZero)
{
    QTemporaryDir dir;
    struct Case { QByteArray bytes; QString text; } cases[] = {
        {QByteArray("A\0B", 3), QStringLiteral("A")},
        {QByteArray("\xC3\xA9"), QString::fromUtf16(u"\u00C3\u00A9")},
        {QByteArray(), QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadTextFile(WriteBytes(dir, c.bytes)), c.text);
    EXPECT_TRUE(ReadTextFile(dir.filePath(QStringLiteral("missing"))).isEmpty());
}

TEST(Utf8, ConvertsStrictlyBothWays)
{
    const QByteArray smile("\xF0\x9F\x98\x80");
    const auto wide = Utf8ToWide(smile);
    ASSERT_TRUE(wide);
    ASSERT_EQ(wide->size(), 2);
    EXPECT_EQ(wide->at(0).unicode(), 0xD83D);
    EXPECT_EQ(wide->at(1).unicode(), 0xDE00);
    EXPECT_EQ(WideToUtf8(*wide), smile);

    EXPECT_FALSE(Utf8ToWide(QByteArray("\x80")));
    EXPECT_FALSE(Utf8ToWide(QByteArray("ab\xC3")));          // cut sequence
    EXPECT_FALSE(WideToUtf8(QString(QChar(0xD800))));       // lone surrogate
    EXPECT_EQ(Utf8ToWide(QByteArray()), QString());
}

TEST(ConversionOptions, StoresPatternsInTheirOneLineFormAndRestoresThem)
{
    EXPECT_EQ(EscapeControls(QStringLiteral("a\r\nb")), QStringLiteral("a\\r\\nb"));
    EXPECT_EQ(UnescapeControls(QStringLiteral("a\\r\\nb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(UnescapeControls(QStringLiteral("x\ny")), QStringLiteral("xy"));
    EXPECT_EQ(UnescapeControls(EscapeControls(QStringLiteral("t\tu"))), QStringLiteral("t\tu"));

    ConversionOptions options(QStringLiteral("/in/a.azw"), QStringLiteral("/out/a.epub"));
    EXPECT_EQ(options.partSizeLimit, 102400);
    EXPECT_TRUE(options.htmlPath.isEmpty());
    ASSERT_TRUE(options.headingPattern && options.numberPattern);
    EXPECT_EQ(options.headingPattern->headingLines, 2);
    EXPECT_EQ(options.numberPattern->headingLines, 1);
    const QString heading = UnescapeControls(options.headingPattern->pattern);
    EXPECT_EQ(heading.size(), 75);
    EXPECT_FALSE(options.headingPattern->pattern.contains(QLatin1Char('\n')));
    EXPECT_EQ(UnescapeControls(options.numberPattern->pattern), QStringLiteral("<b>[IVX0-9]*?</b><br>"));
}
