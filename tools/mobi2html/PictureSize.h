// Pixel size of a picture read from its header.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

namespace m2h {

// Width and height of a JPEG, PNG, GIF or BMP picture; nothing when the header cannot be read.
std::optional<std::pair<int, int>> PictureSize(std::string_view data);

} // namespace m2h
