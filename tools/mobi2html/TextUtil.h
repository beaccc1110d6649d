// Small text helpers of the MOBI-to-HTML tool: UTF-8 checks, code page conversion, escaping, dates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace m2h {

// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// Keeps valid UTF-8 and replaces every broken byte with U+FFFD.
std::string RepairUtf8(std::string_view text);
// Windows-1252 bytes to UTF-8.
std::string Cp1252ToUtf8(std::string_view text);
// Decodes one UTF-8 character at `pos` (advancing it); returns U+FFFD on a broken sequence.
uint32_t NextCodePoint(std::string_view text, size_t &pos);

// Escapes &, <, > and " for element text and attribute values.
std::string EscapeHtml(std::string_view text);
// A CSS string literal (with its quotes) holding `text`.
std::string CssString(std::string_view text);

// A publishing date as W3CDTF (YYYY, YYYY-MM or YYYY-MM-DD), empty when no year is found.
std::string ToW3cDate(std::string_view date);

std::string ToLowerAscii(std::string_view text);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

} // namespace m2h
