#include "base/ConversionOptions.h"
#include "search/CollectMatches.h"
#include "search/Regex.h"

#include <gtest/gtest.h>

namespace {

struct MatchCase {
    const char16_t* pattern;
    const char16_t* text;
    bool caseSensitive;
    int position;   // -1: no match
    int length;
};

// First match of pattern in text, as the searcher sees it.
std::pair<int, int> FirstMatch(const QString& pattern, const QString& text, bool caseSensitive)
{
    QStringList texts;
    QList<int> positions, lengths;
    if (!CollectMatches(pattern, text, true, caseSensitive, texts, positions, lengths)
        || texts.isEmpty())
        return {-1, 0};
    return {positions.first(), lengths.first()};
}

} // namespace

TEST(Regex, FindsTheDocumentedMatches)
{
    const MatchCase cases[] = {
        // "|" binds to the single atoms around it.
        {u"ab|cd", u"abd", true, 0, 3},
        {u"ab|cd", u"acd", true, 0, 3},
        {u"ab|cd", u"cd", true, -1, 0},
        {u"(ab)|(cd)", u"xcd", true, 1, 2},
        {u"ab|", u"xab", true, 1, 1},              // nothing after "|": the alternation is dropped
        {u"|a", u"x|a", true, 1, 2},               // "|" with nothing before is a character
        {u"<(.|\n)*?>", u"x<b>y", true, 1, 3},
        {u"<A HREF=", u"x<a href=y", false, 1, 8},
        {u"<A HREF=", u"x<a href=y", true, -1, 0},
        {u"[A-Z]+", u"12abc3", false, 2, 3},
        {u"\\d+", u"x42y", true, 1, 2},
        {u"\\q", u"say \"hi\" now", true, 4, 4},
        {u"\\q", u"say 'hi' now", true, -1, 0},
        {u"\\w", u"12 abc!", true, 3, 3},
        {u"\\z", u"ab 0123 c", true, 3, 4},
        {u"\\h\\h", u"xx0F", true, 2, 2},
        {u"\\a\\c", u"--9z", true, 2, 2},
        {u"x\\by", u"x\ty", true, 0, 3},
        {u"a\\nb", u"a\r\nb", true, 0, 4},
        {u"a\\nb", u"a\rb", true, 0, 3},
        {u"a\\nb", u"a\nb", true, 0, 3},
        {u"\\D", u"xd5", false, 2, 1},             // ignoring case, \D reads as \d
        {u"\\t", u"a t", true, 2, 1},              // outside a set \t is the letter
        {u"[\\t]", u"a\tb", true, 1, 1},
        {u"\\.", u"ab.c", true, 2, 1},
        {u"[\\]]", u"a]b", true, 1, 1},
        {u"abc)def", u"xabcdef", true, 1, 3},
        // Lazy repetition resumes where the continuation's partial match stopped.
        {u"a.*?bc", u"abbc", true, -1, 0},
        {u"a.*?bc", u"abbc abc", true, 0, 8},
        {u"a.*?c", u"xabcbc", true, 1, 3},
        {u"a.*c", u"xabcbc", true, 1, 5},
        {u"a**", u"aa*", true, 0, 3},
        {u"a+?", u"aaa", true, 0, 1},
        {u"ba??", u"baa", true, 0, 1},
        {u"ba?", u"baa", true, 0, 2},
        {u"(ab)??c", u"abc", true, 0, 3},
        {u"[^<]*?<", u"ab<", true, 0, 3},
        {u"a!bc", u"abc ac", true, 4, 2},
        {u"{a+}-\\0", u"aa-aa", true, 0, 5},
        {u"{a+}-\\0", u"aa-a", true, 1, 3},
        {u"{ab}\\0", u"xabAB", false, 1, 4},
        {u"ab$", u"abxab", true, 3, 2},
        {u"ab$", u"abx", true, -1, 0},
        {u"a$b", u"a$b", true, 0, 3},              // "$" not at the end is a character
        {u"^ab", u"xab", true, -1, 0},
        {u"^ab", u"abx", true, 0, 2},
        {u"x^", u"ax^", true, 1, 2},
    };
    for (const MatchCase& c : cases) {
        const QString pattern = QString::fromUtf16(c.pattern);
        const QString text = QString::fromUtf16(c.text);
        const auto [position, length] = FirstMatch(pattern, text, c.caseSensitive);
        EXPECT_EQ(position, c.position) << pattern.toStdString() << " in " << text.toStdString();
        if (c.position >= 0) {
            EXPECT_EQ(length, c.length) << pattern.toStdString() << " in " << text.toStdString();
        }
    }
}

TEST(Regex, ReportsCompileErrors)
{
    const struct {
        const char16_t* pattern;
        RegexError error;
    } cases[] = {
        {u"[a-]", ErrMissingBracket},
        {u"[abc", ErrMissingBracket},
        {u"[", ErrMissingBracket},
        {u"[]", ErrEmptyClass},
        {u"[^]", ErrEmptyClass},
        {u"[z-a]", ErrBadRange},
        {u"(a*)*", ErrEmptyRepeat},
        {u"(a?)+", ErrEmptyRepeat},
        {u"!a*", ErrEmptyRepeat},
        {u"(ab", ErrMissingParen},
        {u"(ab}", ErrMissingParen},
        {u"{ab", ErrMissingBrace},
        {u"\\1", ErrBadBackReference},
        {u"{a}\\1", ErrBadBackReference},
        {u"a**", ErrNone},
        {u"(a*)?", ErrNone},
        {u"{a}\\0", ErrNone},
        {u"abc)def", ErrNone},
    };
    for (const auto& c : cases) {
        Regex regex;
        EXPECT_EQ(regex.Parse(QString::fromUtf16(c.pattern), true), c.error)
            << QString::fromUtf16(c.pattern).toStdString();
    }
    Regex regex;
    EXPECT_EQ(regex.Parse(QString(), true), ErrNullPattern);
}

