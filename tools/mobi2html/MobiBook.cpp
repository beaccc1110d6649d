#include "MobiBook.h"

#include "TextUtil.h"

#include <mobi.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace m2h {

namespace {

struct MobiDataDeleter {
    void operator()(MOBIData *m) const { mobi_free(m); }
};
struct RawmlDeleter {
    void operator()(MOBIRawml *r) const { mobi_free_rawml(r); }
};
struct FileCloser {
    void operator()(FILE *f) const { fclose(f); }
};

std::string TakeString(char *s)
{
    if (!s)
        return {};
    std::string out(s);
    free(s);
    // Trim surrounding blanks; a title of spaces counts as none.
    const auto first = out.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    out = out.substr(first, out.find_last_not_of(" \t\r\n") - first + 1);
    return IsValidUtf8(out) ? out : Cp1252ToUtf8(out);
}

// Names what a file that is not a MOBI book is, from its first bytes.
std::string SniffForeignFormat(const unsigned char *head, size_t size)
{
    auto starts = [&](const char *magic, size_t at = 0) {
        const size_t n = std::strlen(magic);
        return size >= at + n && std::memcmp(head + at, magic, n) == 0;
    };
    if (size == 0)
        return "the file is empty";
    if (starts("PK\x03\x04"))
        return starts("mimetypeapplication/epub+zip", 30) ? "the file is an EPUB book, not a MOBI book"
                                                         : "the file is a ZIP archive, not a MOBI book";
    if (starts("%PDF"))
        return "the file is a PDF document, not a MOBI book";
    if (starts("\xEA" "DRMION\xEE") || starts("CONT\x02\x00"))
        return "the file is a KFX book, which is not supported (only MOBI/AZW books are)";
    if (starts("TPZ"))
        return "the file is a Topaz book, which is not supported (only MOBI/AZW books are)";
    if (size < 78)
        return "the file is too short to be a MOBI book";
    if (!starts("BOOKMOBI", 60) && !starts("TEXtREAd", 60))
        return "the file is not a MOBI book";
    return {};
}

// The record table must lie in the file with ascending offsets: libmobi sizes each record by
// the gap to the next one, and a table running backwards makes it allocate gigabytes.
std::string CheckRecordTable(FILE *file, const unsigned char *head)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return "the book cannot be read";
    const long size = std::ftell(file);
    const size_t count = size_t(head[76]) << 8 | head[77];
    const size_t tableEnd = 78 + 8 * count;
    if (count == 0 || size < 0 || tableEnd > size_t(size))
        return "the book is damaged or truncated (its record table is incomplete)";
    std::string table(8 * count, '\0');
    if (std::fseek(file, 78, SEEK_SET) != 0 || std::fread(table.data(), 1, table.size(), file) != table.size())
        return "the book cannot be read";
    uint32_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        const auto *e = reinterpret_cast<const unsigned char *>(table.data()) + 8 * i;
        const uint32_t offset = uint32_t(e[0]) << 24 | uint32_t(e[1]) << 16 | uint32_t(e[2]) << 8 | e[3];
        if (offset < previous || offset > size_t(size) || (i == 0 && offset < tableEnd))
            return "the book is damaged or truncated (its record table is broken)";
        previous = offset;
    }
    return {};
}

// Reads a string of the index's compiled NCX records (offset: record number << 16 | position).
std::string CncxString(const MOBIIndx *index, uint32_t offset)
{
    const MOBIPdbRecord *rec = index->cncx_record;
    for (size_t n = offset >> 16; rec && n > 0; --n)
        rec = rec->next;
    size_t pos = offset & 0xFFFF;
    if (!rec || !rec->data || pos >= rec->size)
        return {};
    size_t len = 0;
    for (int i = 0; i < 4 && pos < rec->size; ++i) {
        const unsigned char b = rec->data[pos++];
        len = (len << 7) | (b & 0x7F);
        if (b & 0x80)
            break;
    }
    len = std::min(len, rec->size - pos);
    std::string s(reinterpret_cast<const char *>(rec->data + pos), len);
    return index->encoding == MOBI_CP1252 ? Cp1252ToUtf8(s) : RepairUtf8(s);
}

const MOBIIndexTag *FindTag(const MOBIIndexEntry &entry, size_t id)
{
    for (size_t i = 0; i < entry.tags_count; ++i)
        if (entry.tags[i].tagid == id && entry.tags[i].tagvalues_count > 0)
            return &entry.tags[i];
    return nullptr;
}

