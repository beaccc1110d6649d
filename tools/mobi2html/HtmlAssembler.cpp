#include "HtmlAssembler.h"

#include "PictureSize.h"
#include "TextUtil.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

namespace m2h {

namespace {

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '-' || c == '_';
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Lower-case element name of the tag starting at text[lt] ('<'); "/p" for a closing tag.
std::string TagName(std::string_view text, size_t lt)
{
    size_t i = lt + 1;
    std::string name;
    if (i < text.size() && text[i] == '/') {
        name = "/";
        ++i;
    }
    while (i < text.size() && IsNameChar(text[i]))
        name += text[i++];
    return ToLowerAscii(name);
}

// End of the tag starting at text[lt] (one past '>'), quotes respected; npos when unterminated.
size_t TagEnd(std::string_view text, size_t lt)
{
    char quote = 0;
    for (size_t i = lt + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            // Quotes only open a value right after '='.
            size_t j = i;
            while (j > lt && IsSpace(text[j - 1]))
                --j;
            if (text[j - 1] == '=')
                quote = c;
        } else if (c == '>') {
            return i + 1;
        } else if (c == '<') {
            return i; // a broken tag ends where the next one begins
        }
    }
    return std::string_view::npos;
}

struct Attribute {
    std::string name;  // lower case
    std::string value; // raw, without quotes
    bool hasValue = false;
};

struct Tag {
    std::string name; // lower case, "/x" when closing
    std::vector<Attribute> attributes;
    bool selfClosing = false;
};

Tag ParseTag(std::string_view tag)
{
    Tag t;
    size_t i = 1;
    if (i < tag.size() && tag[i] == '/')
        t.name = "/", ++i;
    while (i < tag.size() && IsNameChar(tag[i]))
        t.name += tag[i++];
    t.name = ToLowerAscii(t.name);
    while (i < tag.size()) {
        while (i < tag.size() && (IsSpace(tag[i]) || tag[i] == '/'))
            ++i;
        if (i >= tag.size() || tag[i] == '>')
            break;
        Attribute a;
        while (i < tag.size() && !IsSpace(tag[i]) && tag[i] != '=' && tag[i] != '>' && tag[i] != '/')
            a.name += tag[i++];
        if (a.name.empty()) {
            ++i;
            continue;
        }
        a.name = ToLowerAscii(a.name);
        size_t j = i;
        while (j < tag.size() && IsSpace(tag[j]))
            ++j;
        if (j < tag.size() && tag[j] == '=') {
            i = j + 1;
            while (i < tag.size() && IsSpace(tag[i]))
                ++i;
            a.hasValue = true;
            if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
                const char q = tag[i++];
                const size_t end = tag.find(q, i);
                a.value = std::string(tag.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
                i = end == std::string_view::npos ? tag.size() : end + 1;
            } else {
                while (i < tag.size() && !IsSpace(tag[i]) && tag[i] != '>')
                    a.value += tag[i++];
            }
        }
        t.attributes.push_back(std::move(a));
    }
    const size_t last = tag.find_last_not_of(" \t\r\n>");
    t.selfClosing = last != std::string_view::npos && tag[last] == '/';
    return t;
}

std::string WriteTag(const Tag &t)
{
    std::string out = "<" + t.name;
    for (const Attribute &a : t.attributes) {
        out += " " + a.name;
        if (a.hasValue) {
            // Values are written with double quotes; a stray one inside is escaped.
            std::string v;
            for (char c : a.value)
                v += c == '"' ? std::string("&quot;") : c == '<' ? std::string("&lt;") : std::string(1, c);
            out += "=\"" + v + "\"";
        }
    }
    return out + (t.selfClosing ? "/>" : ">");
}

const std::set<std::string> &VoidElements()
{
    static const std::set<std::string> v = {"img", "br", "hr", "meta", "link", "input", "col", "area", "base", "wbr"};
    return v;
}

const std::set<std::string> &BlockElements()
{
    static const std::set<std::string> b = {"p", "div", "center", "figure", "blockquote", "section", "body"};
    return b;
}

const std::set<std::string> &InlineElements()
{
    static const std::set<std::string> i = {"a", "span", "b", "i", "em", "strong", "font", "small", "big", "u", "sup", "sub", "s"};
    return i;
}

class Assembler {
public:
    Assembler(const BookContent &book) : book(book) {}

