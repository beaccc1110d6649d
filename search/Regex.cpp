#include "search/Regex.h"

#include <new>

namespace {

// Backtrack entries allowed before a match gives up (256 MB of stack).
constexpr std::size_t kMaxStackEntries = std::size_t(1) << 26;

// Instructions one Match may run: plenty for any linear scan, but a failing
// "(.|\n)*?" explores both branches at every line feed, which doubles the
// work per line feed; past this budget the match gives up instead of hanging.
constexpr long long kBaseSteps = 20'000'000;
constexpr long long kStepsPerCharacter = 64;

struct Abbreviation {
    char16_t letter;
    const char16_t* expansion;
};

// Searched in this order; each expansion is compiled as one quantified atom,
// so only the double-quoted half of q ever takes effect.
const Abbreviation kAbbreviations[] = {
    {u'a', u"([a-zA-Z0-9])"},
    {u'b', u"([ \\t])"},
    {u'c', u"([a-zA-Z])"},
    {u'd', u"([0-9])"},
    {u'h', u"([0-9a-fA-F])"},
    {u'n', u"(\r|(\r?\n))"},
    {u'q', u"(\"[^\"]*\")|('[^']*')"},
    {u'w', u"([a-zA-Z]+)"},
    {u'z', u"([0-9]+)"},
};

inline char16_t Fold(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

inline bool IsCloser(char16_t c)
{
    return c == u')' || c == u']' || c == u'}';
}

inline bool TakesTarget(RegexOp op)
{
    return op == RegexOp::Call || op == RegexOp::Jump || op == RegexOp::RangeSet
        || op == RegexOp::NotRangeSet;
}

} // namespace

// Compiles into position-independent fragments (targets relative to the
// fragment start) that are relocated when placed, so every atom is compiled
// once however its quantifier or a following "|" shapes the code around it.
class Regex::Compiler {
public:
    Compiler(Regex& regex, QStringView source) : re(regex), src(source) {}

    RegexError CompileTop(Fragment& out)
    {
        return Sequence(out);   // stops at a closer; the rest is ignored
    }

    RegexError QuantifiedAtomOnly(Fragment& out) { return QuantifiedAtom(out); }

    qsizetype pos = 0;

private:
    Regex& re;
    QStringView src;

    bool AtEnd() const { return pos >= src.size(); }
    char16_t Peek() const { return src[pos].unicode(); }

    static void Emit(Fragment& f, RegexOp op, int arg = 0) { f.code.push_back({op, arg}); }

    static void Append(Fragment& to, const Fragment& from)
    {
        const int base = int(to.code.size());
        for (RegexInstruction ins : from.code) {
            if (TakesTarget(ins.kind))
                ins.arg += base;
            to.code.push_back(ins);
        }
    }

    RegexError Sequence(Fragment& out)
    {
        out.canBeEmpty = true;
        while (!AtEnd() && !IsCloser(Peek())) {
            Fragment element;
            if (RegexError err = Element(element))
                return err;
            Append(out, element);
            out.canBeEmpty = out.canBeEmpty && element.canBeEmpty;
        }
        return ErrNone;
    }

    // A quantified atom, or two joined by "|" (the right side may chain on).
    RegexError Element(Fragment& out)
    {
        const int groupsBefore = re.groupCount;
        const int slotsBefore = re.slotCount;
        Fragment x;
        if (RegexError err = QuantifiedAtom(x))
            return err;
        if (AtEnd() || Peek() != u'|') {
            out = std::move(x);
            return ErrNone;
        }
        ++pos;
        Fragment y;
        if (!AtEnd() && !IsCloser(Peek())) {
            if (RegexError err = Element(y))
                return err;
        }
        if (y.code.empty()) {
            // Nothing after "|": the whole alternation compiles to nothing.
            re.groupCount = groupsBefore;
            re.slotCount = slotsBefore;
            out = Fragment{{}, true};
            return ErrNone;
        }
        const int xSize = int(x.code.size());
        Emit(out, RegexOp::PushPos);
        Emit(out, RegexOp::Call, 4);
        Emit(out, RegexOp::PopPos);
        Emit(out, RegexOp::Jump, 4 + xSize + 1);
        Append(out, x);
        const int jumpAfter = int(out.code.size());
        Emit(out, RegexOp::Jump);
        Append(out, y);
        out.code[jumpAfter].arg = int(out.code.size());
        out.canBeEmpty = x.canBeEmpty || y.canBeEmpty;
        return ErrNone;
    }