TEST(Regex, ReportsMatchedTextAndGroupsInTheCallersCase)
{
    Regex regex;
    ASSERT_EQ(regex.Parse(QStringLiteral("<a {[a-z]+}>"), false), ErrNone);
    RegexMatchContext context;
    int end = 0;
    const QString text = QStringLiteral("x<A HREF>y");
    ASSERT_TRUE(regex.Match(text, context, &end));
    EXPECT_EQ(context.matchStart, 1);
    EXPECT_EQ(end, 9);
    ASSERT_EQ(context.groups.size(), 2u);
    EXPECT_EQ(text.mid(context.groups[0], context.groups[1] - context.groups[0]),
              QStringLiteral("HREF"));
}

TEST(CollectMatches, SkipsRepeatedTextsUnderTheSearchCaseRule)
{
    for (const bool caseSensitive : {true, false}) {
        QStringList texts;
        QList<int> positions, lengths;
        ASSERT_TRUE(CollectMatches(QStringLiteral("<b>"), QStringLiteral("<b>x<b>y<B>"), false,
                                   caseSensitive, texts, positions, lengths));
        EXPECT_EQ(texts, QStringList{QStringLiteral("<b>")});
        EXPECT_EQ(positions, QList<int>{0});
    }

    QStringList texts{QStringLiteral("stale")};
    QList<int> positions, lengths;
    EXPECT_FALSE(CollectMatches(QString(), QStringLiteral("x"), false, true, texts, positions, lengths));
    EXPECT_TRUE(texts.isEmpty());
    EXPECT_FALSE(CollectMatches(QStringLiteral("x"), QString(), false, true, texts, positions, lengths));
    EXPECT_FALSE(CollectMatches(QStringLiteral("[x"), QStringLiteral("x"), false, true, texts, positions, lengths));
    EXPECT_TRUE(CollectMatches(QStringLiteral("y"), QStringLiteral("x"), false, true, texts, positions, lengths));
    EXPECT_TRUE(texts.isEmpty());
}

TEST(CollectMatches, MovesOnAfterEmptyMatches)
{
    QStringList texts;
    QList<int> positions, lengths;
    ASSERT_TRUE(CollectMatches(QStringLiteral("a*"), QStringLiteral("baab"), false, true, texts,
                               positions, lengths));
    // The empty text at 0, then "aa" at 1; later empty matches repeat the first text.
    EXPECT_EQ(texts, (QStringList{QString(), QStringLiteral("aa")}));
    EXPECT_EQ(positions, (QList<int>{0, 1}));
}

TEST(Regex, PageHeaderPatternsOfTheOptions)
{
    ConversionOptions options(QStringLiteral("a.azw"), QStringLiteral("a.epub"));
    const QString number = UnescapeControls(options.numberPattern->pattern);
    const QString heading = UnescapeControls(options.headingPattern->pattern);
    const struct {
        const QString& pattern;
        const char16_t* text;
        int length;   // -1: no match at 0
    } cases[] = {
        {number, u"<b>XIV</b><br>", 14},
        {number, u"<b></b><br>", 11},
        {number, u"<b>14</b><br>", 13},
        {number, u"<b>14a</b><br>", -1},
        {heading, u"<b>3</b><br>\r\nThe Storm<br>\r\n", 29},
        {heading, u"The Storm<br>\r\n<b>3</b><br>\r\n", 29},
        {heading, u"<b>3</b><br>\nThe Storm<br>\n", -1},
        {heading, u"The Storm<br>\n<b>3</b><br>\n", -1},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        const auto [position, length] = FirstMatch(c.pattern, text, false);
        if (c.length < 0) {
            EXPECT_EQ(position, -1) << text.toStdString();
        } else {
            EXPECT_EQ(position, 0) << text.toStdString();
            EXPECT_EQ(length, c.length) << text.toStdString();
        }
    }
}

TEST(Regex, LongTextsNeedNoDeepRecursion)
{
    const int n = 10 * 1024 * 1024;
    QString open = QStringLiteral("<hr") + QString(n, QLatin1Char('x'));
    EXPECT_EQ(FirstMatch(QStringLiteral("<hr(.|\n)*?>"), open, false).first, -1);

    open.append(QLatin1Char('>'));
    const auto [position, length] = FirstMatch(QStringLiteral("<hr(.|\n)*?>"), open, false);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(length, open.size());

    const QString plain(n, QLatin1Char('y'));
    EXPECT_EQ(FirstMatch(QStringLiteral("<hr(.|\n)*?>"), plain, false).first, -1);
    EXPECT_EQ(FirstMatch(QStringLiteral("y[^<]*?z"), plain.left(4096), true).first, -1);
}

TEST(Regex, RunawayBacktrackingGivesUpInsteadOfHanging)
{
    // Each line feed doubles the work of a failing "(.|\n)*?" attempt.
    QString text = QStringLiteral("<hr");
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("x\n");
    Regex regex;
    ASSERT_EQ(regex.Parse(QStringLiteral("<hr(.|\n)*?>"), false), ErrNone);
    RegexMatchContext context;
    int end = 0;
    EXPECT_FALSE(regex.Match(text, context, &end));
    EXPECT_TRUE(context.overflow);

    // A few line feeds are explored in full and the answer stays exact.
    const QString few = QStringLiteral("<hr\n\n\nx");
    EXPECT_FALSE(regex.Match(few, context, &end));
    EXPECT_FALSE(context.overflow);
    EXPECT_TRUE(regex.Match(few + QStringLiteral(">"), context, &end));
    EXPECT_EQ(end, few.size() + 1);
}
