#include <gtest/gtest.h>

#include <climits>

#include "platform/CString.h"

namespace {

CString Fmt(const char16_t* format, ...)
{
    va_list args;
    va_start(args, format);
    CString s;
    s.FormatV(format, args);
    va_end(args);
    return s;
}

} // namespace

TEST(CStringUtf8, RoundTripsBmpAndSupplementaryCharacters)
{
    const char* text = "J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x94\x92"; // Jürgen € 🔒
    CString s = CString::FromUtf8(text);
    EXPECT_EQ(s.GetLength(), 11); // the padlock takes two UTF-16 units
    EXPECT_EQ(s[1], u'\u00FC');
    EXPECT_EQ(s.ToUtf8(), text);
}

TEST(CStringUtf8, MalformedInputBecomesReplacementCharacters)
{
    // A lone continuation byte, an overlong slash, a cut sequence at the end.
    CString s = CString::FromUtf8(std::string("a\x80" "b\xC0\xAF" "c\xE2\x82", 8));
    EXPECT_EQ(s.Left(2), CString(u"a\uFFFD"));
    EXPECT_EQ(s.Find(u'/'), -1);
    EXPECT_EQ(s.Right(1), CString(u"\uFFFD"));
    // A lone surrogate has no UTF-8 form and must not produce invalid bytes.
    CString lone(u"x\xD800y");
    EXPECT_EQ(lone.ToUtf8(), "x\xEF\xBF\xBDy");
}

TEST(CStringEditing, SearchesAndSlices)
{
    CString s(u"Anna <anna@example.org>");
    EXPECT_EQ(s.Find(u'<'), 5);
    EXPECT_EQ(s.Find(u"@ex"), 10);
    EXPECT_EQ(s.Find(u"zz"), -1);
    EXPECT_EQ(s.Find(u'a', 100), -1);
    EXPECT_EQ(s.ReverseFind(u'a'), 13);
    EXPECT_EQ(s.Mid(6, 4), CString(u"anna"));
    EXPECT_EQ(s.Mid(30), CString());
    EXPECT_EQ(s.Left(-3), CString());
    EXPECT_EQ(s.Right(4), CString(u"org>"));
    EXPECT_EQ(s.FindOneOf(u"@<"), 5);
}

TEST(CStringEditing, ReplaceDeleteInsertTrim)
{
    CString s(u"a%b%%c");
    EXPECT_EQ(s.Replace(u"%", u"%%"), 3);
    EXPECT_EQ(s, CString(u"a%%b%%%%c"));
    EXPECT_EQ(s.Replace(u"", u"x"), 0);
    s = u"  \t value \r\n";
    s.Trim();
    EXPECT_EQ(s, CString(u"value"));
    s.Insert(0, u"<");
    s.Insert(100, u'>');
    EXPECT_EQ(s, CString(u"<value>"));
    s.Delete(1, 100);
    EXPECT_EQ(s, CString(u"<"));
    CString path(u"//a//");
    path.TrimRight(u"/");
    EXPECT_EQ(path, CString(u"//a"));
}

TEST(CStringEditing, TokenizeSkipsEmptyPieces)
{
    CString s(u",1234ABCD,,00C0FFEE,");
    int pos = 0;
    EXPECT_EQ(s.Tokenize(u",", pos), CString(u"1234ABCD"));
    EXPECT_EQ(s.Tokenize(u",", pos), CString(u"00C0FFEE"));
    EXPECT_EQ(s.Tokenize(u",", pos), CString());
    EXPECT_EQ(pos, -1);
}

TEST(CStringCase, CompareNoCaseFoldsBeyondAscii)
{
    EXPECT_EQ(CString(u"J\u00FCrgen").CompareNoCase(u"J\u00DCRGEN"), 0);
    EXPECT_EQ(CString(u"\u0434\u043E\u043C").CompareNoCase(u"\u0414\u041E\u041C"), 0);
    EXPECT_LT(CString(u"Apple").CompareNoCase(u"banana"), 0);
    EXPECT_GT(CString(u"b").CompareNoCase(u"A"), 0);
    EXPECT_LT(CString(u"ab").CompareNoCase(u"ABC"), 0);
    CString s(u"Stra\u00DFe \u00C4");
    s.MakeUpper();
    EXPECT_EQ(s, CString(u"STRA\u00DFE \u00C4")); // sharp s has no single upper-case unit
}