std::string PictureExtension(const unsigned char *d, size_t n)
{
    if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF)
        return "jpg";
    if (n >= 6 && (std::memcmp(d, "GIF87a", 6) == 0 || std::memcmp(d, "GIF89a", 6) == 0))
        return "gif";
    if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0)
        return "png";
    if (n >= 2 && d[0] == 'B' && d[1] == 'M')
        return "bmp";
    return {};
}

// The id attribute of the element at `pos` of `text`, or of the nearest element before it that has one.
std::string IdAt(std::string_view text, size_t pos)
{
    if (pos > text.size())
        return {};
    // Inside a tag: take that tag into the search.
    const size_t gt = text.find('>', pos);
    const size_t lt = text.find('<', pos);
    size_t end = pos;
    if (gt != std::string_view::npos && (lt == pos || gt < lt))
        end = gt + 1;
    while (end > 0) {
        const size_t open = text.rfind('<', end - 1);
        if (open == std::string_view::npos)
            break;
        const size_t close = text.find('>', open);
        const std::string_view tag = text.substr(open, (close == std::string_view::npos ? text.size() : close) - open);
        for (const char *attr : {" id=\"", " name=\""}) {
            const size_t a = tag.find(attr);
            if (a != std::string_view::npos && tag.size() > 1 && tag[1] != '/') {
                const size_t v = a + std::strlen(attr);
                const size_t q = tag.find('"', v);
                if (q != std::string_view::npos)
                    return std::string(tag.substr(v, q - v));
            }
        }
        end = open;
    }
    return {};
}

// Finds the id a KF8 position (fragment number, offset) points at: the fragments follow their
// skeleton in the raw text, so the fragment's bytes are located by walking the skeleton table.
std::string Kf8TargetId(const MOBIRawml *rawml, uint32_t fid, uint32_t off)
{
    if (!rawml->skel || !rawml->frag || !rawml->flow || !rawml->flow->data)
        return {};
    const std::string_view raw(reinterpret_cast<const char *>(rawml->flow->data), rawml->flow->size);
    size_t fragNo = 0;
    for (size_t s = 0; s < rawml->skel->entries_count; ++s) {
        const MOBIIndexEntry &skel = rawml->skel->entries[s];
        const MOBIIndexTag *count = FindTag(skel, 1);
        const MOBIIndexTag *geometry = FindTag(skel, 6);
        if (!count || !geometry || geometry->tagvalues_count < 2)
            return {};
        size_t ptr = size_t(geometry->tagvalues[0]) + geometry->tagvalues[1];
        for (uint32_t f = 0; f < count->tagvalues[0] && fragNo < rawml->frag->entries_count; ++f, ++fragNo) {
            const MOBIIndexTag *fragGeometry = FindTag(rawml->frag->entries[fragNo], 6);
            if (!fragGeometry || fragGeometry->tagvalues_count < 2)
                return {};
            const size_t len = fragGeometry->tagvalues[1];
            if (fragNo == fid) {
                if (ptr > raw.size() || off > len)
                    return {};
                const std::string_view frag = raw.substr(ptr, std::min(len, raw.size() - ptr));
                std::string id = IdAt(frag, std::min<size_t>(off, frag.size()));
                // Positions in front of the fragment's first id fall back to the skeleton.
                return id;
            }
            ptr += len;
        }
    }
    return {};
}

void ReadToc(const MOBIRawml *rawml, bool kf8, std::vector<TocEntry> &toc)
{
    if (!rawml->ncx)
        return;
    for (size_t i = 0; i < rawml->ncx->entries_count && i < 100000; ++i) {
        const MOBIIndexEntry &e = rawml->ncx->entries[i];
        TocEntry entry;
        if (const MOBIIndexTag *depth = FindTag(e, 4))
            entry.level = static_cast<int>(std::min<uint32_t>(depth->tagvalues[0], 5)) + 1;
        if (const MOBIIndexTag *label = FindTag(e, 3))
            entry.label = CncxString(rawml->ncx, label->tagvalues[0]);
        if (kf8) {
            const MOBIIndexTag *posFid = FindTag(e, 6);
            if (posFid && posFid->tagvalues_count >= 2)
                entry.targetId = Kf8TargetId(rawml, posFid->tagvalues[0], posFid->tagvalues[1]);
        } else if (const MOBIIndexTag *filepos = FindTag(e, 1)) {
            // The text's anchors are named after their ten-digit position.
            char id[16];
            std::snprintf(id, sizeof id, "%010u", filepos->tagvalues[0]);
            entry.targetId = id;
        }
        if (!entry.label.empty())
            toc.push_back(std::move(entry));
    }
}

} // namespace

