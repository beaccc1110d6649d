// libFuzzer harness: loads any bytes as a book and builds its HTML, as the tool does.
#include "HtmlAssembler.h"
#include "MobiBook.h"
#include "PngFlatten.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!file)
        return 0;
    std::string error;
    std::optional<m2h::BookContent> book = m2h::LoadBook(file, error);
    fclose(file);
    if (!book)
        return 0;
    (void)m2h::IsMostlyRightToLeft(*book);
    m2h::AssembledHtml html = m2h::AssembleHtml(*book, "fuzz");
    for (const auto &[uid, name] : html.pictures) {
        const m2h::Resource &res = book->resources.at(uid);
        if (res.extension == "png")
            (void)m2h::FlattenPngOnWhite(res.data);
    }
    return 0;
}
