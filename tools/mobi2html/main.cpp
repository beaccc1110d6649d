// mobi2html <book> <output-folder>: writes <name>.html and the book's pictures into the folder.
#include "HtmlAssembler.h"
#include "MobiBook.h"
#include "PngFlatten.h"
#include "TextUtil.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using namespace m2h;

namespace {

// Everything this run created, removed again when the run fails.
class OutputGuard {
public:
    bool MakeFolder(const fs::path &folder, std::string &error)
    {
        std::vector<fs::path> missing;
        for (fs::path p = folder; !p.empty(); p = p.parent_path()) {
            std::error_code ec;
            if (fs::exists(p, ec))
                break;
            missing.push_back(p);
            if (p == p.parent_path())
                break;
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            std::error_code ec;
            if (!fs::create_directory(*it, ec) && ec) {
                error = "the output folder cannot be created (" + ec.message() + ")";
                return false;
            }
            folders.push_back(*it);
        }
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            error = "the output path is not a folder";
            return false;
        }
        return true;
    }

    bool Write(const fs::path &file, const std::string &data, std::string &error)
    {
        files.push_back(file);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) {
            error = "cannot write " + file.filename().string() + " (disk full or no permission)";
            return false;
        }
        return true;
    }

    bool Rename(const fs::path &from, const fs::path &to, std::string &error)
    {
        std::error_code ec;
        fs::rename(from, to, ec);
        if (ec) {
            error = "cannot write " + to.filename().string() + " (" + ec.message() + ")";
            return false;
        }
        files.push_back(to);
        return true;
    }

    void Commit() { committed = true; }

    ~OutputGuard()
    {
        if (committed)
            return;
        std::error_code ec;
        for (const fs::path &f : files)
            fs::remove(f, ec);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            fs::remove(*it, ec); // only removes a folder that is empty again
    }

private:
    std::vector<fs::path> files, folders;
    bool committed = false;
};

std::string RightToLeftLanguage(const std::string &language)
{
    const std::string l = ToLowerAscii(language.substr(0, language.find_first_of("-_")));
    if (l == "he" || l == "iw")
        return "Hebrew";
    if (l == "ar")
        return "Arabic";
    if (l == "fa")
        return "Persian";
    if (l == "ur")
        return "Urdu";
    if (l == "yi" || l == "ji")
        return "Yiddish";
    if (l == "ps" || l == "sd" || l == "ug" || l == "dv" || l == "ckb")
        return "a right-to-left script";
    return {};
}

int Fail(const std::string &book, const std::string &reason)
{
    std::fprintf(stderr, "mobi2html: %s: %s\n", book.c_str(), reason.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mobi2html <book> <output-folder>\n");
        return 2;
    }
    const fs::path bookPath = fs::u8path(argv[1]);
    const fs::path folder = fs::u8path(argv[2]);
    const std::string bookName = bookPath.filename().string();

    std::string error;
    std::optional<BookContent> book = LoadBook(argv[1], error);
    if (!book)
        return Fail(bookName, error);
    std::string rtl = RightToLeftLanguage(book->language);
    if (rtl.empty() && IsMostlyRightToLeft(*book))
        rtl = "a right-to-left script";
    if (!rtl.empty())
        return Fail(bookName, "the book is written right to left (" + rtl + "), which is not supported");

    const std::string stem = bookPath.stem().string().empty() ? bookName : bookPath.stem().string();
    AssembledHtml html = AssembleHtml(*book, stem);

    OutputGuard guard;
    if (!guard.MakeFolder(folder, error))
        return Fail(bookName, error);
    for (const auto &[uid, name] : html.pictures) {
        const Resource &res = book->resources.at(uid);
        const std::string data = res.extension == "png" ? FlattenPngOnWhite(res.data) : res.data;
        if (!guard.Write(folder / name, data, error))
            return Fail(bookName, error);
    }
    // The HTML appears under its name only when complete.
    const fs::path target = folder / (stem + ".html");
    const fs::path partial = folder / (stem + ".html.part");
    if (!guard.Write(partial, html.html, error) || !guard.Rename(partial, target, error))
        return Fail(bookName, error);
    guard.Commit();
    return 0;
}