    RegexError QuantifiedAtom(Fragment& out)
    {
        Fragment x;
        if (RegexError err = Atom(x))
            return err;
        if (AtEnd()) {
            out = std::move(x);
            return ErrNone;
        }
        const char16_t q = Peek();
        if (q != u'*' && q != u'+' && q != u'?') {
            out = std::move(x);
            return ErrNone;
        }
        ++pos;
        const bool lazy = !AtEnd() && Peek() == u'?';
        if (lazy)
            ++pos;
        if (q != u'?' && x.canBeEmpty)
            return ErrEmptyRepeat;

        if (q == u'+') {
            Append(out, x);   // the second copy reuses the same group numbers
            Fragment rest;
            if (lazy)
                LazyStar(rest, x);
            else
                Star(rest, x, true);
            Append(out, rest);
            out.canBeEmpty = false;
        } else if (q == u'*') {
            if (lazy)
                LazyStar(out, x);
            else
                Star(out, x, true);
            out.canBeEmpty = true;
        } else if (lazy) {
            // Try the continuation first, then the atom. The call lands just
            // past the whole atom (not inside its code) so groups and classes
            // can be skipped as well.
            Emit(out, RegexOp::Call, 1 + int(x.code.size()));
            Append(out, x);
            out.canBeEmpty = true;
        } else {
            Star(out, x, false);
            out.canBeEmpty = true;
        }
        return ErrNone;
    }

    void Star(Fragment& out, const Fragment& x, bool repeat)
    {
        const int slot = re.slotCount++;
        const int m = int(x.code.size());
        const int after = 7 + m + (repeat ? 3 : 2);
        Emit(out, RegexOp::PushSlot, slot);
        Emit(out, RegexOp::SavePos, slot);
        Emit(out, RegexOp::PushPos);
        Emit(out, RegexOp::Call, 7);
        Emit(out, RegexOp::PopPos);
        Emit(out, RegexOp::PopSlot, slot);
        Emit(out, RegexOp::Jump, after);
        Append(out, x);
        Emit(out, RegexOp::FailIfNoProgress, slot);
        Emit(out, RegexOp::SavePos, slot);
        if (repeat)
            Emit(out, RegexOp::Jump, 0);
    }

    static void LazyStar(Fragment& out, const Fragment& x)
    {
        const int m = int(x.code.size());
        Emit(out, RegexOp::Call, 1 + m + 1);
        Append(out, x);
        Emit(out, RegexOp::Jump, 0);
    }

