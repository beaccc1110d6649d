#pragma once

#include "search/RegexMatchContext.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <vector>

// Result of compiling a pattern.
enum RegexError {
    ErrNone = 0,
    ErrNoMemory = 1,
    ErrMissingBrace = 2,
    ErrMissingParen = 3,
    ErrMissingBracket = 4,
    ErrBadAbbreviation = 5,
    ErrEmptyClass = 6,
    ErrBadBackReference = 7,
    ErrBadRange = 8,
    ErrEmptyRepeat = 9,
    ErrNullPattern = 10,
};

enum class RegexOp : std::uint8_t {
    Nop, GroupOpen, GroupClose, Char, AnyChar, RangeSet, NotRangeSet, Jump,
    PushPos, PopPos, Call, Return, PushSlot, PopSlot, SavePos, SaveDepth,
    LoadPos, LoadDepth, FailIfNoProgress, BackRef, NoMatch, Advance, Accept,
    PushGroup, PopGroup,
};

// One instruction: a kind and one argument (a character, an instruction
// index, a group or a slot number, depending on the kind).
struct RegexInstruction {
    RegexOp kind = RegexOp::Nop;
    int arg = 0;
};

// A pattern compiled into a flat program for a backtracking stack machine.
// Dialect: "." matches line breaks too, "|" alternates the single quantified
// atoms on either side, "( )" only groups, "{ }" captures, "!" negates the
// next atom, "\" + letter is an abbreviation, "\" + digits a back reference.
class Regex {
public:
    RegexError Parse(const QString& pattern, bool caseSensitive);

    // Runs the program over text, trying start positions from `from` on.
    // Positions in the context and in `end` count from the start of text.
    bool Match(QStringView text, RegexMatchContext& context, int* end) const;
    bool Match(QStringView text, int from, RegexMatchContext& context, int* end) const;

    bool IsAnchored() const { return anchored; }

    RegexError error = ErrNullPattern;
    std::vector<RegexInstruction> instructions;
    int groupCount = 0;
    int slotCount = 0;
    bool caseSensitive = true;

private:
    struct Fragment {
        std::vector<RegexInstruction> code;
        bool canBeEmpty = false;
    };

    class Compiler;
    bool anchored = false;
};
