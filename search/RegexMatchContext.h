#pragma once

#include <vector>

// State of one scan with a compiled Regex. The backtrack stack lives on the
// heap and keeps its grown size between the Match calls of a scan.
struct RegexMatchContext {
    RegexMatchContext() { stack.reserve(256); }

    int matchStart = -1;
    int matchEnd = -1;
    std::vector<int> groups;   // start and end per group, -1 for none
    std::vector<int> slotValues;   // one value per slot
    std::vector<int> stack;

    // First start position whose attempt looked at the end of the text, -1
    // when none did: a failed scan can resume there once more text exists.
    int firstOpenStart = -1;
    // Set when the match gave up: the backtrack stack hit its size cap or the
    // attempt ran past its work budget (runaway backtracking).
    bool overflow = false;
};
