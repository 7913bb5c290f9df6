#include "Encryption.h"

#include "EncryptionGnuPG.h"

IEncryption& CEncryption::GetDefault()
{
    // Made on first use and destroyed when the library unloads.
    static CEncryptionGnuPG engine;
    return engine;
}
