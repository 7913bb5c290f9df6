#include <gtest/gtest.h>

#include "GnuPGStatus.h"

namespace {

UINT Map(const char16_t* text)
{
    return GnuPGStatusMessageId(CString(text));
}

} // namespace

TEST(GnuPGStatusTest, KeywordsInTheirOrder)
{
    EXPECT_EQ(Map(u"[GNUPG:] BAD_PASSPHRASE 0123456789ABCDEF\n"), 2005u);
    EXPECT_EQ(Map(u"[GNUPG:] MISSING_PASSPHRASE\n"), 2005u);
    // A cancelled prompt for the passphrase of a symmetric file.
    EXPECT_EQ(Map(u"[GNUPG:] NEED_PASSPHRASE_SYM 9 3 2\n[GNUPG:] CANCELED_BY_USER\n[GNUPG:] BEGIN_DECRYPTION\n"
                  u"[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n"),
              2005u);
    // A passphrase problem wins over a missing secret key.
    EXPECT_EQ(Map(u"[GNUPG:] NO_SECKEY 1\n[GNUPG:] BAD_PASSPHRASE 2\n[GNUPG:] DECRYPTION_FAILED\n"), 2005u);
    EXPECT_EQ(Map(u"[GNUPG:] ENC_TO FB1B5C7304C6ADAC 18 0\n[GNUPG:] NO_SECKEY FB1B5C7304C6ADAC\n"
                  u"[GNUPG:] BEGIN_DECRYPTION\n[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n"),
              2006u);
    EXPECT_EQ(Map(u"[GNUPG:] NO_SECKEY FB1B5C7304C6ADAC\n"), 2001u);
    EXPECT_EQ(Map(u"[GNUPG:] DECRYPTION_FAILED\n"), 2001u);
    EXPECT_EQ(Map(u"[GNUPG:] NODATA 1\n[GNUPG:] FAILURE decrypt 4294967295\n"), 2001u);
    EXPECT_EQ(Map(u""), 2001u);
    // Keywords are case-sensitive.
    EXPECT_EQ(Map(u"[GNUPG:] bad_passphrase\n"), 2001u);
}

TEST(GnuPGStatusTest, PassphraseErrorCodesOfGnuPG22)
{
    // What gpg 2.2 writes for a wrong passphrase and for a cancelled prompt.
    EXPECT_EQ(Map(u"[GNUPG:] ENC_TO EAD65A659D188E9F 18 0\n[GNUPG:] PINENTRY_LAUNCHED 9037 test 1.2.1 - - -\n"
                  u"[GNUPG:] ERROR pkdecrypt_failed 67108875\n[GNUPG:] BEGIN_DECRYPTION\n"
                  u"[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n"),
              2005u);
    EXPECT_EQ(Map(u"[GNUPG:] ERROR pkdecrypt_failed 83886179\n[GNUPG:] DECRYPTION_FAILED\n"), 2005u);
    // Only the low 16 bits count: any source, 177 = no passphrase.
    EXPECT_EQ(Map(u"[GNUPG:] ERROR keysig 177\r\n"), 2005u);
    EXPECT_EQ(Map(u"[GNUPG:] ERROR x 65547 extra words\n"), 2005u); // 0x1000B
    // A value wider than 64 bits still gives its low 16 bits (2^100 + 99).
    EXPECT_EQ(Map(u"[GNUPG:] ERROR x 1267650600228229401496703205475 \n"), 2005u);
    EXPECT_EQ(Map(u"[GNUPG:] ERROR x 99999999999999999999999999999999999\n"), 2001u); // low bits 65535
}

TEST(GnuPGStatusTest, OtherErrorLinesAreNotPassphraseErrors)
{
    EXPECT_EQ(Map(u"[GNUPG:] ERROR pkdecrypt_failed 33554449\n[GNUPG:] DECRYPTION_FAILED\n"), 2001u); // 17
    EXPECT_EQ(Map(u"[GNUPG:] FAILURE decrypt 67108875\n"), 2001u);
    EXPECT_EQ(Map(u"[GNUPG:] ERROR 67108875\n"), 2001u);          // no location
    EXPECT_EQ(Map(u"[GNUPG:] ERROR x 67108875abc\n"), 2001u);     // not a number
    EXPECT_EQ(Map(u"[GNUPG:] ERROR x 0x63\n"), 2001u);
    EXPECT_EQ(Map(u"[GNUPG:] NOTATION_DATA ERROR x 11\n"), 2001u); // not at the line start
    EXPECT_EQ(Map(u"[GNUPG:] ERROR x 1000011\n"), 2001u);          // 1000011 & 0xFFFF = 16971
}
