#pragma once

#include <QString>

// Flag bits of a SearchPattern; no other bit has a meaning.
constexpr int PatternIgnoreCase = 0x01;      // letter case (A-Z only) is ignored
constexpr int PatternDropLineFeeds = 0x10;   // line feeds are removed before matching

// A template: an expression in which "(?<name>.*?)" marks a named lazy
// capture, with its search flags.
struct SearchPattern {
    QString text;
    int flags = 0;
};
