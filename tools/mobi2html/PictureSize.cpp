#include "PictureSize.h"

#include <cstdint>

namespace m2h {

namespace {

uint32_t Big(std::string_view d, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | static_cast<unsigned char>(d[at + i]);
    return v;
}

uint32_t Little(std::string_view d, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(d[at + i]);
    return v;
}

} // namespace

std::optional<std::pair<int, int>> PictureSize(std::string_view d)
{
    if (d.size() >= 24 && d.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8) && d.substr(12, 4) == "IHDR")
        return std::pair<int, int>(static_cast<int>(Big(d, 16, 4) & 0x7FFFFFFF), static_cast<int>(Big(d, 20, 4) & 0x7FFFFFFF));
    if (d.size() >= 10 && (d.substr(0, 6) == "GIF87a" || d.substr(0, 6) == "GIF89a"))
        return std::pair<int, int>(static_cast<int>(Little(d, 6, 2)), static_cast<int>(Little(d, 8, 2)));
    if (d.size() >= 26 && d[0] == 'B' && d[1] == 'M') {
        const int32_t h = static_cast<int32_t>(Little(d, 22, 4));
        return std::pair<int, int>(static_cast<int>(Little(d, 18, 4) & 0x7FFFFFFF), h < 0 ? -h : h);
    }
    if (d.size() >= 4 && static_cast<unsigned char>(d[0]) == 0xFF && static_cast<unsigned char>(d[1]) == 0xD8) {
        // Walk the segments to the frame header (SOF0..SOF15 without DHT, JPG and DAC).
        size_t at = 2;
        while (at + 9 <= d.size()) {
            if (static_cast<unsigned char>(d[at]) != 0xFF)
                return std::nullopt;
            const unsigned char marker = static_cast<unsigned char>(d[at + 1]);
            if (marker == 0xFF) {
                ++at;
                continue;
            }
            if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
                at += 2;
                continue;
            }
            if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
                return std::pair<int, int>(static_cast<int>(Big(d, at + 7, 2)), static_cast<int>(Big(d, at + 5, 2)));
            if (marker == 0xD9 || marker == 0xDA)
                return std::nullopt;
            at += 2 + Big(d, at + 2, 2);
        }
    }
    return std::nullopt;
}

} // namespace m2h