    AssembledHtml Run(const std::string &fallbackTitle)
    {
        std::string body;
        std::vector<std::string> flowOrder;
        std::string extraCss;
        for (const auto &[name, text] : book.parts) {
            CollectStyles(text, flowOrder, extraCss);
            // Each part was a file of its own, which a reader starts on a new page.
            if (!body.empty())
                body += "<div class=\"m2h-pagebreak\"></div>";
            body += "<a id=\"" + name.substr(0, name.find('.')) + "\"></a>\n";
            body += RewriteMarkup(BodyOf(text));
            body += "\n";
        }
        std::string css;
        for (const std::string &flow : flowOrder)
            css += RewriteCss(book.flows.at(flow)) + "\n";
        css += RewriteCss(extraCss);

        // A break with nothing after it would only add an empty last page.
        for (;;) {
            const size_t last = body.find_last_not_of(" \t\r\n");
            static const std::string brk = "<div class=\"m2h-pagebreak\"></div>";
            if (last == std::string::npos || last + 1 < brk.size() || body.compare(last + 1 - brk.size(), brk.size(), brk) != 0)
                break;
            body.erase(last + 1 - brk.size());
        }
        body = MarkBlockPictures(body);
        body = PutCoverFirst(body);

        AssembledHtml out;
        std::string lang;
        for (char c : book.language)
            if (IsNameChar(c) && c != ':' && c != '_')
                lang += c;
        const std::string title = book.title.empty() ? fallbackTitle : book.title;
        std::string &h = out.html;
        h = "<!DOCTYPE html>\n<html";
        if (!lang.empty())
            h += " lang=\"" + lang + "\"";
        h += ">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + EscapeHtml(title) + "</title>\n";
        if (!book.author.empty())
            h += "<meta name=\"author\" content=\"" + EscapeHtml(book.author) + "\"/>\n";
        if (const std::string date = ToW3cDate(book.date); !date.empty())
            h += "<meta name=\"dcterms.created\" content=\"" + date + "\"/>\n";
        h += "<style>\n" + SafeInStyle(css) + "\n</style>\n<style>\n";
        // Our own rules come last so that the book's CSS cannot undo them.
        h += "img { max-width: 100% !important; max-height: 23cm !important; height: auto; }\n"
             // The PDF-to-HTML step reads a line left to right: a marker outside the line would
             // come after the item's text. Ruby readings stay inline, in brackets. Vertical
             // writing is laid out horizontally so that no line is lost or garbled.
             "li { list-style-position: inside !important; }\n"
             "rp { display: none !important; }\n"
             "rt { display: inline !important; font-size: inherit !important; }\n"
             "rt::before { content: \"(\"; } rt::after { content: \")\"; }\n"
             "html, body, body * { writing-mode: horizontal-tb !important; }\n"
             ".m2h-pagebreak { page-break-before: always; break-before: page; height: 0; }\n"
             ".m2h-picture { page-break-before: always; page-break-after: always; "
             "break-before: page; break-after: page; text-align: center; }\n";
        h += SafeInStyle(TocBookmarks(body));
        h += "</style>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
        out.pictures = pictures;
        return out;
    }

private:
    const BookContent &book;
    std::map<size_t, std::string> pictures;
    std::map<std::string, size_t> pictureUid;

    static std::string SafeInStyle(const std::string &css)
    {
        // A "</style" inside the CSS would end the element early.
        const std::string lower = ToLowerAscii(css);
        std::string out;
        size_t at = 0;
        for (size_t p = 0; (p = lower.find("</style", p)) != std::string::npos; p += 2) {
            out.append(css, at, p - at);
            out += "<\\/";
            at = p + 2;
        }
        return out.append(css, at, std::string::npos);
    }

