// Reading GnuPG's colon key listings, packet listings and version banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "EncryptionGnuPG.h"
#include "GnuPGStatusReader.h"

namespace {

using Parser = CEncryptionGnuPG;

// A public listing as gpg 2.2 writes it ("--with-colons --fixed-list-mode").
const char16_t* const kPublicListing =
    u"tru::1:1796688385:1859760384:3:1:5\n"
    u"pub:u:255:22:9A70EB30A78D9EB7:1796688384:1859760384::u:::scESC:::::ed25519:::0:\n"
    u"fpr:::::::::F13F0E7EC0A7C5A22637FA619A70EB30A78D9EB7:\n"
    u"uid:u::::1796688384::FF7B7EFD372875F7B4F09409F3BE693139A91D26::Anna <pub@example.org>::::::::::0:\n"
    u"sub:u:255:18:5C86122DE42738C4:1796688385::::::e:::::cv25519::\n"
    u"fpr:::::::::B74745FC90BE06E0448DA8805C86122DE42738C4:\n"
    u"pub:e:255:22:0123456789ABCDEF:1500000000:1600000000::u:::sc:::::ed25519:::0:\n"
    u"fpr:::::::::AAAA0123456789ABCDEF0123456789ABCDEF0000:\n"
    u"uid:e::::1500000000::11::Old sec sub Key <old@example.org>::::::::::0:\n"
    u"uid:e::::1500000000::12::Second uid <second@example.org>::::::::::0:\n"
    u"sub:e:255:18:1111222233334444:1500000000::::::e:::::cv25519::\n"
    u"sub:e:255:18:5555666677778888:1500000000::::::e:::::cv25519::\n"
    u"pub:r:255:22:00000000DEADBEEF:1500000000:::u:::sc:::::ed25519:::0:\n"
    u"uid:r::::1500000000::13::J\u00fcrgen M\u00fcller\\x3a Admin <jm@example.org>::::::::::0:\n"
    u"pub:u:255:22:FEDCBA9876543210:1500000000:::u:::scESCD:::::ed25519:::0:\n"
    u"uid:u::::1500000000::14::<only@example.org>::::::::::0:\n"
    u"pub:u:255:22:0000000000000042:1500000000:::u:::scd:::::ed25519:::0:\n"
    u"uid:u::::1500000000::15::No Mail Here::::::::::0:\n"
    u"pub:u:255:22:0000000000000043:1500000000:::u:::sc:::::ed25519:::0:\n"
    u"fpr:::::::::BBBB:\n"
    u"pub:u:255:22:0000000000000000:1500000000:::u:::sc:::::ed25519:::0:\n"
    u"uid:u::::1500000000::16::Zero Id <zero@example.org>::::::::::0:\n";

CString WithCrLf(const CString& text)
{
    CString result = text;
    result.Replace(u"\n", u"\r\n");
    return result;
}

TEST(GnuPGParsingTest, PublicListingGivesEveryWellFormedKeyWithItsFields)
{
    for (const CString& listing : {CString(kPublicListing), WithCrLf(kPublicListing)}) {
        CArrayEx<CKey, const CKey&> keys = Parser::ParseListKeysOutput(listing, 0);
        // The key without user id and the one with key id 0 are dropped.
        ASSERT_EQ(keys.GetSize(), 5);

        // "pub" inside the mail address does not cut the key apart.
        EXPECT_EQ(keys[0].GetLongKeyID(), 0x9A70EB30A78D9EB7ull);
        EXPECT_EQ(keys[0].GetUserID(), CString(u"Anna <pub@example.org>"));
        EXPECT_EQ(keys[0].GetMailAddress(), CString(u"pub@example.org"));
        ASSERT_EQ(keys[0].GetSubKeys().GetSize(), 1);
        EXPECT_EQ(keys[0].GetSubKeys()[0], 0x5C86122DE42738C4ull);
        EXPECT_TRUE(keys[0].IsEnabled());
        EXPECT_FALSE(keys[0].IsExpired());
        EXPECT_FALSE(keys[0].IsRevoked());
        EXPECT_FALSE(keys[0].HasPrivatePart());

        // First user id only; both subkeys in listing order; "sec" and "sub"
        // in the user id are plain text.
        EXPECT_EQ(keys[1].GetUserID(), CString(u"Old sec sub Key <old@example.org>"));
        EXPECT_TRUE(keys[1].IsExpired());
        EXPECT_FALSE(keys[1].IsRevoked());
        ASSERT_EQ(keys[1].GetSubKeys().GetSize(), 2);
        EXPECT_EQ(keys[1].GetSubKeys()[0], 0x1111222233334444ull);
        EXPECT_EQ(keys[1].GetSubKeys()[1], 0x5555666677778888ull);

        // Escaped colon decoded, non-ASCII kept, revoked.
        EXPECT_EQ(keys[2].GetLongKeyID(), 0xDEADBEEFull);
        EXPECT_EQ(keys[2].GetUserID(), CString(u"J\u00fcrgen M\u00fcller: Admin <jm@example.org>"));
        EXPECT_EQ(keys[2].GetMailAddress(), CString(u"jm@example.org"));
        EXPECT_TRUE(keys[2].IsRevoked());
        EXPECT_FALSE(keys[2].IsExpired());
        EXPECT_EQ(keys[2].GetSubKeys().GetSize(), 0);

        // Upper-case D anywhere in the capabilities disables; lower-case does not.
        EXPECT_FALSE(keys[3].IsEnabled());
        EXPECT_EQ(keys[3].GetMailAddress(), CString(u"only@example.org"));
        EXPECT_TRUE(keys[4].IsEnabled());
        EXPECT_EQ(keys[4].GetMailAddress(), CString());
    }
}

TEST(GnuPGParsingTest, SecretListingReadsSecBlocksOnly)
{
    const CString listing = u"sec::255:22:1234567890ABCDEF:1500000000:::u:::scESC:::+::ed25519:::0:\n"
                            u"fpr:::::::::X:\n"
                            u"uid:::::1500000000::1::Secret One <s1@example.org>::::::::::0:\n"
                            u"ssb::255:18:AAAABBBBCCCCDDDD:1500000000::::::e:::+::cv25519::\n"
                            u"sec:e:255:22:0FEDCBA987654321:1500000000:::u:::sc:::+::ed25519:::0:\n"
                            u"uid:e::::1500000000::2::Secret Two::::::::::0:\n";
    EXPECT_EQ(Parser::ParseListKeysOutput(listing, 0).GetSize(), 0);
    CArrayEx<CKey, const CKey&> keys = Parser::ParseListKeysOutput(listing, 1);
    ASSERT_EQ(keys.GetSize(), 2);
    // An empty validity field is neither expired nor revoked.
    EXPECT_EQ(keys[0].GetLongKeyID(), 0x1234567890ABCDEFull);
    EXPECT_FALSE(keys[0].IsExpired());
    EXPECT_FALSE(keys[0].IsRevoked());
    EXPECT_TRUE(keys[0].IsEnabled());
    EXPECT_TRUE(keys[1].IsExpired());
    EXPECT_EQ(keys[1].GetUserID(), CString(u"Secret Two"));

    EXPECT_EQ(Parser::ParseListKeysOutput(u"", 0).GetSize(), 0);
    EXPECT_EQ(Parser::ParseListKeysOutput(u"gpg: keybox created\n", 0).GetSize(), 0);
}

TEST(GnuPGParsingTest, PublicListingWithSecretMarksTheKeysWithASecretPart)
{
    // As gpg 2.2 lists with "--with-secret": field 15 tells where secret
    // material is at hand.
    const CString listing =
        u"pub:u:255:22:E27D1FE5C14E395A:1796710203:::u:::scESC:::+::ed25519:::0:\n"
        u"uid:u::::1796710203::4A80::Alice <alice@example.org>::::::::::0:\n"
        u"sub:u:255:18:B7F48A8F768B4F1F:1796710203::::::e:::+::cv25519::\n"
        u"pub:u:255:22:E47EB8FC7AD9975B:1796710203:::u:::scESC:::::ed25519:::0:\n"
        u"uid:u::::1796710203::4A81::Public Only <public@example.org>::::::::::0:\n"
        u"sub:u:255:18:9D8BACDA0321E734:1796710203::::::e:::::cv25519::\n"
        // The primary key kept offline, the subkeys here.
        u"pub:u:255:22:0000000000000AAA:1796710203:::u:::scESC:::#::ed25519:::0:\n"
        u"uid:u::::1796710203::4A82::Offline <offline@example.org>::::::::::0:\n"
        u"sub:u:255:18:0000000000000AAB:1796710203::::::e:::+::cv25519::\n"
        // Only a subkey on a card.
        u"pub:u:255:22:0000000000000BBB:1796710203:::u:::scESC:::::ed25519:::0:\n"
        u"uid:u::::1796710203::4A83::Card <card@example.org>::::::::::0:\n"
        u"sub:u:255:18:0000000000000BBC:1796710203::::::e:::D2760001240102010006:::cv25519::\n"
        // Field 15 of other records does not count.
        u"pub:u:255:22:0000000000000CCC:1796710203:::u:::scESC:::::ed25519:::0:\n"
        u"uid:u::::1796710203::4A84::Other <other@example.org>:::::+::::::::0:\n"
        u"fpr:::::::::CCCC:::::+:\n";
    for (const CString& text : {listing, WithCrLf(listing)}) {
        CArrayEx<CKey, const CKey&> keys = Parser::ParseListKeysOutput(text, 0);
        ASSERT_EQ(keys.GetSize(), 5);
        Parser::MarkKeysWithSecret(text, keys);
        EXPECT_TRUE(keys[0].HasPrivatePart());
        EXPECT_FALSE(keys[1].HasPrivatePart());
        EXPECT_TRUE(keys[2].HasPrivatePart());
        EXPECT_TRUE(keys[3].HasPrivatePart());
        EXPECT_FALSE(keys[4].HasPrivatePart());
    }
    // Marks only add; a listing without the field leaves flags as they are.
    CArrayEx<CKey, const CKey&> keys = Parser::ParseListKeysOutput(kPublicListing, 0);
    keys[1].SetPrivatePart(true);
    Parser::MarkKeysWithSecret(kPublicListing, keys);
    for (int i = 0; i < keys.GetSize(); ++i)
        EXPECT_EQ(keys[i].HasPrivatePart(), i == 1) << i;
}

TEST(GnuPGParsingTest, ExtractKeyAndFieldReaders)
{
    CKey key(0x77);
    key.SetPrivatePart(true);
    EXPECT_FALSE(Parser::ExtractKey(u"pub:u:255:22:0000000000000077:1:::u:::sc::", key));
    // The key is reset even when the block holds no user id.
    EXPECT_EQ(key.GetLongKeyID(), 0u);
    EXPECT_FALSE(key.HasPrivatePart());
    EXPECT_TRUE(Parser::ExtractKey(u"pub:u:255:22:77:1:::u:::sc::\nuid:u::::1::h::Bea <b@x.org>::", key));
    EXPECT_EQ(key.GetLongKeyID(), 0x77u);
    EXPECT_EQ(key.GetMailAddress(), CString(u"b@x.org"));

    const CString record = u"pub:u:255:22:ABC:1";
    EXPECT_EQ(Parser::GetFieldValue(record, 0, 1), CString(u"pub"));
    EXPECT_EQ(Parser::GetFieldValue(record, 0, 5), CString(u"ABC"));
    EXPECT_EQ(Parser::GetFieldValue(record, 0, 6), CString(u"1"));
    EXPECT_EQ(Parser::GetFieldValue(record, 0, 7), CString());
    EXPECT_EQ(Parser::GetFieldValue(record, 4, 2), CString(u"255"));
    EXPECT_EQ(Parser::GetFieldValue(u"a::c", 0, 2), CString());
    // Without a further colon a field runs to the end of the text.
    EXPECT_EQ(Parser::GetFieldValue(u"x:y\nz", 0, 2), CString(u"y\nz"));

    EXPECT_EQ(Parser::LastIndexOf(u"pub:a pub:b pub:c", u"pub:"), 12);
    EXPECT_EQ(Parser::LastIndexOf(u"pub:a", u"sub:"), -1);
    EXPECT_EQ(Parser::LastIndexOf(u"aaaa", u"aa"), 2);
}

TEST(GnuPGParsingTest, RecipientIdsKeepEveryDigitWithEitherLineEnd)
{
    const CString listing = u"# off=0 ctb=84 tag=1 hlen=2 plen=94\n"
                            u":pubkey enc packet: version 3, algo 18, keyid 5C86122DE42738C4\n"
                            u"\tdata: [263 bits]\n"
                            u"gpg: encrypted with 255-bit ECDH key, ID 5C86122DE42738C4, created 2026-12-08\n"
                            u":pubkey enc packet: version 3, algo 18, keyid 00000000000000A1\n"
                            u":encrypted data packet:\n";
    for (const CString& text : {listing, WithCrLf(listing)}) {
        CArrayEx<ULONGLONG, const ULONGLONG&> ids = Parser::ParseRecipientKeyIds(text);
        ASSERT_EQ(ids.GetSize(), 2);
        EXPECT_EQ(ids[0], 0x5C86122DE42738C4ull);
        EXPECT_EQ(ids[1], 0xA1ull);
    }
    // The last line without any line end.
    CArrayEx<ULONGLONG, const ULONGLONG&> last =
        Parser::ParseRecipientKeyIds(u":pubkey enc packet: version 3, algo 1, keyid 0123456789ABCDEF");
    ASSERT_EQ(last.GetSize(), 1);
    EXPECT_EQ(last[0], 0x0123456789ABCDEFull);
    EXPECT_EQ(Parser::ParseRecipientKeyIds(u"gpg: no valid OpenPGP data found.\n").GetSize(), 0);
}

TEST(GnuPGParsingTest, SubkeyIdsResolveToTheirPrimaryKey)
{
    CArrayEx<ULONGLONG, const ULONGLONG&> ids;
    ids.Add(0x5C86122DE42738C4ull); // subkey of Anna
    ids.Add(0x9A70EB30A78D9EB7ull); // Anna's primary key
    ids.Add(0x5555666677778888ull); // second subkey of the expired key
    ids.Add(0x1234ull);             // unknown
    ids.Add(0x5C86122DE42738C4ull); // the same subkey again stays a second entry
    Parser::ResolvePrimaryKeyIds(WithCrLf(kPublicListing), ids);
    ASSERT_EQ(ids.GetSize(), 5);
    EXPECT_EQ(ids[0], 0x9A70EB30A78D9EB7ull);
    EXPECT_EQ(ids[1], 0x9A70EB30A78D9EB7ull);
    EXPECT_EQ(ids[2], 0x0123456789ABCDEFull);
    EXPECT_EQ(ids[3], 0x1234ull);
    EXPECT_EQ(ids[4], 0x9A70EB30A78D9EB7ull);
    // An id that only appears inside a fingerprint or user id is not a key.
    CArrayEx<ULONGLONG, const ULONGLONG&> partial;
    partial.Add(0x0123456789ABCDEFull & 0xFFFFFFFFull);
    Parser::ResolvePrimaryKeyIds(kPublicListing, partial);
    EXPECT_EQ(partial[0], 0x89ABCDEFull);
}

TEST(GnuPGParsingTest, LiteralDataNameIsDecodedAndMadeSafe)
{
    const CString listing = u":literal data packet:\n"
                            u"\tmode b (62), created 1796688385, name=\"a b:\\xc3\\xa4?.txt\",\n"
                            u"\traw data: 6 bytes\n";
    SLiteralDataInfo info = Parser::ParseLiteralData(WithCrLf(listing));
    ASSERT_TRUE(info.found);
    EXPECT_TRUE(info.hasCreated);
    EXPECT_EQ(info.created, 1796688385);
    EXPECT_EQ(info.rawName, CString(u"a b:\\xc3\\xa4?.txt"));
    EXPECT_EQ(Parser::DecodeLiteralName(info.rawName), CString(u"a b_\u00e4_.txt"));

    // All nine forbidden characters, escaped ones and control bytes too.
    EXPECT_EQ(Parser::DecodeLiteralName(u"<>:\\x22/\\x5c|?*\\x01x"), CString(u"__________x"));
    // A path in the name never leaves the folder.
    EXPECT_EQ(Parser::DecodeLiteralName(u"..\\x2f..\\x2fetc\\x2fpasswd"), CString(u".._.._etc_passwd"));
    // Names that would mean a folder, or nothing, are refused.
    EXPECT_EQ(Parser::DecodeLiteralName(u"."), CString());
    EXPECT_EQ(Parser::DecodeLiteralName(u"\\x2e\\x2e"), CString());
    EXPECT_EQ(Parser::DecodeLiteralName(u""), CString());
    // A broken escape stays text; its backslash becomes '_'.
    EXPECT_EQ(Parser::DecodeLiteralName(u"a\\xg1"), CString(u"a_xg1"));
    // Over-long names are cut to what a name here can hold with its side
    // file's ".veilcase" (246 bytes of UTF-8), before their extension and
    // never inside a character.
    EXPECT_EQ(Parser::DecodeLiteralName(CString(u'n', 600)), CString(u'n', 246));
    EXPECT_EQ(Parser::DecodeLiteralName(CString(u'n', 300) + u".pdf"), CString(u'n', 242) + u".pdf");
    EXPECT_EQ(Parser::DecodeLiteralName(CString(u'n', 246)), CString(u'n', 246));
    CString pairs;
    for (int i = 0; i < 70; ++i)
        pairs += u"😀"; // 4 bytes each
    EXPECT_EQ(Parser::DecodeLiteralName(pairs + u".txt"), pairs.Left(2 * 60) + u".txt");
    EXPECT_EQ(Parser::DecodeLiteralName(u"x" + pairs), u"x" + pairs.Left(2 * 61));
    // An "extension" as long as the name itself is no extension.
    EXPECT_EQ(Parser::DecodeLiteralName(u"a." + CString(u'e', 300)), u"a." + CString(u'e', 244));

    // gpg writes a double quote of the name as it is: the name ends at the
    // last quote of its line, not at the first.
    SLiteralDataInfo quoted = Parser::ParseLiteralData(
        u"# off=119 ctb=ac tag=11 hlen=2 plen=35\n:literal data packet:\n"
        u"\tmode b (62), created 1796691301, name=\"say \"hi\", ok\\x7b\\xc3\\xa4.txt\",\n"
        u"\traw data: 3 bytes\n");
    EXPECT_EQ(quoted.rawName, CString(u"say \"hi\", ok\\x7b\\xc3\\xa4.txt"));
    EXPECT_EQ(Parser::DecodeLiteralName(quoted.rawName), CString(u"say _hi_, ok{\u00e4.txt"));
    EXPECT_EQ(quoted.created, 1796691301);
    EXPECT_EQ(Parser::ParseLiteralData(u":literal data packet:\n\tmode b (62), created 5, name=\"\"\"\",\r\n").rawName,
              CString(u"\"\""));

    // No name, no creation time, no packet.
    SLiteralDataInfo noName = Parser::ParseLiteralData(u":literal data packet:\n\tmode b (62), created 5, name=\"\",\n");
    EXPECT_TRUE(noName.found);
    EXPECT_EQ(noName.created, 5);
    EXPECT_TRUE(noName.rawName.IsEmpty());
    SLiteralDataInfo noTime =
        Parser::ParseLiteralData(u":literal data packet:\n\tmode b (62)\n:other packet:\n created 7, name=\"x\"\n");
    EXPECT_TRUE(noTime.found);
    EXPECT_FALSE(noTime.hasCreated);
    EXPECT_TRUE(noTime.rawName.IsEmpty());
    EXPECT_FALSE(Parser::ParseLiteralData(u"gpg: decryption failed: No secret key\n").found);
}

TEST(GnuPGParsingTest, FallbackNameAndVersionBanner)
{
    EXPECT_EQ(Parser::FallbackPlainName(u"/data/report.pdf.gpg"), CString(u"report.pdf"));
    EXPECT_EQ(Parser::FallbackPlainName(u"/data/Report.GPG"), CString(u"Report"));
    EXPECT_EQ(Parser::FallbackPlainName(u"/data/notes.pgp"), CString(u"notes"));
    EXPECT_EQ(Parser::FallbackPlainName(u"/data/..gpg"), CString());
    EXPECT_EQ(Parser::FallbackPlainName(u"/data/a:b.gpg"), CString(u"a_b"));
    EXPECT_EQ(Parser::FallbackPlainName(u"/data/plain.txt"), CString());

    EXPECT_EQ(Parser::IsSupportedVersionBanner(u"gpg (GnuPG) 2.2.40\nlibgcrypt 1.10.1\n"), 1);
    EXPECT_EQ(Parser::IsSupportedVersionBanner(u"gpg (GnuPG) 3.0.0\n"), 1);
    EXPECT_EQ(Parser::IsSupportedVersionBanner(u"gpg (GnuPG) 1.4.23\r\n"), 0);
    EXPECT_EQ(Parser::IsSupportedVersionBanner(u"gpg (GnuPG)"), 0);
    EXPECT_EQ(Parser::IsSupportedVersionBanner(u"2.2.40 something else"), 0);
}

// GnuPG's output is untrusted: mutated and cut listings must never read out
// of bounds (the sanitizer build checks that) and must still give results
// that keep their promises.
TEST(GnuPGParsingTest, MutatedListingsKeepEveryReaderInBounds)
{
    const CString seeds[] = {
        kPublicListing,
        u"sec::255:22:1234567890ABCDEF:1500000000:::u:::scESC:::+::ed25519:::0:\n"
        u"uid:::::1500000000::1::Secret One <s1@example.org>::::::::::0:\n"
        u"ssb::255:18:AAAABBBBCCCCDDDD:1500000000::::::e:::+::cv25519::\n",
        u"# off=0 ctb=84 tag=1 hlen=2 plen=94\n"
        u":pubkey enc packet: version 3, algo 18, keyid 5C86122DE42738C4\n"
        u"\tdata: [263 bits]\n"
        u"# off=119 ctb=ac tag=11 hlen=2 plen=35\n:literal data packet:\n"
        u"\tmode b (62), created 1796691301, name=\"a \"b\\xc3\\xa4:\\x2f..\\x5c.txt\",\n"
        u"\traw data: 3 bytes\n",
        u"gpg (GnuPG) 2.2.40\nlibgcrypt 1.10.1\n",
    };
    const char16_t pieces[][10] = {u":",   u"\n",   u"\r\n",      u"\\x",  u"\\xc3", u"\"",     u"pub:",
                                  u"sub:", u"uid:", u"sec:",      u"<",    u">",     u" <",     u"created ",
                                  u",",    u"name=\"", u"keyid ", u"0x",   u"\U0001F600", u"\xD800", u"\xDC00"};
    std::mt19937 random(20261208);
    for (int round = 0; round < 4000; ++round) {
        std::u16string text = seeds[random() % std::size(seeds)].Str();
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            size_t at = random() % (text.size() + 1);
            switch (random() % 4) {
            case 0: text.insert(at, pieces[random() % std::size(pieces)]); break;
            case 1: text.erase(at, random() % 12); break;
            case 2:
                if (at < text.size())
                    text[at] = static_cast<char16_t>(random() % 0x10000);
                break;
            default: text.resize(at); break; // cut off, as a timed-out run leaves it
            }
        }
        const CString listing(text);
        for (int secret = 0; secret < 2; ++secret)
            for (const CKey& key : Parser::ParseListKeysOutput(listing, secret))
                EXPECT_TRUE(key.IsValid());
        CArrayEx<CKey, const CKey&> listed = Parser::ParseListKeysOutput(listing, 0);
        const int listedCount = listed.GetSize();
        Parser::MarkKeysWithSecret(listing, listed);
        EXPECT_EQ(listed.GetSize(), listedCount);
        CKey key;
        Parser::ExtractKey(listing, key);
        const int start = static_cast<int>(random() % (text.size() + 2)) - 1;
        EXPECT_LT(Parser::GetFieldValue(listing, start, static_cast<int>(random() % 30) - 1).Find(u':'), 0);
        Parser::LastIndexOf(listing, u"pub:");
        CArrayEx<ULONGLONG, const ULONGLONG&> ids = Parser::ParseRecipientKeyIds(listing);
        const int found = ids.GetSize();
        Parser::ResolvePrimaryKeyIds(listing, ids);
        EXPECT_EQ(ids.GetSize(), found);
        Parser::IsSupportedVersionBanner(listing);

        SLiteralDataInfo info = Parser::ParseLiteralData(listing);
        for (const CString& name : {Parser::DecodeLiteralName(info.rawName), Parser::DecodeLiteralName(listing),
                                    Parser::FallbackPlainName(u"/d/" + listing + u".gpg")}) {
            if (name.IsEmpty())
                continue;
            EXPECT_LE(name.ToUtf8().size(), 246u);
            EXPECT_NE(name, CString(u"."));
            EXPECT_NE(name, CString(u".."));
            for (int i = 0; i < name.GetLength(); ++i)
                EXPECT_TRUE(name[i] >= 0x20 && CString(u"<>:\"/\\|?*\x7f").Find(name[i]) < 0) << name.ToUtf8();
        }
    }
}

