// Splitting Windows command lines and quoting arguments for them.
#include <gtest/gtest.h>

#include <vector>

#include "platform/CommandLine.h"

using namespace platform;

namespace {

std::vector<std::u16string> Split(const char16_t* line)
{
    std::vector<std::u16string> out;
    for (const CString& token : SplitCommandLine(line))
        out.push_back(token.Str());
    return out;
}

using Tokens = std::vector<std::u16string>;

} // namespace

TEST(CommandLineTest, ProgramTokenKeepsBackslashesAndDropsQuotes)
{
    EXPECT_EQ(Split(u"prog"), Tokens({u"prog"}));
    EXPECT_EQ(Split(u"\"/opt/my app/gpg\" --version"), Tokens({u"/opt/my app/gpg", u"--version"}));
    EXPECT_EQ(Split(u"C:\\dir\\prog.exe a"), Tokens({u"C:\\dir\\prog.exe", u"a"}));
    EXPECT_EQ(Split(u"\"C:\\dir\\\" a"), Tokens({u"C:\\dir\\", u"a"}));
    EXPECT_EQ(Split(u"\"a b\"c d"), Tokens({u"a bc", u"d"}));
    EXPECT_EQ(Split(u"  x"), Tokens({u"", u"x"}));
    EXPECT_TRUE(Split(u"").empty());
    EXPECT_TRUE(Split(u" \t ").empty());
}

TEST(CommandLineTest, ArgumentsFollowTheRuntimeRules)
{
    struct Case {
        const char16_t* line;
        Tokens args;
    } cases[] = {
        {u"p a b\tc", {u"a", u"b", u"c"}},
        {u"p   a    ", {u"a"}},
        {u"p \"a b\" c", {u"a b", u"c"}},
        {u"p a\"b c\"d", {u"ab cd"}},
        {u"p \"\"", {u""}},
        {u"p \"\" \"\"", {u"", u""}},
        {u"p \\\"a", {u"\"a"}},              // \"   -> "
        {u"p \\\\\"a b\"", {u"\\a b"}},      // \\"  -> \ and a quote that opens
        {u"p \\\\\\\"a", {u"\\\"a"}},        // \\\" -> \"
        {u"p a\\\\b", {u"a\\\\b"}},          // backslashes not before a quote stay
        {u"p a\\", {u"a\\"}},
        {u"p \"a\\\\\"", {u"a\\"}},          // "a\\" -> a\ (closing quote)
        {u"p \"a\"\"b\"", {u"a\"b"}},        // "" inside quotes -> one quote
        {u"p \"a\"\"\"", {u"a\""}},
        {u"p \"unterminated arg", {u"unterminated arg"}},
        {u"p Jürgen \"Müller ñ\" 日本", {u"Jürgen", u"Müller ñ", u"日本"}},
        {u"p --homedir \"/home/u/my \\\"keys\\\"\" --status-file \"/tmp/gpg1\"",
         {u"--homedir", u"/home/u/my \"keys\"", u"--status-file", u"/tmp/gpg1"}},
    };
    for (const Case& c : cases) {
        Tokens tokens = Split(c.line);
        ASSERT_FALSE(tokens.empty()) << CString(c.line).ToUtf8();
        EXPECT_EQ(tokens[0], u"p") << CString(c.line).ToUtf8();
        EXPECT_EQ(Tokens(tokens.begin() + 1, tokens.end()), c.args) << CString(c.line).ToUtf8();
    }
}

TEST(CommandLineTest, QuotedArgumentsSplitBackUnchanged)
{
    const char16_t* samples[] = {
        u"plain", u"", u"two words", u"tab\tin", u"q\"uote", u"\"", u"\\", u"ends\\",
        u"ends with blank\\", u"a\\\\\"b\\", u"\\\\server\\share\\", u"\"\"", u"ü ñ 日本 🙂",
    };
    for (bool always : {false, true}) {
        for (const char16_t* sample : samples) {
            CString line = u"p " + QuoteArgument(sample, always) + u" next";
            Tokens tokens = Split(line);
            ASSERT_EQ(tokens.size(), 3u) << line.ToUtf8();
            EXPECT_EQ(tokens[1], std::u16string(sample)) << line.ToUtf8();
            EXPECT_EQ(tokens[2], u"next");
        }
    }
    EXPECT_EQ(QuoteArgument(u"/home/anna/a.gpg", true), CString(u"\"/home/anna/a.gpg\""));
    EXPECT_EQ(QuoteArgument(u"plain"), CString(u"plain"));
    EXPECT_EQ(QuoteArgument(u"a\\b"), CString(u"a\\b"));
    EXPECT_EQ(QuoteArgument(u"a b\\"), CString(u"\"a b\\\\\""));
}