    static std::string_view BodyOf(std::string_view text)
    {
        const std::string lower = ToLowerAscii(text);
        size_t start = lower.find("<body");
        start = start == std::string::npos ? 0 : TagEnd(text, start);
        if (start == std::string_view::npos)
            return {};
        size_t end = lower.rfind("</body");
        if (end == std::string::npos || end < start)
            end = text.size();
        return text.substr(start, end - start);
    }

    void CollectStyles(std::string_view text, std::vector<std::string> &flowOrder, std::string &extraCss)
    {
        const std::string lower = ToLowerAscii(text);
        size_t headEnd = lower.find("<body");
        if (headEnd == std::string::npos)
            return;
        for (size_t p = 0; (p = lower.find("<link", p)) < headEnd; ++p) {
            const size_t end = TagEnd(text, p);
            if (end == std::string_view::npos)
                break;
            for (const Attribute &a : ParseTag(text.substr(p, end - p)).attributes) {
                if (a.name != "href")
                    continue;
                std::string file = a.value.substr(a.value.rfind('/') + 1);
                if (book.flows.count(file) && std::find(flowOrder.begin(), flowOrder.end(), file) == flowOrder.end())
                    flowOrder.push_back(file);
            }
        }
        for (size_t p = 0; (p = lower.find("<style", p)) < headEnd;) {
            const size_t open = TagEnd(text, p);
            const size_t close = lower.find("</style", p);
            if (open == std::string_view::npos || close == std::string::npos)
                break;
            if (open < close)
                extraCss += std::string(text.substr(open, close - open)) + "\n";
            p = close + 1;
        }
    }

    // Picture file for a reference such as "resource00003.jpg" or "kindle:embed:0004?mime=image/jpeg";
    // empty when the reference is not one of the book's pictures.
    std::string PictureFor(std::string_view ref)
    {
        long uid = -1;
        const size_t slash = ref.rfind('/');
        std::string_view file = ref.substr(slash == std::string_view::npos || StartsWithNoCase(ref, "kindle:") ? 0 : slash + 1);
        if (StartsWithNoCase(file, "resource")) {
            size_t i = 8;
            long v = 0;
            while (i < file.size() && i < 16 && file[i] >= '0' && file[i] <= '9')
                v = v * 10 + (file[i++] - '0');
            if (i > 8)
                uid = v;
        } else if (StartsWithNoCase(file, "kindle:embed:")) {
            // Base-32 record number counted from one.
            long v = 0;
            size_t i = 13;
            for (; i < file.size() && i < 20; ++i) {
                const char c = file[i];
                if (c >= '0' && c <= '9')
                    v = v * 32 + (c - '0');
                else if (c >= 'A' && c <= 'V')
                    v = v * 32 + (c - 'A' + 10);
                else
                    break;
            }
            if (i > 13)
                uid = v - 1;
        }
        if (uid < 0)
            return {};
        return PictureName(static_cast<size_t>(uid));
    }

    std::string PictureName(size_t uid)
    {
        const auto res = book.resources.find(uid);
        if (res == book.resources.end())
            return {};
        char name[48];
        std::snprintf(name, sizeof name, "image%05zu.%s", uid, res->second.extension.c_str());
        pictures[uid] = name;
        pictureUid[name] = uid;
        return name;
    }

    // A link into another part of the book points at the anchor in the one file.
    static std::string LinkTarget(const std::string &href)
    {
        if (!StartsWithNoCase(href, "part"))
            return href;
        const size_t dot = href.find(".html");
        if (dot == std::string::npos)
            return href;
        const size_t hash = href.find('#', dot);
        return hash != std::string::npos ? href.substr(hash) : "#" + href.substr(0, dot);
    }

