#include "PngFlatten.h"

namespace m2h {

std::string FlattenPngOnWhite(const std::string &png)
{
    return png;
}

} // namespace m2h
