#pragma once

#include <QString>

// What PatternSearcher::FindNext hands out: the text before the next match
// and the match itself.
struct ScanResult {
    QString before;    // from the consumed position to the match (or to the end)
    QString matched;   // empty when there is no further match
    bool atEnd = false;
};
