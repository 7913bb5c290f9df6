// Message texts with inserts, filled by the rules of the Windows message
// formatter, including the texts of the string table.
#include <gtest/gtest.h>

#include "platform/MessageInserts.h"
#include "platform/Resources.h"
#include "resources/resource.h"

using platform::FormatMessageInserts;

TEST(MessageInserts, FillsStringAndNumberInserts)
{
    EXPECT_EQ(FormatMessageInserts(u"Affected file: %1!s!", {u"/home/a/b.txt"}), u"Affected file: /home/a/b.txt");
    EXPECT_EQ(FormatMessageInserts(u"%2!d! of %1!s!", {CString(u"keys"), -3}), u"-3 of keys");
    EXPECT_EQ(FormatMessageInserts(u"%1 and %1!s!", {u"x"}), u"x and x"); // no format means !s!
    EXPECT_EQ(FormatMessageInserts(u"[%1!-6s!][%1!6s!][%1!.2s!]", {u"abc"}), u"[abc   ][   abc][ab]");
    EXPECT_EQ(FormatMessageInserts(u"%1!08X! %1!u! %2!x! %3!I64u!", {-1, 255u, 1ull << 40}),
              u"FFFFFFFF 4294967295 ff 1099511627776");
    EXPECT_EQ(FormatMessageInserts(u"%1!c!", {int{u'Z'}}), u"Z");
    std::vector<platform::MessageArg> ten;
    for (int i = 1; i <= 10; ++i)
        ten.emplace_back(i);
    EXPECT_EQ(FormatMessageInserts(u"%10!d!-%1!d!0", ten), u"10-10");
}

TEST(MessageInserts, EscapesAndEndMarker)
{
    EXPECT_EQ(FormatMessageInserts(u"100%% done", {}), u"100% done");
    EXPECT_EQ(FormatMessageInserts(u"one%ntwo%tthree%rfour%. five% six", {}), u"one\ntwo\tthree\rfour. five six");
    EXPECT_EQ(FormatMessageInserts(u"shown%0 not shown %1", {u"x"}), u"shown");
    EXPECT_EQ(FormatMessageInserts(u"50%", {}), u"50%");
    EXPECT_EQ(FormatMessageInserts(u"%q and %A", {}), u"%q and %A");
}

TEST(MessageInserts, ExclamationEscapeStaysAsWritten)
{
    EXPECT_EQ(FormatMessageInserts(u"done%!", {}), u"done%!");
    CString text;
    ASSERT_TRUE(platform::LoadResourceString(IDS_GROUP_SAVED, text));
    EXPECT_EQ(FormatMessageInserts(text, {u"Team"}), u"The config of Team has been saved successfully%!");
}

TEST(MessageInserts, UnusableInsertsAreLeftInsteadOfMisread)
{
    // Missing argument, wrong kind of argument, malformed or unknown format.
    EXPECT_EQ(FormatMessageInserts(u"a %1!s! b %2!s!", {u"x"}), u"a x b %2!s!");
    EXPECT_EQ(FormatMessageInserts(u"%1!d!", {u"text"}), u"%1!d!");
    EXPECT_EQ(FormatMessageInserts(u"%1!s!", {7}), u"%1!s!");
    EXPECT_EQ(FormatMessageInserts(u"%1!s", {u"x"}), u"%1!s");
    EXPECT_EQ(FormatMessageInserts(u"%1!*s!", {u"x"}), u"%1!*s!");
    EXPECT_EQ(FormatMessageInserts(u"%1!f!", {1}), u"%1!f!");
    EXPECT_EQ(FormatMessageInserts(u"%1!s!", {u"%2!s! %%"}), u"%2!s! %%"); // inserted text is not reformatted
}

TEST(MessageInserts, EveryTableTextFillsWithoutLeftovers)
{
    for (UINT id : {IDS_AFFECTED_FILE, IDS_USING_PROCESS, IDS_STATUS, IDS_TASK_CREATED, IDS_TASK_COMPLETED}) {
        CString text;
        ASSERT_TRUE(platform::LoadResourceString(id, text));
        CString filled = FormatMessageInserts(text, {u"VALUE"});
        EXPECT_EQ(filled.Find(u"%"), -1) << filled.ToUtf8();
        EXPECT_EQ(filled.Right(7), u": VALUE") << filled.ToUtf8();
    }
}
