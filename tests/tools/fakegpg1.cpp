// Test stand-in for an old GnuPG: prints a GnuPG 1.x version banner the way
// gpg 1.4 does and exits with 0, whatever it is asked.
#include <cstdio>

int main()
{
    std::fputs("gpg (GnuPG) 1.4.23\n"
               "Copyright (C) 2015 Free Software Foundation, Inc.\n"
               "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"
               "This is free software: you are free to change and redistribute it.\n"
               "There is NO WARRANTY, to the extent permitted by law.\n"
               "\n"
               "Home: ~/.gnupg\n"
               "Supported algorithms:\n"
               "Pubkey: RSA, RSA-E, RSA-S, ELG-E, DSA\n"
               "Cipher: IDEA, 3DES, CAST5, BLOWFISH, AES, AES192, AES256, TWOFISH,\n"
               "        CAMELLIA128, CAMELLIA192, CAMELLIA256\n"
               "Hash: MD5, SHA1, RIPEMD160, SHA256, SHA384, SHA512, SHA224\n"
               "Compression: Uncompressed, ZIP, ZLIB, BZIP2\n",
               stdout);
    return 0;
}