// What gpg 2.2 says on its status channel while it decrypts a file.
const char* const kDecryptionStatus =
    "[GNUPG:] ENC_TO 5018D1A27CC91CF0 18 0\n"
    "[GNUPG:] ENC_TO 0000000000000000 18 0\n"
    "[GNUPG:] KEY_CONSIDERED 58DE76F6C0211B6249A29E28901627FBA9B81F00 0\n"
    "[GNUPG:] DECRYPTION_KEY EFB9E908F78B70A9C00B9A085018D1A27CC91CF0 58DE76F6C0211B6249A29E28901627FBA9B81F00 u\n"
    "[GNUPG:] BEGIN_DECRYPTION\n"
    "[GNUPG:] DECRYPTION_INFO 2 9 0\n"
    "[GNUPG:] PLAINTEXT 62 1796709311 a%20b%25c%0Ad\xc3\xa4\"e:f%09g%01+~.txt\n"
    "[GNUPG:] PLAINTEXT_LENGTH 3\n"
    "[GNUPG:] DECRYPTION_OKAY\n"
    "[GNUPG:] GOODMDC\n"
    "[GNUPG:] END_DECRYPTION\n";

SGnuPGStatus ReadStatus(std::string_view text)
{
    CGnuPGStatusReader reader;
    reader.Feed(text);
    reader.Finish();
    return reader.Status();
}

