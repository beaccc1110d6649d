// Picture sizes read from headers, compiled into the test directly (the tool is a separate program).
#include "../../tools/mobi2html/PictureSize.cpp"

#include <gtest/gtest.h>

#include <QFile>

namespace {

std::string Read(const char *name)
{
    QFile f(QStringLiteral(TAVISTEL_TEST_DATA "/sources/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

TEST(Mobi2HtmlPictureSize, ReadsEachFormatAndRefusesBrokenHeaders)
{
    const std::string png = Read("basic/mark.png");
    const std::string jpeg = Read("styles/map.jpg");
    const std::string gif = Read("styles/icon.gif");
    ASSERT_FALSE(png.empty() || jpeg.empty() || gif.empty());
    std::string bmp(26, '\0');
    bmp[0] = 'B', bmp[1] = 'M', bmp[18] = 32, bmp[22] = char(-20), bmp[23] = bmp[24] = bmp[25] = char(0xFF); // top-down: negative height
    const struct {
        const char *what;
        std::string data;
        std::optional<std::pair<int, int>> size;
    } cases[] = {
        {"jpeg", jpeg, std::pair(400, 300)},
        {"gif", gif, std::pair(16, 16)},
        {"bmp", bmp, std::pair(32, 20)},
        {"jpeg cut before its frame header", jpeg.substr(0, 20), std::nullopt},
        {"png without IHDR", png.substr(0, 12) + "XXXX" + std::string(8, '\0'), std::nullopt},
        {"not a picture", "hello world, not a picture at all", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(m2h::PictureSize(c.data), c.size) << c.what;
    const auto pngSize = m2h::PictureSize(png);
    ASSERT_TRUE(pngSize.has_value());
    EXPECT_GT(pngSize->first, 0);
    EXPECT_GT(pngSize->second, 0);
}

} // namespace
