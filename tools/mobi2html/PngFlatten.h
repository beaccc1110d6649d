// Flattens PNG pictures with transparency onto a white background.
#pragma once

#include <string>

namespace m2h {

// Returns the PNG with every transparent pixel blended onto white, or `png` unchanged when it
// has no transparency or cannot be decoded.
std::string FlattenPngOnWhite(const std::string &png);

} // namespace m2h