bool SameStatus(const SGnuPGStatus& a, const SGnuPGStatus& b)
{
    if (a.recipients.GetSize() != b.recipients.GetSize())
        return false;
    for (int i = 0; i < a.recipients.GetSize(); ++i)
        if (a.recipients[i] != b.recipients[i])
            return false;
    return a.beginDecryption == b.beginDecryption && a.plaintext == b.plaintext &&
           a.hasPlaintextTime == b.hasPlaintextTime && a.plaintextTime == b.plaintextTime &&
           a.plaintextName == b.plaintextName && a.decryptionOkay == b.decryptionOkay &&
           a.decryptionFailed == b.decryptionFailed && a.noSecretKey == b.noSecretKey &&
           a.passphraseRefused == b.passphraseRefused;
}

TEST(GnuPGParsingTest, StatusOfADecryptionInOneOrManyPieces)
{
    const SGnuPGStatus whole = ReadStatus(kDecryptionStatus);
    ASSERT_EQ(whole.recipients.GetSize(), 2);
    EXPECT_EQ(whole.recipients[0], 0x5018D1A27CC91CF0ull);
    EXPECT_EQ(whole.recipients[1], 0u); // a hidden recipient
    EXPECT_TRUE(whole.beginDecryption);
    EXPECT_TRUE(whole.plaintext);
    EXPECT_TRUE(whole.hasPlaintextTime);
    EXPECT_EQ(whole.plaintextTime, 1796709311);
    EXPECT_EQ(whole.plaintextName, "a%20b%25c%0Ad\xc3\xa4\"e:f%09g%01+~.txt");
    EXPECT_TRUE(whole.decryptionOkay);
    EXPECT_FALSE(whole.decryptionFailed || whole.noSecretKey || whole.passphraseRefused);
    // The name follows the rules of a recorded name in a packet listing.
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName(whole.plaintextName), CString(u"a b%c_d\u00e4_e_f_g_+~.txt"));

    // Byte by byte, with "\r\n" line ends and without a last line end.
    std::string crlf;
    for (const char* c = kDecryptionStatus; *c; ++c)
        crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    crlf.pop_back();
    crlf.pop_back();
    CGnuPGStatusReader reader;
    for (char c : crlf)
        ASSERT_TRUE(reader.Feed(std::string_view(&c, 1)));
    reader.Finish();
    EXPECT_TRUE(SameStatus(reader.Status(), whole));

    // A line counts only once its line feed (or the end) has come.
    CGnuPGStatusReader partial;
    partial.Feed("[GNUPG:] ENC_TO 5018D1A27CC91CF0 18 0\n[GNUPG:] PLAINTEXT 62 17967");
    EXPECT_EQ(partial.Status().recipients.GetSize(), 1);
    EXPECT_FALSE(partial.Status().plaintext);
    partial.Feed("09311 x\n");
    EXPECT_TRUE(partial.Status().plaintext);
    EXPECT_EQ(partial.Status().plaintextTime, 1796709311);
}

