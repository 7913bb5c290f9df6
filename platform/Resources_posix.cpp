#include "platform/Resources_p.h"

#include "platform/ResourceTable.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

struct LanguageCode {
    const char* language;   // ISO 639-1
    WORD primary;           // Windows primary language id
};
const LanguageCode kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
    {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E},
    {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14},
    {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C},
    {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"uk", 0x22}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26},
    {"lt", 0x27}, {"vi", 0x2A},
};

// Sub-language ids of the country variants that differ from the language's
// first one (1); e.g. de_AT is German (Austria), 0x0C07.
struct CountryVariant {
    const char* locale;
    WORD sublanguage;
};
const CountryVariant kVariants[] = {
    {"de_CH", 2}, {"de_AT", 3}, {"de_LU", 4}, {"de_LI", 5}, {"en_GB", 2}, {"en_AU", 3}, {"en_CA", 4},
    {"en_NZ", 5}, {"en_IE", 6}, {"fr_BE", 2}, {"fr_CA", 3}, {"fr_CH", 4}, {"fr_LU", 5}, {"it_CH", 2},
    {"nl_BE", 2}, {"pt_PT", 2}, {"es_MX", 2}, {"zh_CN", 2}, {"sv_FI", 2},
};

// Resources are tables of entries in a module's data, exported under one
// symbol (ResourceTable.h).
const VeilResourceEntry* FindEntry(ResourceSource source, WORD type, UINT id, WORD language)
{
    auto* table = static_cast<const VeilResourceTable*>(source);
    for (uint32_t i = 0; i < table->count; ++i) {
        const VeilResourceEntry& e = table->entries[i];
        if (e.type == type && e.id == id && e.language == language)
            return &e;
    }
    return nullptr;
}

const VeilResourceEntry* FindAnyLanguage(ResourceSource source, WORD type, UINT id)
{
    auto* table = static_cast<const VeilResourceTable*>(source);
    for (uint32_t i = 0; i < table->count; ++i) {
        const VeilResourceEntry& e = table->entries[i];
        if (e.type == type && e.id == id)
            return &e;
    }
    return nullptr;
}

} // namespace

ResourceSource ResourcesOfModule(ModuleHandle module)
{
    if (!module)
        return nullptr;
    auto* table = static_cast<const VeilResourceTable*>(ModuleSymbol(module, VEILCASE_RESOURCE_TABLE_SYMBOL));
    if (!table || table->magic != VEILCASE_RESOURCE_TABLE_MAGIC || table->version != VEILCASE_RESOURCE_TABLE_VERSION)
        return nullptr;
    // A module without a table of its own still finds the symbol of a module
    // it depends on; only a table inside this very module counts.
    if (ModuleFromAddress(table) != module)
        return nullptr;
    return table;
}

bool FindResourceBytes(ResourceSource source, ResourceType type, UINT id, ResourceBytes& out, WORD language)
{
    if (!source)
        return false;
    const auto t = static_cast<WORD>(type);
    const VeilResourceEntry* entry = nullptr;
    if (language)
        entry = FindEntry(source, t, id, language);
    if (!entry)
        entry = FindEntry(source, t, id, GetUserDefaultLangID());
    if (!entry)
        entry = FindEntry(source, t, id, LANG_ID_NEUTRAL);
    if (!entry)
        entry = FindAnyLanguage(source, t, id);
    if (!entry)
        return false;
    out.data = entry->data;
    out.size = entry->size;
    out.language = entry->language;
    return true;
}

bool HasResource(ResourceSource source, ResourceType type, UINT id)
{
    return source && FindAnyLanguage(source, static_cast<WORD>(type), id);
}

WORD GetUserDefaultLangID()
{
    const char* locale = nullptr;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) {
            locale = v;
            break;
        }
    }
    constexpr WORD englishUS = 0x0409;
    if (!locale)
        return englishUS;
    std::string text = locale;
    std::string language = text.substr(0, text.find_first_of("_.@"));
    for (const auto& l : kLanguages) {
        if (language != l.language)
            continue;
        WORD sublanguage = 1;
        std::string country = text.substr(0, text.find_first_of(".@"));
        for (const auto& v : kVariants)
            if (country == v.locale)
                sublanguage = v.sublanguage;
        return static_cast<WORD>((sublanguage << 10) | l.primary);
    }
    return englishUS;
}

} // namespace platform