TEST(CStringFormat, WideRulesForStringsAndCharacters)
{
    EXPECT_EQ(Fmt(u"%s|%S|%hs|%ls", u"wide", "narrow", "h", u"l"), CString(u"wide|narrow|h|l"));
    EXPECT_EQ(Fmt(u"[%5s][%-5s][%.2s]", u"ab", u"ab", u"abcdef"), CString(u"[   ab][ab   ][ab]"));
    EXPECT_EQ(Fmt(u"%c%C", u'\u00E4', 'x'), CString(u"\u00E4x"));
    EXPECT_EQ(Fmt(u"%s", static_cast<const char16_t*>(nullptr)), CString(u"(null)"));
    EXPECT_EQ(Fmt(u"%S", "J\xC3\xBCrgen"), CString(u"J\u00FCrgen"));
    EXPECT_EQ(Fmt(u"100%% %q"), CString(u"100% %q"));
}

TEST(CStringFormat, IntegersWithWindowsSizePrefixes)
{
    EXPECT_EQ(Fmt(u"%08X", 0x1234u), CString(u"00001234"));
    EXPECT_EQ(Fmt(u"%016llX", 0xDEADBEEFull), CString(u"00000000DEADBEEF"));
    EXPECT_EQ(Fmt(u"0x%016I64X", 0x1122334455667788ull), CString(u"0x1122334455667788"));
    EXPECT_EQ(Fmt(u"%llx", 0xABCull), CString(u"abc"));
    EXPECT_EQ(Fmt(u"%d %u %i", -1, 0xFFFFFFFFu, 42), CString(u"-1 4294967295 42"));
    EXPECT_EQ(Fmt(u"%02u:%02u:%02u ", 7u, 5u, 9u), CString(u"07:05:09 "));
    EXPECT_EQ(Fmt(u"%0*d", 3, 1), CString(u"001"));
    EXPECT_EQ(Fmt(u"%ld|%lu", -5, 5u), CString(u"-5|5")); // long is 32-bit in these formats
    EXPECT_EQ(Fmt(u"%x", 255u), CString(u"ff"));
    EXPECT_EQ(Fmt(u"%.3f", 1.5), CString(u"1.500"));
}

TEST(CStringFormat, WideFieldsAndTakenWidthsAreComplete)
{
    // Numbers padded or zero-extended past any small scratch size keep every unit.
    CString wide = Fmt(u"%200d|%.150d", 7, 3);
    ASSERT_EQ(wide.GetLength(), 200 + 1 + 150);
    EXPECT_EQ(wide.Left(199), CString(u' ', 199));
    EXPECT_EQ(wide.Mid(199, 2), CString(u"7|"));
    EXPECT_EQ(wide.Right(150), CString(u'0', 149) + u'3');

    // A width or precision taken from the arguments follows the same bounds
    // as one written in the format, whatever its value.
    const int writtenMax = Fmt(u"%999999999d", 1).GetLength();
    EXPECT_EQ(Fmt(u"%*d", INT_MAX, 1).GetLength(), writtenMax);
    EXPECT_EQ(Fmt(u"%*s", INT_MAX, u"x").GetLength(), writtenMax);
    EXPECT_EQ(Fmt(u"%*f", INT_MAX, 1.0).GetLength(), writtenMax);
    CString leftMost = Fmt(u"%*d|", INT_MIN, 1);
    EXPECT_EQ(leftMost.GetLength(), writtenMax + 1);
    EXPECT_EQ(leftMost.Left(2), CString(u"1 "));
    EXPECT_EQ(Fmt(u"%.*d", INT_MAX, 5).GetLength(), Fmt(u"%.999999999d", 5).GetLength());
    EXPECT_EQ(Fmt(u"[%.*s][%-*d]", -1, u"all", -3, 4), CString(u"[all][4  ]"));
}

TEST(CStringBuffer, GetBufferAndReleaseBuffer)
{
    CString s;
    char16_t* p = s.GetBuffer(10);
    p[0] = u'h';
    p[1] = u'i';
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, CString(u"hi"));
    s.GetBuffer(5);
    s.ReleaseBuffer(1);
    EXPECT_EQ(s, CString(u"h"));
}