    std::string RewriteMarkup(std::string_view text)
    {
        std::string out;
        out.reserve(text.size() + text.size() / 8);
        size_t i = 0;
        while (i < text.size()) {
            const size_t lt = text.find('<', i);
            if (lt == std::string_view::npos) {
                out.append(text.substr(i));
                break;
            }
            out.append(text.substr(i, lt - i));
            if (text.compare(lt, 4, "<!--") == 0) {
                const size_t end = text.find("-->", lt + 4);
                i = end == std::string_view::npos ? text.size() : end + 3;
                continue;
            }
            const size_t end = TagEnd(text, lt);
            if (end == std::string_view::npos || lt + 1 >= text.size() ||
                !(IsNameChar(text[lt + 1]) || text[lt + 1] == '/' || text[lt + 1] == '!' || text[lt + 1] == '?')) {
                out += "&lt;"; // a lone '<' in the text
                i = lt + 1;
                continue;
            }
            i = end;
            if (text[lt + 1] == '!' || text[lt + 1] == '?')
                continue; // doctype, processing instruction
            Tag tag = ParseTag(text.substr(lt, end - lt));
            const std::string bare = tag.name.substr(tag.name[0] == '/' ? 1 : 0);
            if (bare.empty())
                continue;
            if (bare == "mbp:pagebreak") {
                if (tag.name[0] != '/')
                    out += "<div class=\"m2h-pagebreak\"></div>";
                continue;
            }
            if (bare.find(':') != std::string::npos || bare == "guide" || bare == "reference" ||
                bare == "script" || bare == "html" || bare == "head" || bare == "body")
                continue; // reader-specific or misplaced markup
            if (tag.name[0] != '/') {
                bool pageBreak = false;
                std::vector<Attribute> kept;
                for (Attribute &a : tag.attributes) {
                    if (a.name == "data-amznpagebreak") {
                        pageBreak = true;
                        continue;
                    }
                    if (a.name == "aid" || a.name == "filepos" || a.name == "recindex" || a.name.rfind("on", 0) == 0)
                        continue;
                    if (a.name == "href") {
                        if (StartsWithNoCase(a.value, "kindle:"))
                            continue; // a position the book's index could not resolve
                        a.value = LinkTarget(a.value);
                    }
                    if ((a.name == "src" || a.name == "xlink:href" || (a.name == "href" && bare == "image"))) {
                        if (std::string pic = PictureFor(a.value); !pic.empty())
                            a.value = pic;
                    }
                    if (a.name == "style")
                        a.value = RewriteCss(a.value);
                    kept.push_back(std::move(a));
                }
                tag.attributes = std::move(kept);
                if (pageBreak)
                    out += "<div class=\"m2h-pagebreak\"></div>";
                if (VoidElements().count(bare))
                    tag.selfClosing = true;
            }
            out += WriteTag(tag);
        }
        return out;
    }

    std::string RewriteCss(std::string_view css)
    {
        std::string out;
        const std::string lower = ToLowerAscii(css);
        size_t i = 0;
        while (i < css.size()) {
            const size_t url = lower.find("url(", i);
            if (url == std::string::npos) {
                out.append(css.substr(i));
                break;
            }
            const size_t start = url + 4;
            const size_t close = css.find(')', start);
            if (close == std::string_view::npos) {
                out.append(css.substr(i));
                break;
            }
            std::string ref(css.substr(start, close - start));
            ref.erase(std::remove_if(ref.begin(), ref.end(), [](char c) { return c == '"' || c == '\'' || IsSpace(c); }), ref.end());
            out.append(css.substr(i, start - i));
            const std::string pic = PictureFor(ref);
            out += pic.empty() ? std::string(css.substr(start, close - start)) : "\"" + pic + "\"";
            out += ')';
            i = close + 1;
        }
        return out;
    }

    // Visible text between two positions, tags left out.
    static bool HasText(std::string_view text, size_t from, size_t to)
    {
        bool inTag = false;
        for (size_t i = from; i < to && i < text.size(); ++i) {
            const char c = text[i];
            if (c == '<')
                inTag = true;
            else if (c == '>')
                inTag = false;
            else if (!inTag && !IsSpace(c)) {
                if (c == '&' && text.compare(i, 6, "&nbsp;") == 0) {
                    i += 5;
                    continue;
                }
                return true;
            }
        }
        return false;
    }

