#include <gtest/gtest.h>

#include <random>

#include "ArrayEx.h"
#include "Key.h"
#include "KeyComparer.h"

TEST(Key, ValidityNeedsUserIdAndKeyId)
{
    EXPECT_FALSE(CKey().IsValid());
    EXPECT_FALSE(CKey(0x1234).IsValid());
    EXPECT_FALSE(CKey(u"Anna", u"", 0).IsValid());
    EXPECT_TRUE(CKey(u"Anna", u"", 1).IsValid());
    CKey fresh(u"Anna", u"a@x", 1);
    EXPECT_FALSE(fresh.IsEnabled()); // counts as disabled until the engine says otherwise
    EXPECT_FALSE(fresh.HasPrivatePart());
    EXPECT_FALSE(fresh.IsExpired());
    EXPECT_FALSE(fresh.IsRevoked());
}

TEST(Key, HexConstructorTakesTheIdOnlyWhenTheWholeTextParses)
{
    CKey k(u"Anna", u"00000000DEADBEEF");
    EXPECT_EQ(k.GetLongKeyID(), 0xDEADBEEFull);
    EXPECT_EQ(k.GetShortKeyIDString(), CString(u"DEADBEEF"));
    EXPECT_EQ(k.GetUserID(), CString(u"Anna"));

    CKey bad(u"Anna", u"DEADBEEG");
    EXPECT_EQ(bad.GetLongKeyID(), 0u);
    EXPECT_TRUE(bad.GetUserID().IsEmpty());

    CKey prefixed(u"B", u"  0x1F");
    EXPECT_EQ(prefixed.GetLongKeyID(), 0x1Full);
    EXPECT_EQ(CKey(u"C", u"").GetLongKeyID(), 0u);
}

TEST(Key, IdStringsAreUpperCaseAndZeroPadded)
{
    CKey k(0x1234);
    EXPECT_EQ(k.GetShortKeyIDString(), CString(u"00001234"));
    EXPECT_EQ(k.GetLongKeyIDString(), CString(u"0000000000001234"));
    CKey big(0xABCDEF0123456789ull);
    EXPECT_EQ(big.GetShortKeyID(), 0x23456789u);
    EXPECT_EQ(big.GetLongKeyIDString(), CString(u"ABCDEF0123456789"));
}

TEST(Key, EqualityIsByLongKeyIdOnly)
{
    EXPECT_TRUE(CKey(u"A", u"a", 0x1122334455667788ull) == CKey(u"B", u"b", 0x1122334455667788ull));
    EXPECT_FALSE(CKey(0x0000000155667788ull) == CKey(0x0000000255667788ull));
}

TEST(Key, UserIdWithoutMail)
{
    EXPECT_EQ(CKey(u"Anna Berg <anna@example.org>", u"", 1).GetUserIDWithoutMail(), CString(u"Anna Berg"));
    EXPECT_EQ(CKey(u"Anna (work) <a@x.org>", u"", 1).GetUserIDWithoutMail(), CString(u"Anna (work)"));
    EXPECT_EQ(CKey(u" <only@mail.org> ", u"", 1).GetUserIDWithoutMail(), CString()); // "<" at position 1
    EXPECT_EQ(CKey(u"<only@mail.org>", u"", 1).GetUserIDWithoutMail(), CString(u"<only@mail.org>"));
    EXPECT_EQ(CKey(u"Broken > order <", u"", 1).GetUserIDWithoutMail(), CString(u"Broken > order <"));
}

TEST(Key, CopiesCarryEveryFieldAndSubkeys)
{
    CKey k(u"Anna", u"anna@x", 7);
    CArrayEx<ULONGLONG, const ULONGLONG&> subs;
    subs.Add(8);
    subs.Add(9);
    k.SetSubKeys(subs);
    k.SetSubKeys(k.GetSubKeys());
    k.SetPrivatePart(true);
    k.SetEnabled(true);
    k.SetRevoked(true);
    CKey copy;
    copy = k;
    EXPECT_EQ(copy.GetMailAddress(), CString(u"anna@x"));
    ASSERT_EQ(copy.GetSubKeys().GetSize(), 2);
    EXPECT_EQ(copy.GetSubKeys()[1], 9u);
    EXPECT_EQ(copy.HasPrivatePart(), 1);
    EXPECT_TRUE(copy.IsEnabled());
    EXPECT_TRUE(copy.IsRevoked());
    EXPECT_FALSE(copy.IsExpired());
}

TEST(ArrayEx, SortByUserIdIgnoresCase)
{
    CArrayEx<CKey, const CKey&> keys;
    keys.Add(CKey(u"carl", u"", 3));
    keys.Add(CKey(u"Bert", u"", 2));
    keys.Add(CKey(u"anna", u"", 1));
    keys.Add(CKey(u"ANNA", u"", 4));
    CKeyComparer comparer;
    keys.Sort(comparer);
    EXPECT_EQ(keys[0].GetUserID().CompareNoCase(u"anna"), 0);
    EXPECT_EQ(keys[1].GetUserID().CompareNoCase(u"anna"), 0);
    EXPECT_EQ(keys[2].GetUserID(), CString(u"Bert"));
    EXPECT_EQ(keys[3].GetUserID(), CString(u"carl"));
    EXPECT_EQ(comparer.Compare(keys[0], keys[1]), 0);
}

TEST(ArrayEx, QuickSortHandlesDuplicatesSortedAndRandomInput)
{
    std::mt19937 random(7);
    for (int size : {0, 1, 2, 3, 10, 1000}) {
        for (int pattern = 0; pattern < 3; ++pattern) {
            CArrayEx<DWORD, const DWORD&> a;
            for (int i = 0; i < size; ++i)
                a.Add(pattern == 0 ? random() % 5 : pattern == 1 ? static_cast<DWORD>(i) : static_cast<DWORD>(size - i));
            CDWORDComparer comparer;
            a.Sort(comparer);
            for (int i = 1; i < a.GetSize(); ++i)
                ASSERT_LE(a[i - 1], a[i]) << "size " << size << " pattern " << pattern;
            EXPECT_EQ(a.GetSize(), size);
        }
    }
}

TEST(ArrayEx, FindReturnsFirstIndexOrMinusOne)
{
    CArrayEx<CKey, const CKey&> keys;
    keys.Add(CKey(u"a", u"", 5));
    keys.Add(CKey(u"b", u"", 6));
    keys.Add(CKey(u"c", u"", 5));
    EXPECT_EQ(keys.Find(CKey(5)), 0);
    EXPECT_EQ(keys.Find(CKey(6)), 1);
    EXPECT_EQ(keys.Find(CKey(7)), -1);
    keys.RemoveAt(0);
    EXPECT_EQ(keys.Find(CKey(5)), 1);
    EXPECT_THROW(keys.GetAt(5), std::out_of_range);
    EXPECT_THROW(keys.RemoveAt(1, 5), std::out_of_range);
    keys.Append(keys);
    EXPECT_EQ(keys.GetSize(), 4);
}
