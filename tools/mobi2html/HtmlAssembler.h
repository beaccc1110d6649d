// Turns the parts of a book into one HTML document for the HTML-to-PDF step.
#pragma once

#include "MobiBook.h"

#include <map>
#include <string>

namespace m2h {

struct AssembledHtml {
    std::string html;
    std::map<size_t, std::string> pictures; // resource number -> file name beside the HTML
};

// `fallbackTitle` is used when the book names no title.
AssembledHtml AssembleHtml(const BookContent &book, const std::string &fallbackTitle);

// True when most letters of the book's text belong to a right-to-left script.
bool IsMostlyRightToLeft(const BookContent &book);

} // namespace m2h
