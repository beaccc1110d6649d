// Reads a MOBI/AZW book with libmobi into what the HTML writer needs.
#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace m2h {

struct Resource {
    std::string extension; // "jpg", "gif", "png", "bmp", "svg"; empty for anything that is not a picture
    std::string data;
};

struct TocEntry {
    int level = 1;        // 1 for a top-level entry
    std::string label;    // UTF-8
    std::string targetId; // id of the element the entry points at; empty when unknown
};

struct BookContent {
    std::string title, author, date, language; // UTF-8; date as found in the book
    bool kf8 = false;
    std::vector<std::pair<std::string, std::string>> parts; // file name ("part00000.html"), markup in reading order
    std::map<std::string, std::string> flows;               // file name ("flow00001.css"), CSS text
    std::map<size_t, Resource> resources;                   // by resource number
    std::optional<size_t> coverResource;
    std::vector<TocEntry> toc;
};

// Loads the book; on failure returns nothing and sets `error` to a plain reason.
std::optional<BookContent> LoadBook(const std::string &path, std::string &error);
// The same from an open file (read from its start).
std::optional<BookContent> LoadBook(FILE *file, std::string &error);

} // namespace m2h
