#include "PngFlatten.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace m2h {

namespace {

uint32_t Be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void PutBe32(std::string &out, uint32_t v)
{
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void PutChunk(std::string &out, const char type[4], const std::string &data)
{
    PutBe32(out, static_cast<uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    out += body;
    PutBe32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(body.data()), static_cast<uInt>(body.size()))));
}

struct Chunk {
    std::string type;
    const unsigned char *data;
    uint32_t size;
};

bool ReadChunks(const std::string &png, std::vector<Chunk> &chunks)
{
    const auto *d = reinterpret_cast<const unsigned char *>(png.data());
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const uint32_t len = Be32(d + pos);
        if (len > png.size() - pos - 12)
            return false;
        chunks.push_back({std::string(reinterpret_cast<const char *>(d + pos + 4), 4), d + pos + 8, len});
        pos += 12 + size_t(len);
        if (chunks.back().type == "IEND")
            return true;
    }
    return false;
}

bool Inflate(const std::string &in, std::string &out, size_t expected)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    out.resize(expected);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const bool ok = (rc == Z_STREAM_END || rc == Z_BUF_ERROR || rc == Z_OK) && z.total_out == expected;
    inflateEnd(&z);
    return ok;
}

unsigned char Paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<unsigned char>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes the per-line filters in place; `raw` holds (1 + stride) bytes per line.
bool Unfilter(std::string &raw, size_t stride, size_t height, size_t bpp)
{
    auto *d = reinterpret_cast<unsigned char *>(raw.data());
    for (size_t y = 0; y < height; ++y) {
        unsigned char *line = d + y * (stride + 1) + 1;
        const unsigned char *prev = y ? line - (stride + 1) : nullptr;
        const unsigned char filter = line[-1];
        for (size_t x = 0; x < stride; ++x) {
            const int a = x >= bpp ? line[x - bpp] : 0, b = prev ? prev[x] : 0, c = prev && x >= bpp ? prev[x - bpp] : 0;
            switch (filter) {
            case 0: break;
            case 1: line[x] += a; break;
            case 2: line[x] += b; break;
            case 3: line[x] += (a + b) / 2; break;
            case 4: line[x] += Paeth(a, b, c); break;
            default: return false;
            }
        }
    }
    return true;
}

unsigned char OnWhite(unsigned v, unsigned alpha)
{
    return static_cast<unsigned char>((v * alpha + 255 * (255 - alpha) + 127) / 255);
}

} // namespace

std::string FlattenPngOnWhite(const std::string &png)
{
    if (png.size() < 8 + 25 || std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8) != 0)
        return png;
    std::vector<Chunk> chunks;
    if (!ReadChunks(png, chunks) || chunks.empty() || chunks[0].type != "IHDR" || chunks[0].size != 13)
        return png;
    const unsigned char *h = chunks[0].data;
    const uint32_t width = Be32(h), height = Be32(h + 4);
    const int depth = h[8], colour = h[9], interlace = h[12];

    // Palette pictures: blend the palette itself and drop its transparency.
    if (colour == 3) {
        const Chunk *plte = nullptr, *trns = nullptr;
        for (const Chunk &c : chunks) {
            if (c.type == "PLTE")
                plte = &c;
            else if (c.type == "tRNS")
                trns = &c;
        }
        if (!plte || !trns)
            return png;
        std::string palette(reinterpret_cast<const char *>(plte->data), plte->size);
        for (size_t i = 0; i < trns->size && i * 3 + 2 < palette.size(); ++i)
            for (int k = 0; k < 3; ++k)
                palette[i * 3 + k] = static_cast<char>(OnWhite(static_cast<unsigned char>(palette[i * 3 + k]), trns->data[i]));
        std::string out = png.substr(0, 8);
        for (const Chunk &c : chunks) {
            if (c.type == "tRNS")
                continue;
            PutChunk(out, c.type.c_str(), c.type == "PLTE" ? palette : std::string(reinterpret_cast<const char *>(c.data), c.size));
        }
        return out;
    }
    // Grey or RGB with an alpha channel, 8 or 16 bits, not interlaced.
    if ((colour != 4 && colour != 6) || (depth != 8 && depth != 16) || interlace != 0)
        return png;
    const size_t channels = colour == 6 ? 4 : 2, bytes = depth / 8, bpp = channels * bytes;
    if (width == 0 || height == 0 || uint64_t(width) * height > 50'000'000)
        return png;
    const size_t stride = size_t(width) * bpp;
    std::string compressed;
    for (const Chunk &c : chunks)
        if (c.type == "IDAT")
            compressed.append(reinterpret_cast<const char *>(c.data), c.size);
    std::string raw;
    if (!Inflate(compressed, raw, (stride + 1) * height) || !Unfilter(raw, stride, height, bpp))
        return png;

    const size_t outChannels = channels - 1;
    std::string pixels;
    pixels.reserve((size_t(width) * outChannels + 1) * height);
    bool anyTransparent = false;
    for (size_t y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const unsigned char *>(raw.data()) + y * (stride + 1) + 1;
        pixels += '\0'; // no filter
        for (size_t x = 0; x < width; ++x) {
            const unsigned char *px = line + x * bpp;
            const unsigned alpha = px[(channels - 1) * bytes];
            anyTransparent |= alpha != 255;
            for (size_t k = 0; k < outChannels; ++k)
                pixels += static_cast<char>(OnWhite(px[k * bytes], alpha));
        }
    }
    if (!anyTransparent)
        return png;
    uLongf size = compressBound(static_cast<uLong>(pixels.size()));
    std::string idat(size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(idat.data()), &size, reinterpret_cast<const Bytef *>(pixels.data()),
                  static_cast<uLong>(pixels.size()), 6) != Z_OK)
        return png;
    idat.resize(size);
    std::string ihdr(reinterpret_cast<const char *>(h), 13);
    ihdr[8] = 8;
    ihdr[9] = static_cast<char>(colour == 6 ? 2 : 0);
    std::string out = png.substr(0, 8);
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IDAT", idat);
    PutChunk(out, "IEND", {});
    return out;
}

} // namespace m2h