    RegexError Atom(Fragment& out)
    {
        const char16_t c = Peek();
        switch (c) {
        case u'(': {
            ++pos;
            Fragment x;
            if (RegexError err = Sequence(x))
                return err;
            if (AtEnd() || Peek() != u')')
                return ErrMissingParen;
            ++pos;
            if (x.code.empty())
                Emit(x, RegexOp::Nop);
            Emit(out, RegexOp::Call, 2);
            Emit(out, RegexOp::Return);
            Append(out, x);
            out.canBeEmpty = x.canBeEmpty;
            return ErrNone;
        }
        case u'{': {
            ++pos;
            const int group = re.groupCount++;
            Fragment x;
            if (RegexError err = Sequence(x))
                return err;
            if (AtEnd() || Peek() != u'}')
                return ErrMissingBrace;
            ++pos;
            Emit(out, RegexOp::PushGroup, group);
            Emit(out, RegexOp::GroupOpen, group);
            Emit(out, RegexOp::Call, 5);
            Emit(out, RegexOp::PopGroup, group);
            Emit(out, RegexOp::Return);
            Append(out, x);
            Emit(out, RegexOp::GroupClose, group);
            out.canBeEmpty = x.canBeEmpty;
            return ErrNone;
        }
        case u'[':
            return Set(out);
        case u'.':
            ++pos;
            Emit(out, RegexOp::AnyChar);
            return ErrNone;
        case u'!': {
            ++pos;
            if (AtEnd() || IsCloser(Peek())) {
                Emit(out, RegexOp::Char, u'!');   // nothing to negate
                return ErrNone;
            }
            const int savedPos = re.slotCount++;
            const int savedDepth = re.slotCount++;
            Fragment x;
            if (RegexError err = Atom(x))
                return err;
            const int m = int(x.code.size());
            Emit(out, RegexOp::SavePos, savedPos);
            Emit(out, RegexOp::SaveDepth, savedDepth);
            Emit(out, RegexOp::Call, 6);
            Emit(out, RegexOp::LoadPos, savedPos);
            Emit(out, RegexOp::LoadDepth, savedDepth);
            Emit(out, RegexOp::Jump, 6 + m + 3);
            Append(out, x);
            Emit(out, RegexOp::LoadPos, savedPos);
            Emit(out, RegexOp::LoadDepth, savedDepth);
            Emit(out, RegexOp::Return);
            out.canBeEmpty = true;
            return ErrNone;
        }
        case u'\\':
            return Escape(out);
        case u'$':
            ++pos;
            if (pos == src.size()) {
                Emit(out, RegexOp::Char, 0);   // the end of the text
                out.canBeEmpty = true;
            } else {
                Emit(out, RegexOp::Char, u'$');
            }
            return ErrNone;
        default:
            ++pos;
            Emit(out, RegexOp::Char, c);
            return ErrNone;
        }
    }

    RegexError Escape(Fragment& out)
    {
        ++pos;
        if (AtEnd()) {
            Emit(out, RegexOp::Char, u'\\');
            return ErrNone;
        }
        const char16_t c = Peek();
        if (c >= u'0' && c <= u'9') {
            long long group = 0;
            while (!AtEnd() && Peek() >= u'0' && Peek() <= u'9') {
                if (group < 1000000000)
                    group = group * 10 + (Peek() - u'0');
                ++pos;
            }
            if (group >= re.groupCount)
                return ErrBadBackReference;
            Emit(out, RegexOp::BackRef, int(group));
            out.canBeEmpty = true;   // the group may have captured nothing
            return ErrNone;
        }
        ++pos;
        for (const Abbreviation& a : kAbbreviations) {
            if (a.letter != c)
                continue;
            Compiler sub(re, QStringView(a.expansion));
            if (sub.QuantifiedAtomOnly(out) != ErrNone)
                return ErrBadAbbreviation;
            return ErrNone;
        }
        Emit(out, RegexOp::Char, c);
        return ErrNone;
    }

