// The stored record of a checked GnuPG program: what is written reads back
// exactly, and anything else reads as no record.
#include <gtest/gtest.h>

#include "GnuPGVersionRecord.h"

namespace {

platform::SFileIdentity SomeIdentity()
{
    platform::SFileIdentity identity;
    identity.volume = 2049;
    identity.fileId = 18446744073709551615ull;
    identity.size = 1234567;
    identity.modified = 17967241070000000ll;
    identity.changed = -5;
    identity.regularFile = true;
    return identity;
}

TEST(GnuPGVersionRecordTest, WhatIsWrittenReadsBackExactly)
{
    const platform::SFileIdentity identity = SomeIdentity();
    for (const CString& path : {CString(u"/usr/bin/gpg"), CString(u"/opt/odd|name/gpg|2"),
                                CString(u"C:\\Program Files (x86)\\GnuPG\\bin\\gpg.exe"), CString(u"/Jürgen/gpg")}) {
        CString text = CGnuPGVersionRecord::Format(path, identity);
        CString readPath;
        platform::SFileIdentity read;
        ASSERT_TRUE(CGnuPGVersionRecord::Parse(text, readPath, read)) << text.ToUtf8();
        EXPECT_EQ(readPath, path);
        EXPECT_EQ(read, identity);
    }
    platform::SFileIdentity extremes = identity;
    extremes.modified = -9223372036854775807ll - 1;
    extremes.changed = 9223372036854775807ll;
    extremes.volume = 0;
    CString readPath;
    platform::SFileIdentity read;
    ASSERT_TRUE(CGnuPGVersionRecord::Parse(CGnuPGVersionRecord::Format(u"/g", extremes), readPath, read));
    EXPECT_EQ(read, extremes);
}

TEST(GnuPGVersionRecordTest, AnythingElseIsNoRecord)
{
    const char16_t* const bad[] = {
        u"",
        u"1",
        u"1|2|3|4|5|6",            // no path
        u"1|2|3|4|5|6|",           // empty path
        u"2|2|3|4|5|6|/g",         // another format
        u"1|2|3|4|5|/g",           // a number missing
        u"1||3|4|5|6|/g",          // an empty number
        u"1|02|3|4|5|6|/g",        // a leading zero
        u"1|+2|3|4|5|6|/g",        // a sign where none belongs
        u"1|2|-3|4|5|6|/g",
        u"1|2|3|4|-0|6|/g",        // minus zero
        u"1|2|3| 4|5|6|/g",        // a blank
        u"1|2|3|4x|5|6|/g",
        u"1|18446744073709551616|3|4|5|6|/g",          // beyond 64 bits
        u"1|2|3|4|9223372036854775808|6|/g",           // beyond a signed 64-bit number
        u"1|2|3|4|-9223372036854775809|6|/g",
        u"1|2|3|4|123456789012345678901|6|/g",         // too many digits
        u"1|2|3|4|5|6|/g\nsecond line",                // a control character in the path
        u"1|2|3|4|5|6|/g\t",
    };
    for (const char16_t* text : bad) {
        CString path = u"untouched";
        platform::SFileIdentity identity = SomeIdentity();
        EXPECT_FALSE(CGnuPGVersionRecord::Parse(text, path, identity)) << CString(text).ToUtf8();
        EXPECT_EQ(path, CString(u"untouched"));
        EXPECT_EQ(identity, SomeIdentity());
    }
}

TEST(GnuPGVersionRecordTest, OnlyAProgramThatIsAnOrdinaryFileIsRecorded)
{
    platform::SFileIdentity identity = SomeIdentity();
    identity.regularFile = false;
    CGnuPGVersionRecord::Record(u"/usr/bin/gpg", identity);
    EXPECT_FALSE(CGnuPGVersionRecord::IsRecorded(u"/usr/bin/gpg", identity));
    identity.regularFile = true;
    EXPECT_FALSE(CGnuPGVersionRecord::IsRecorded(u"/usr/bin/gpg", identity));
    CGnuPGVersionRecord::Record(u"/usr/bin/gpg", identity);
    EXPECT_TRUE(CGnuPGVersionRecord::IsRecorded(u"/usr/bin/gpg", identity));
    EXPECT_FALSE(CGnuPGVersionRecord::IsRecorded(u"/usr/bin/gpg2", identity));
    EXPECT_FALSE(CGnuPGVersionRecord::IsRecorded(u"", identity));
    // Far too long a path is not recorded (it could not be read back).
    CString huge(u'x', 5000);
    CGnuPGVersionRecord::Record(u"/" + huge, identity);
    EXPECT_TRUE(CGnuPGVersionRecord::IsRecorded(u"/usr/bin/gpg", identity));
}

} // namespace