TEST(GnuPGParsingTest, StatusLinesAreReadStrictly)
{
    const SGnuPGStatus status = ReadStatus(
        "gpg: [GNUPG:] ENC_TO 1111111111111111 18 0\n"   // not at the start
        "[GNUPG:]  ENC_TO 2222222222222222 18 0\n"       // two blanks: no keyword
        "[GNUPG:] ENC_TOO 3333333333333333 18 0\n"       // another keyword
        "[GNUPG:] ENC_TO 44444444444444444 18 0\n"       // 17 digits
        "[GNUPG:] ENC_TO 55555555555G5555 18 0\n"        // not hexadecimal
        "[GNUPG:] ENC_TO\n"                              // no id
        "[GNUPG:] ENC_TO a1 18 0\n"                      // short ids are ids
        "[GNUPG:] enc_to 6666666666666666 18 0\n"        // keywords are case-sensitive
        "[GNUPG:] PLAINTEXT 62 99999999999999999999 n\n" // a time that does not fit
        "[GNUPG:] PLAINTEXT 74 5 second\n");             // only the first counts
    ASSERT_EQ(status.recipients.GetSize(), 1);
    EXPECT_EQ(status.recipients[0], 0xA1u);
    EXPECT_TRUE(status.plaintext);
    EXPECT_FALSE(status.hasPlaintextTime);
    EXPECT_EQ(status.plaintextTime, 0);
    EXPECT_EQ(status.plaintextName, "n");
    EXPECT_FALSE(status.beginDecryption);

    // A PLAINTEXT line without its arguments still says plain data comes.
    SGnuPGStatus bare = ReadStatus("[GNUPG:] PLAINTEXT\n");
    EXPECT_TRUE(bare.plaintext);
    EXPECT_FALSE(bare.hasPlaintextTime);
    EXPECT_TRUE(bare.plaintextName.empty());
    SGnuPGStatus badFormat = ReadStatus("[GNUPG:] PLAINTEXT 6x2 5 n\n");
    EXPECT_TRUE(badFormat.plaintext);
    EXPECT_FALSE(badFormat.hasPlaintextTime);
    EXPECT_TRUE(badFormat.plaintextName.empty());

    // Escapes: broken ones stay text; names that mean a folder are refused.
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName("a%2"), CString(u"a%2"));
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName("a%g1%"), CString(u"a%g1%"));
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName("..%2F..%2fetc%2Fpasswd"), CString(u".._.._etc_passwd"));
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName("%2E%2e"), CString());
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName(""), CString());
    EXPECT_EQ(CEncryptionGnuPG::DecodeStatusName(std::string(600, 'n')), CString(u'n', 246));
}

