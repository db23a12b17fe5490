// The argument splitter over the texts a user's shell or shortcut may hand us.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace vexlo::app {
namespace {

using Args = std::vector<std::wstring>;

// The arguments only, without the empty position 0.
Args Split(std::wstring_view text, int MaxArgs = kDefaultMaxArgs) {
    const Args list = ParseCommandLine(text, MaxArgs);
    EXPECT_FALSE(list.empty());
    EXPECT_TRUE(list.front().empty()) << "position 0 is never filled";
    return Args(list.begin() + 1, list.end());
}

TEST(ParseCommandLine, QuotesGroupAndSeparatorsSplit) {
    const struct {
        const char* name;
        std::wstring text;
        Args expected;
    } cases[] = {
        {"empty", L"", {}},
        {"blanks and tabs only", L"  \t \t", {}},
        {"quoted name with a blank", L"a.png \"my file.png\"", {L"a.png", L"my file.png"}},
        {"runs of separators", L"  one two   three\t", {L"one", L"two", L"three"}},
        {"quoted path", L"\"C:\\My Pics\\a.png\"", {L"C:\\My Pics\\a.png"}},
        {"word after a closing quote", L"\"x\"y", {L"x", L"y"}},
        {"quote inside a word", L"x\"y\"z", {L"x", L"yz"}},
        {"unclosed quote", L"x\"y z", {L"x", L"y z"}},
        {"empty quotes", L"\"\"", {L""}},
        {"empty quotes then a word", L"\"\" a", {L"", L"a"}},
        {"doubled quote inside a word", L"a\"\"b", {L"a", L"b"}},
        {"doubled quote inside quotes", L"\"a\"\"b\"", {L"a", L"b"}},
        {"backslash before a quote", L"a\\\"b", {L"a\\", L"b"}},
        {"tab inside quotes is kept", L"\"a\tb\"", {L"a\tb"}},
        {"line feed does not separate", L"one\ntwo", {L"one\ntwo"}},
        {"no-break space does not separate", L"one\u00a0two", {L"one\u00a0two"}},
        {"no trimming inside quotes", L"\" a \"", {L" a "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Split(c.text), c.expected);
    }
}

TEST(ParseCommandLine, ArgumentLimit) {
    std::wstring words;
    for (int i = 1; i <= 300; ++i) words += L"w" + std::to_wstring(i) + L" ";
    const Args first = Split(words);
    ASSERT_EQ(first.size(), 256u);
    EXPECT_EQ(first.front(), L"w1");
    EXPECT_EQ(first.back(), L"w256");

    EXPECT_EQ(Split(L"a b c", 2), (Args{L"a", L"b"}));
    EXPECT_EQ(Split(L"a b c", 0), Args{});
    // The last argument keeps its characters up to where argument 3 would begin.
    EXPECT_EQ(Split(L"a \"b c\"d e", 2), (Args{L"a", L"b c"}));
    EXPECT_EQ(Split(L"a b\"c d\"", 2), (Args{L"a", L"b"}));
}

TEST(ArgumentText, SkipsTheProgramNameQuotedOrNot) {
    const struct {
        std::wstring line;
        std::wstring expected;
    } cases[] = {
        {L"vexlo.exe a.png", L"a.png"},
        {L"\"C:\\Program Files\\vexlo\\vexlo.exe\"  \t\"a b.png\" c", L"\"a b.png\" c"},
        {L"\"C:\\x y\\vexlo.exe\"a.png", L"a.png"},
        {L"vexlo.exe", L""},
        {L"\"unterminated name", L""},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ArgumentText(c.line), c.expected) << c.line;
}

}  // namespace
}  // namespace vexlo::app