    // Every picture that stands alone in its block gets a page of its own, so that the reading
    // order survives the PDF-to-HTML step (which writes a page's pictures before its text).
    std::string MarkBlockPictures(const std::string &body)
    {
        struct Range {
            size_t start, end;
        };
        std::vector<Range> ranges;
        std::vector<size_t> breaks;
        size_t lastEnd = 0;
        for (size_t p = 0; (p = body.find("<img", p)) != std::string::npos; p += 4) {
            if (p < lastEnd)
                continue;
            const size_t imgEnd = TagEnd(body, p);
            if (imgEnd == std::string::npos)
                break;
            // Walk outwards over inline wrappers and blanks to the enclosing block.
            size_t start = p;
            std::string block;
            for (;;) {
                size_t q = start;
                while (q > 0 && IsSpace(body[q - 1]))
                    --q;
                if (q == 0 || body[q - 1] != '>') {
                    start = std::string::npos;
                    break;
                }
                const size_t lt = body.rfind('<', q - 1);
                if (lt == std::string::npos) {
                    start = std::string::npos;
                    break;
                }
                const std::string name = TagName(body, lt);
                if (InlineElements().count(name)) {
                    start = lt;
                    continue;
                }
                if (BlockElements().count(name)) {
                    block = name;
                    start = lt;
                    break;
                }
                // After another block or at the top: the picture is its own block.
                if ((!name.empty() && name[0] == '/' && BlockElements().count(name.substr(1))) || name == "a") {
                    block.clear();
                    break;
                }
                start = std::string::npos;
                break;
            }
            if (start == std::string::npos)
                continue;
            size_t end = imgEnd;
            bool ok = false;
            for (;;) {
                size_t q = end;
                while (q < body.size() && IsSpace(body[q]))
                    ++q;
                if (q >= body.size() || body[q] != '<')
                    break;
                const std::string name = TagName(body, q);
                const size_t tagEnd = TagEnd(body, q);
                if (tagEnd == std::string::npos)
                    break;
                if (name == "br" || (name.size() > 1 && name[0] == '/' && InlineElements().count(name.substr(1)))) {
                    end = tagEnd;
                    continue;
                }
                if (block.empty() ? (name.size() > 1 && (name[0] == '/' || BlockElements().count(name))) || name == "img"
                                  : name == "/" + block) {
                    if (!block.empty())
                        end = tagEnd;
                    ok = true;
                }
                break;
            }
            if (!ok) {
                // A picture that opens a block with its caption: the block starts a page, so the
                // picture (written first on its page by the PDF-to-HTML step) stays before the text.
                if (!block.empty() && !HasText(body, start, p) && !IsSmallPicture(body.substr(p, imgEnd - p)))
                    breaks.push_back(start);
                continue;
            }
            if (block.empty() && start != p && HasText(body, start, p))
                continue;
            if (block.empty())
                start = p, end = imgEnd;
            ranges.push_back({start, end});
            lastEnd = end;
        }
        std::multimap<size_t, const char *> inserts;
        for (const Range &r : ranges) {
            inserts.emplace(r.start, "<div class=\"m2h-picture\">");
            inserts.emplace(r.end, "</div>");
        }
        for (size_t b : breaks)
            inserts.emplace(b, "<div class=\"m2h-pagebreak\"></div>");
        std::string out;
        size_t at = 0;
        for (const auto &[pos, text] : inserts) {
            out.append(body, at, pos - at);
            out += text;
            at = pos;
        }
        out.append(body, at, std::string::npos);
        return out;
    }

    // An icon or ornament in the text: sized small by the markup or by its pixels.
    bool IsSmallPicture(std::string_view imgTag) const
    {
        constexpr int kSmall = 100;
        const Tag tag = ParseTag(imgTag);
        int width = 0, height = 0;
        std::string src;
        for (const Attribute &a : tag.attributes) {
            if (a.name == "width" || a.name == "height") {
                const int v = std::atoi(a.value.c_str());
                const bool pixels = a.value.find_first_not_of("0123456789 px") == std::string::npos;
                if (pixels && v > 0)
                    (a.name == "width" ? width : height) = v;
            } else if (a.name == "src") {
                src = a.value;
            }
        }
        if ((width > 0 && width <= kSmall) || (height > 0 && height <= kSmall))
            return true;
        const auto uid = pictureUid.find(src);
        if (uid == pictureUid.end())
            return false;
        const auto size = PictureSize(book.resources.at(uid->second).data);
        return size && size->first <= kSmall && size->second <= kSmall;
    }

