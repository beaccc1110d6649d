#include "TextUtil.h"

#include <array>
#include <cctype>
#include <vector>

namespace m2h {

uint32_t NextCodePoint(std::string_view text, size_t &pos)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(pos);
    int extra;
    uint32_t cp, min;
    if (c < 0x80) {
        ++pos;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, cp = c & 0x07, min = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + extra >= text.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(pos + i) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += extra + 1;
    return cp;
}

static void AppendUtf8(std::string &out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        if (NextCodePoint(text, pos) == 0xFFFD) {
            // A literal U+FFFD is fine; a broken sequence is not.
            if (pos - start != 3 || text.substr(start, 3) != "\xEF\xBF\xBD")
                return false;
        }
    }
    return true;
}

std::string RepairUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size())
        AppendUtf8(out, NextCodePoint(text, pos));
    return out;
}

std::string Cp1252ToUtf8(std::string_view text)
{
    // 0x80..0x9F differ from Latin-1; unassigned bytes become U+FFFD.
    static const std::array<uint16_t, 32> high = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (unsigned char c : text) {
        if (c >= 0x80 && c < 0xA0)
            AppendUtf8(out, high[c - 0x80]);
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::string EscapeHtml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in HTML text.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += ' ';
            else
                out += c;
        }
    }
    return out;
}

std::string CssString(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\' || u < 0x20 || c == '<' || c == '>') {
            static const char hex[] = "0123456789abcdef";
            out += '\\';
            if (u >= 0x10)
                out += hex[u >> 4];
            out += hex[u & 0xF];
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && ToLowerAscii(text.substr(0, prefix.size())) == ToLowerAscii(prefix);
}

static std::string TwoDigits(int v)
{
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

std::string ToW3cDate(std::string_view date)
{
    // Split into runs of digits and runs of letters; everything else separates.
    std::vector<std::string> tokens;
    std::string cur;
    auto kind = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) ? 1 : std::isalpha(static_cast<unsigned char>(c)) ? 2 : 0; };
    int curKind = 0;
    for (char c : date) {
        const int k = kind(c);
        if (k != curKind && !cur.empty()) {
            tokens.push_back(cur);
            cur.clear();
        }
        if (k)
            cur += c;
        curKind = k;
        if (tokens.size() > 16)
            break;
    }
    if (!cur.empty())
        tokens.push_back(cur);

    static const char *months[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    int yearIdx = -1;
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].size() == 4 && kind(tokens[i][0]) == 1) {
            const int y = std::stoi(tokens[i]);
            if (y >= 1000 && y <= 2999) {
                yearIdx = static_cast<int>(i);
                break;
            }
        }
    }
    if (yearIdx < 0)
        return {};
    const std::string year = tokens[yearIdx];
    auto number = [&](size_t i, int max) {
        if (i >= tokens.size() || kind(tokens[i][0]) != 1 || tokens[i].size() > 2)
            return 0;
        const int v = std::stoi(tokens[i]);
        return v >= 1 && v <= max ? v : 0;
    };
    if (yearIdx == 0) {
        // ISO order: YYYY-MM-DD with anything after it (time, zone).
        const int m = number(1, 12);
        if (!m)
            return year;
        const int d = number(2, 31);
        return year + "-" + TwoDigits(m) + (d ? "-" + TwoDigits(d) : "");
    }
    // A written date: "March 2011", "14 March 2011", "March 14, 2011".
    int month = 0, day = 0;
    for (int i = 0; i < yearIdx; ++i) {
        const std::string t = ToLowerAscii(tokens[i]);
        if (kind(t[0]) == 2) {
            for (int m = 0; m < 12 && t.size() >= 3; ++m)
                if (t.compare(0, 3, months[m]) == 0)
                    month = m + 1;
        } else if (!day) {
            day = number(i, 31);
        }
    }
    if (!month)
        return year;
    return year + "-" + TwoDigits(month) + (day ? "-" + TwoDigits(day) : "");
}

} // namespace m2h