TEST(GnuPGParsingTest, StatusGivesTheMessageOfAFailedRun)
{
    auto messageOf = [](std::string_view text) {
        CGnuPGStatusReader reader;
        reader.Feed(text);
        reader.Finish();
        return reader.FailureMessageId();
    };
    // Wrong passphrase and cancelled prompt for a key, as gpg 2.2 says them.
    EXPECT_EQ(messageOf("[GNUPG:] ENC_TO B092FD3F3E82E8DD 18 0\n[GNUPG:] ERROR pkdecrypt_failed 67108875\n"
                        "[GNUPG:] BEGIN_DECRYPTION\n[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n"),
              2005u);
    EXPECT_EQ(messageOf("[GNUPG:] ERROR pkdecrypt_failed 67108963\n[GNUPG:] DECRYPTION_FAILED\n"), 2005u);
    // A cancelled passphrase prompt of a symmetric file is the user's choice, no unknown failure.
    EXPECT_EQ(messageOf("[GNUPG:] NEED_PASSPHRASE_SYM 9 3 2\n[GNUPG:] CANCELED_BY_USER\n[GNUPG:] BEGIN_DECRYPTION\n"
                        "[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n"),
              2005u);
    EXPECT_EQ(messageOf("[GNUPG:] MISSING_PASSPHRASE\r\n"), 2005u);
    EXPECT_EQ(messageOf("[GNUPG:] NO_SECKEY 1\n[GNUPG:] BAD_PASSPHRASE 2\n[GNUPG:] DECRYPTION_FAILED\n"), 2005u);
    EXPECT_EQ(messageOf("[GNUPG:] ENC_TO FB1B5C7304C6ADAC 18 0\n[GNUPG:] NO_SECKEY FB1B5C7304C6ADAC\n"
                        "[GNUPG:] BEGIN_DECRYPTION\n[GNUPG:] DECRYPTION_FAILED\n"),
              2006u);
    EXPECT_EQ(messageOf("[GNUPG:] NO_SECKEY FB1B5C7304C6ADAC\n"), 2001u);
    EXPECT_EQ(messageOf("[GNUPG:] NODATA 1\n[GNUPG:] FAILURE decrypt 4294967295\n"), 2001u);
    EXPECT_EQ(messageOf(""), 2001u);
    // Keywords inside a recorded name or a user id are no status.
    EXPECT_EQ(messageOf("[GNUPG:] USERID_HINT 1 BAD_PASSPHRASE CANCELED_BY_USER\n"
                        "[GNUPG:] PLAINTEXT 62 5 NO_SECKEY%20BAD_PASSPHRASE\n[GNUPG:] DECRYPTION_FAILED\n"),
              2001u);
}

