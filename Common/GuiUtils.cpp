#include "GuiUtils.h"

#include <vector>

#include "platform/Resources.h"

CString CGuiUtils::GetProductVersion()
{
    std::vector<BYTE> block;
    if (!platform::LoadVersionBlock(block))
        return CString();

    // The string table to read is named by language and code page; take
    // them from the first translation entry, or assume the user's language
    // with the Unicode code page when the block has no usable table.
    CString path;
    const BYTE* translation = nullptr;
    UINT length = 0;
    if (!platform::VerQueryValue(block, u"\\VarFileInfo\\Translation", &translation, &length) || length != 4) {
        path.Format(u"\\StringFileInfo\\%04X04B0\\%s", static_cast<unsigned>(platform::GetUserDefaultLangID()),
                    u"ProductVersion");
    } else {
        const unsigned language = translation[0] | (translation[1] << 8);
        const unsigned codePage = translation[2] | (translation[3] << 8);
        path.Format(u"\\StringFileInfo\\%02X%02X%02X%02X\\%s", language >> 8, language & 0xFF, codePage >> 8,
                    codePage & 0xFF, u"ProductVersion");
    }

    const BYTE* value = nullptr;
    if (!platform::VerQueryValue(block, path, &value, &length))
        return CString();
    // The length counts characters including the terminator; stop at the
    // first zero in any case.
    std::u16string text;
    for (UINT i = 0; i < length; ++i) {
        char16_t c = static_cast<char16_t>(value[2 * i] | (value[2 * i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return CString(std::move(text));
}