    RegexError Set(Fragment& out)
    {
        ++pos;
        bool negated = false;
        if (!AtEnd() && Peek() == u'^') {
            negated = true;
            ++pos;
        }
        if (AtEnd())
            return ErrMissingBracket;
        if (Peek() == u']')
            return ErrEmptyClass;
        Emit(out, negated ? RegexOp::NotRangeSet : RegexOp::RangeSet);
        for (;;) {
            if (AtEnd())
                return ErrMissingBracket;
            char16_t low = Peek();
            if (low == u']') {
                ++pos;
                break;
            }
            if (low == u'\\') {
                ++pos;
                if (AtEnd())
                    return ErrMissingBracket;
                low = Peek() == u't' ? u'\t' : Peek();
            }
            ++pos;
            char16_t high = low;
            if (!AtEnd() && Peek() == u'-') {
                ++pos;
                if (AtEnd())
                    return ErrMissingBracket;
                high = Peek();   // always literal, so [a-] lacks its "]"
                ++pos;
                if (AtEnd())
                    return ErrMissingBracket;
                if (high < low)
                    return ErrBadRange;
            }
            Emit(out, RegexOp::Nop, low);
            Emit(out, RegexOp::Nop, high);
        }
        out.code[0].arg = int(out.code.size());
        return ErrNone;
    }
};

RegexError Regex::Parse(const QString& pattern, bool caseSens)
{
    instructions.clear();
    groupCount = 0;
    slotCount = 0;
    anchored = false;
    caseSensitive = caseSens;
    if (pattern.isNull())
        return error = ErrNullPattern;
    try {
        QString work = pattern;
        const qsizetype nul = work.indexOf(QChar(0));
        if (nul >= 0)
            work.truncate(nul);
        if (!caseSensitive) {
            for (QChar& ch : work)
                ch = QChar(Fold(ch.unicode()));
        }
        Compiler compiler(*this, work);
        Fragment program;
        program.code.push_back({RegexOp::Call, 2});
        if (work.startsWith(u'^')) {
            anchored = true;
            compiler.pos = 1;
            program.code.push_back({RegexOp::NoMatch, 0});
        } else {
            program.code.push_back({RegexOp::Advance, 0});
        }
        Fragment body;
        if (RegexError err = compiler.CompileTop(body)) {
            instructions.clear();
            return error = err;
        }
        for (RegexInstruction ins : body.code) {
            if (TakesTarget(ins.kind))
                ins.arg += 2;
            program.code.push_back(ins);
        }
        program.code.push_back({RegexOp::Accept, 0});
        instructions = std::move(program.code);
    } catch (const std::bad_alloc&) {
        instructions.clear();
        return error = ErrNoMemory;
    }
    return error = ErrNone;
}

bool Regex::Match(QStringView text, RegexMatchContext& context, int* end) const
{
    return Match(text, 0, context, end);
}

bool Regex::Match(QStringView text, int from, RegexMatchContext& ctx, int* end) const
{
    ctx.matchStart = ctx.matchEnd = -1;
    ctx.firstOpenStart = -1;
    ctx.overflow = false;
    if (error != ErrNone || instructions.empty())
        return false;

    const char16_t* s = reinterpret_cast<const char16_t*>(text.data());
    const int len = int(text.size());
    const bool fold = !caseSensitive;
    auto at = [&](int i) { return fold ? Fold(s[i]) : s[i]; };

    ctx.groups.assign(std::size_t(groupCount) * 2, -1);
    ctx.slotValues.assign(std::size_t(slotCount), 0);
    std::vector<int>& stack = ctx.stack;
    stack.clear();

    // An unanchored program that starts with a plain character can skip
    // start positions holding another character without running.
    const RegexInstruction* code = instructions.data();
    const char16_t lead = (!anchored && code[2].kind == RegexOp::Char && code[2].arg != 0)
        ? char16_t(code[2].arg) : char16_t(0);

    int r = from;
    int p = r;
    int ip = 0;
    bool touchedEnd = false;
    long long steps = kBaseSteps + kStepsPerCharacter * len;

    try {
        for (;;) {
            if (--steps < 0) {
                ctx.overflow = true;
                return false;
            }
            const RegexInstruction& ins = code[ip];
            bool ok = true;
            switch (ins.kind) {
            case RegexOp::Nop:
                ++ip;
                break;
            case RegexOp::GroupOpen:
                ctx.groups[std::size_t(ins.arg) * 2] = p;
                ++ip;
                break;
            case RegexOp::GroupClose:
                ctx.groups[std::size_t(ins.arg) * 2 + 1] = p;
                ++ip;
                break;
            case RegexOp::Char:
                if (p >= len) {
                    touchedEnd = true;
                    ok = ins.arg == 0;   // "$" matches only here, consuming nothing
                } else {
                    ok = ins.arg != 0 && at(p) == ins.arg;
                    if (ok)
                        ++p;
                }
                ++ip;
                break;
            case RegexOp::AnyChar:
                if (p >= len) {
                    touchedEnd = true;
                    ok = false;
                } else {
                    ++p;
                    ++ip;
                }
                break;
            case RegexOp::RangeSet:
            case RegexOp::NotRangeSet: {
                if (p >= len) {
                    touchedEnd = true;
                    ok = false;
                    break;
                }
                const int ch = at(p);
                bool inSet = false;
                for (int i = ip + 1; i + 1 < ins.arg; i += 2) {
                    if (ch >= code[i].arg && ch <= code[i + 1].arg) {
                        inSet = true;
                        break;
                    }
                }
                ok = inSet == (ins.kind == RegexOp::RangeSet);
                if (ok) {
                    ++p;
                    ip = ins.arg;
                }
                break;
            }
            case RegexOp::Jump:
                ip = ins.arg;
                break;
            case RegexOp::PushPos:
                stack.push_back(p);
                ++ip;
                break;
            case RegexOp::PopPos:
                if (stack.empty())
                    return false;
                p = stack.back();
                stack.pop_back();
                ++ip;
                break;
            case RegexOp::Call:
                if (ip == 0)
                    ctx.matchStart = p;
                stack.push_back(ip + 1);
                ip = ins.arg;
                break;
            case RegexOp::Return:
                ok = false;
                break;
            case RegexOp::PushSlot:
                stack.push_back(ctx.slotValues[std::size_t(ins.arg)]);
                ++ip;
                break;
            case RegexOp::PopSlot:
                if (stack.empty())
                    return false;
                ctx.slotValues[std::size_t(ins.arg)] = stack.back();
                stack.pop_back();
                ++ip;
                break;
            case RegexOp::SavePos:
                ctx.slotValues[std::size_t(ins.arg)] = p;
                ++ip;
                break;
            case RegexOp::SaveDepth:
                ctx.slotValues[std::size_t(ins.arg)] = int(stack.size());
                ++ip;
                break;
            case RegexOp::LoadPos:
                p = ctx.slotValues[std::size_t(ins.arg)];
                ++ip;
                break;
            case RegexOp::LoadDepth: {
                const std::size_t depth = std::size_t(ctx.slotValues[std::size_t(ins.arg)]);
                if (depth < stack.size())
                    stack.resize(depth);
                ++ip;
                break;
            }
            case RegexOp::FailIfNoProgress:
                ok = p != ctx.slotValues[std::size_t(ins.arg)];
                ++ip;
                break;
            case RegexOp::BackRef: {
                const int gs = ctx.groups[std::size_t(ins.arg) * 2];
                const int ge = ctx.groups[std::size_t(ins.arg) * 2 + 1];
                const int glen = (gs < 0 || ge < gs) ? 0 : ge - gs;
                for (int i = 0; ok && i < glen; ++i) {
                    if (p + i >= len) {
                        touchedEnd = true;
                        ok = false;
                    } else {
                        ok = at(p + i) == at(gs + i);
                    }
                }
                if (ok)
                    p += glen;
                ++ip;
                break;
            }
            case RegexOp::NoMatch:
                if (touchedEnd && ctx.firstOpenStart < 0)
                    ctx.firstOpenStart = r;
                return false;
            case RegexOp::Advance:
                if (touchedEnd && ctx.firstOpenStart < 0)
                    ctx.firstOpenStart = r;
                touchedEnd = false;
                ++r;
                if (lead) {
                    while (r < len && at(r) != lead)
                        ++r;
                }
                if (r >= len)
                    return false;
                stack.clear();
                p = r;
                ip = 0;
                break;
            case RegexOp::Accept:
                ctx.matchEnd = p;
                if (end)
                    *end = p;
                return true;
            case RegexOp::PushGroup:
                stack.push_back(ctx.groups[std::size_t(ins.arg) * 2]);
                stack.push_back(ctx.groups[std::size_t(ins.arg) * 2 + 1]);
                ++ip;
                break;
            case RegexOp::PopGroup:
                if (stack.size() < 2)
                    return false;
                ctx.groups[std::size_t(ins.arg) * 2 + 1] = stack.back();
                stack.pop_back();
                ctx.groups[std::size_t(ins.arg) * 2] = stack.back();
                stack.pop_back();
                ++ip;
                break;
            }
            if (!ok) {
                // Backtrack: continue at the last untried choice. The text
                // position is left where the failure happened.
                if (stack.empty()) {
                    ip = 1;
                } else {
                    ip = stack.back();
                    stack.pop_back();
                }
            }
            if (stack.size() > kMaxStackEntries) {
                ctx.overflow = true;
                return false;
            }
        }
    } catch (const std::bad_alloc&) {
        ctx.overflow = true;
        return false;
    }
}