std::optional<BookContent> LoadBook(const std::string &path, std::string &error)
{
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "the book cannot be opened (" + std::string(std::strerror(errno)) + ")";
        return std::nullopt;
    }
    return LoadBook(file.get(), error);
}

std::optional<BookContent> LoadBook(FILE *file, std::string &error)
{
    unsigned char head[128] = {};
    const size_t headSize = std::fread(head, 1, sizeof head, file);
    if (std::string foreign = SniffForeignFormat(head, headSize); !foreign.empty()) {
        error = foreign;
        return std::nullopt;
    }
    if (std::string broken = CheckRecordTable(file, head); !broken.empty()) {
        error = broken;
        return std::nullopt;
    }
    std::rewind(file);

    std::unique_ptr<MOBIData, MobiDataDeleter> m(mobi_init());
    if (!m) {
        error = "out of memory";
        return std::nullopt;
    }
    const MOBI_RET loaded = mobi_load_file(m.get(), file);
    if (loaded != MOBI_SUCCESS || !m->rh) {
        error = loaded == MOBI_FILE_ENCRYPTED ? "the book is DRM-protected"
                                              : "the book is damaged or truncated (its records cannot be read)";
        return std::nullopt;
    }
    if (mobi_is_encrypted(m.get())) {
        error = "the book is DRM-protected";
        return std::nullopt;
    }
    if (mobi_is_replica(m.get())) {
        error = "the book is a print replica (a PDF inside a MOBI), which is not supported";
        return std::nullopt;
    }

    std::unique_ptr<MOBIRawml, RawmlDeleter> rawml(mobi_init_rawml(m.get()));
    if (!rawml) {
        error = "the book is damaged or truncated (its text cannot be read)";
        return std::nullopt;
    }
    const MOBI_RET parsed = mobi_parse_rawml(rawml.get(), m.get());
    if (parsed != MOBI_SUCCESS) {
        error = parsed == MOBI_FILE_ENCRYPTED ? "the book is DRM-protected"
                                              : "the book is damaged or truncated (its text cannot be read)";
        return std::nullopt;
    }

    BookContent book;
    book.kf8 = mobi_is_rawml_kf8(rawml.get());
    book.title = TakeString(mobi_meta_get_title(m.get()));
    book.author = TakeString(mobi_meta_get_author(m.get()));
    book.date = TakeString(mobi_meta_get_publishdate(m.get()));
    book.language = TakeString(mobi_meta_get_language(m.get()));

    const bool cp1252 = m->mh && m->mh->text_encoding && *m->mh->text_encoding == MOBI_CP1252;
    for (const MOBIPart *part = rawml->markup; part; part = part->next) {
        if (part->type != T_HTML || !part->data)
            continue;
        std::string text(reinterpret_cast<const char *>(part->data), part->size);
        if (!IsValidUtf8(text))
            text = cp1252 ? Cp1252ToUtf8(text) : RepairUtf8(text);
        char name[32];
        std::snprintf(name, sizeof name, "part%05zu.html", part->uid);
        book.parts.emplace_back(name, std::move(text));
    }
    if (book.parts.empty()) {
        error = "the book has no text";
        return std::nullopt;
    }
    // Flow 0 is the text itself; the others are style sheets and SVG pictures.
    if (book.kf8) {
        for (const MOBIPart *flow = rawml->flow ? rawml->flow->next : nullptr; flow; flow = flow->next) {
            if (flow->type != T_CSS || !flow->data)
                continue;
            char name[32];
            std::snprintf(name, sizeof name, "flow%05zu.css", flow->uid);
            book.flows[name] = RepairUtf8(std::string_view(reinterpret_cast<const char *>(flow->data), flow->size));
        }
    }
    for (const MOBIPart *res = rawml->resources; res; res = res->next) {
        if (!res->data)
            continue;
        Resource r;
        r.extension = PictureExtension(res->data, res->size);
        if (r.extension.empty())
            continue;
        r.data.assign(reinterpret_cast<const char *>(res->data), res->size);
        book.resources[res->uid] = std::move(r);
    }
    if (const MOBIExthHeader *exth = mobi_get_exthrecord_by_tag(m.get(), EXTH_COVEROFFSET)) {
        const uint32_t offset = mobi_decode_exthvalue(static_cast<const unsigned char *>(exth->data), exth->size);
        if (book.resources.count(offset))
            book.coverResource = offset;
    }
    ReadToc(rawml.get(), book.kf8, book.toc);
    return book;
}

} // namespace m2h