    std::string PutCoverFirst(const std::string &body)
    {
        if (!book.coverResource)
            return body;
        const std::string cover = PictureName(*book.coverResource);
        const size_t firstImg = body.find("<img");
        if (firstImg != std::string::npos && !HasText(body, 0, firstImg)) {
            const size_t end = TagEnd(body, firstImg);
            const std::string tag = end == std::string::npos ? std::string() : body.substr(firstImg, end - firstImg);
            if (tag.find("\"" + cover + "\"") != std::string::npos)
                return body; // the book opens with its cover already
        }
        return "<div class=\"m2h-picture m2h-cover\"><img src=\"" + cover + "\" alt=\"Cover\"/></div>\n" + body;
    }

    // Table-of-contents entries that do not point at headings become bookmarks of their own,
    // so the PDF outline still lists them.
    std::string TocBookmarks(const std::string &body) const
    {
        std::string css;
        // Where each id is, found in one pass.
        std::map<std::string, size_t> idAt;
        for (size_t p = 0; (p = body.find(" id=\"", p)) != std::string::npos; ++p) {
            const size_t end = body.find('"', p + 5);
            if (end == std::string::npos)
                break;
            idAt.emplace(body.substr(p + 5, end - p - 5), p + 1);
        }
        std::set<std::string> done;
        for (const TocEntry &e : book.toc) {
            if (e.targetId.empty() || !done.insert(e.targetId).second)
                continue;
            const auto found = idAt.find(e.targetId);
            if (found == idAt.end())
                continue;
            const size_t at = found->second;
            const size_t lt = body.rfind('<', at);
            if (lt == std::string::npos)
                continue;
            std::string name = TagName(body, lt);
            bool emptyAnchor = false;
            if (name == "a") {
                // A bare anchor stands for the element that follows it.
                size_t q = TagEnd(body, lt);
                if (q != std::string::npos && body.compare(q, 4, "</a>") == 0) {
                    emptyAnchor = true;
                    q += 4;
                    while (q < body.size() && IsSpace(body[q]))
                        ++q;
                    if (q < body.size() && body[q] == '<')
                        name = TagName(body, q);
                }
            }
            if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')
                continue;
            css += "[id=" + CssString(e.targetId) + "] { ";
            if (emptyAnchor)
                css += "display: block; ";
            css += "bookmark-level: " + std::to_string(e.level) + "; bookmark-label: " + CssString(e.label) + "; }\n";
        }
        return css;
    }
};

bool IsRtlLetter(uint32_t cp)
{
    return (cp >= 0x0590 && cp <= 0x08FF) || (cp >= 0xFB1D && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF);
}

bool IsLetter(uint32_t cp)
{
    if (cp < 0x80)
        return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
    // Rough: everything past Latin-1 punctuation that is not a space or symbol block.
    return cp >= 0xC0 && !(cp >= 0x2000 && cp <= 0x2BFF) && cp != 0xFFFD && !(cp >= 0x3000 && cp <= 0x303F);
}

} // namespace

AssembledHtml AssembleHtml(const BookContent &book, const std::string &fallbackTitle)
{
    return Assembler(book).Run(fallbackTitle);
}

bool IsMostlyRightToLeft(const BookContent &book)
{
    size_t rtl = 0, letters = 0;
    for (const auto &[name, text] : book.parts) {
        bool inTag = false;
        for (size_t pos = 0; pos < text.size();) {
            const char c = text[pos];
            if (c == '<' || c == '>') {
                inTag = c == '<';
                ++pos;
                continue;
            }
            const uint32_t cp = NextCodePoint(text, pos);
            if (inTag || !IsLetter(cp))
                continue;
            ++letters;
            rtl += IsRtlLetter(cp);
        }
    }
    return letters > 0 && rtl * 2 > letters;
}

} // namespace m2h