TEST(GnuPGParsingTest, StatusChannelKeepsNothingBeyondItsLimit)
{
    const std::string line = "[GNUPG:] ENC_TO 5018D1A27CC91CF0 18 0\n";
    CGnuPGStatusReader reader(3 * line.size());
    EXPECT_TRUE(reader.Feed(line + line));
    EXPECT_TRUE(reader.Feed(line)); // exactly the limit
    EXPECT_FALSE(reader.IsOverLimit());
    EXPECT_FALSE(reader.Feed("["));
    EXPECT_TRUE(reader.IsOverLimit());
    EXPECT_FALSE(reader.Feed(line));
    reader.Finish();
    EXPECT_EQ(reader.Status().recipients.GetSize(), 3);

    // A line that the limit cuts is not read, not even by Finish.
    CGnuPGStatusReader cut(line.size() + 20);
    EXPECT_FALSE(cut.Feed(line + line));
    cut.Finish();
    EXPECT_EQ(cut.Status().recipients.GetSize(), 1);
}

// The status channel is as untrusted as the listings: mutated and cut
// transcripts, fed in random pieces, must read the same as when fed whole
// and keep every promise of the reader.
TEST(GnuPGParsingTest, MutatedStatusLinesKeepTheReaderInBounds)
{
    const std::string seeds[] = {
        kDecryptionStatus,
        "[GNUPG:] ENC_TO B092FD3F3E82E8DD 18 0\n[GNUPG:] ERROR pkdecrypt_failed 67108963\n"
        "[GNUPG:] BEGIN_DECRYPTION\n[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n",
        "[GNUPG:] NEED_PASSPHRASE_SYM 9 3 2\n[GNUPG:] CANCELED_BY_USER\n[GNUPG:] NO_SECKEY 1\n",
        "[GNUPG:] PLAINTEXT 75 0 %2E%2E%2F\xc3\xa4%\n[GNUPG:] PLAINTEXT_LENGTH 0\n",
    };
    const char* const pieces[] = {"\n",       "\r\n",       " ",         "%",     "%2",         "%0A", "%C3%A4",
                                  "[GNUPG:] ", "ENC_TO ",   "PLAINTEXT ", "ERROR ", "67108875", "\xc3", "\xff",
                                  "\xf0\x9f\x98\x80", "BEGIN_DECRYPTION", "0000000000000000", ":", "/"};
    std::mt19937 random(20261208);
    for (int round = 0; round < 4000; ++round) {
        std::string text = seeds[random() % std::size(seeds)];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            size_t at = random() % (text.size() + 1);
            switch (random() % 4) {
            case 0: text.insert(at, pieces[random() % std::size(pieces)]); break;
            case 1: text.erase(at, random() % 12); break;
            case 2:
                if (at < text.size())
                    text[at] = static_cast<char>(random() % 256);
                break;
            default: text.resize(at); break; // cut off, as a stopped run leaves it
            }
        }
        const SGnuPGStatus whole = ReadStatus(text);
        CGnuPGStatusReader pieced;
        for (size_t at = 0; at < text.size();) {
            size_t n = std::min(text.size() - at, static_cast<size_t>(1 + random() % 40));
            pieced.Feed(std::string_view(text).substr(at, n));
            at += n;
        }
        pieced.Finish();
        ASSERT_TRUE(SameStatus(pieced.Status(), whole)) << text;

        size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        EXPECT_LE(static_cast<size_t>(whole.recipients.GetSize()), lines);
        EXPECT_GE(whole.plaintextTime, 0);
        UINT id = pieced.FailureMessageId();
        EXPECT_TRUE(id == 2001u || id == 2005u || id == 2006u);
        CString name = CEncryptionGnuPG::DecodeStatusName(whole.plaintextName);
        if (!name.IsEmpty()) {
            EXPECT_LE(name.ToUtf8().size(), 246u);
            EXPECT_NE(name, CString(u"."));
            EXPECT_NE(name, CString(u".."));
            for (int i = 0; i < name.GetLength(); ++i)
                EXPECT_TRUE(name[i] >= 0x20 && CString(u"<>:\"/\\|?*\x7f").Find(name[i]) < 0) << name.ToUtf8();
        }
        // A limit anywhere in the text: what lies before it reads as it does alone.
        size_t limit = random() % (text.size() + 1);
        CGnuPGStatusReader limited(limit);
        limited.Feed(text);
        limited.Finish();
        std::string kept = text.substr(0, limit);
        if (limit < text.size())
            kept = kept.substr(0, kept.rfind('\n') == std::string::npos ? 0 : kept.rfind('\n') + 1);
        EXPECT_TRUE(SameStatus(limited.Status(), ReadStatus(kept))) << text;
    }
}

} // namespace
