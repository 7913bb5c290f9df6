#include "platform/Resources.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/Resources_p.h"

namespace platform {

namespace {

// The process-wide resource chain, set up on first use.
struct Chain {
    std::mutex mutex;
    bool initialised = false;
    std::vector<ResourceSource> sources;
};

Chain& TheChain()
{
    static Chain chain;
    return chain;
}

void AddressInThisModule() {}

// The resource module of this build's bitness.
const char16_t* ResourceModuleName()
{
    return sizeof(void*) == 8 ? u"veilcaseRes64.dll" : u"veilcaseRes32.dll";
}

// First use: this module's own resources, then the resource module beside it.
void InitialiseLocked(Chain& chain)
{
    if (chain.initialised)
        return;
    chain.initialised = true;
    const void* self = reinterpret_cast<const void*>(&AddressInThisModule);
    if (ResourceSource own = ResourcesOfModule(ModuleFromAddress(self)))
        chain.sources.push_back(own);
    if (ModuleHandle module = LoadResourceModule(ResourceModuleName(), self)) {
        ResourceSource source = ResourcesOfModule(module);
        if (std::find(chain.sources.begin(), chain.sources.end(), source) == chain.sources.end())
            chain.sources.push_back(source);
    }
}

std::vector<ResourceSource> ChainSnapshot()
{
    Chain& chain = TheChain();
    std::lock_guard<std::mutex> lock(chain.mutex);
    InitialiseLocked(chain);
    return chain.sources;
}

WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
DWORD Le32(const BYTE* p) { return static_cast<DWORD>(Le16(p)) | (static_cast<DWORD>(Le16(p + 2)) << 16); }
void Put16(std::vector<BYTE>& out, DWORD v)
{
    out.push_back(static_cast<BYTE>(v & 0xFF));
    out.push_back(static_cast<BYTE>((v >> 8) & 0xFF));
}
void Put32(std::vector<BYTE>& out, DWORD v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The bytes of a resource from the first source in the chain that has it.
bool FindInChain(ResourceType type, UINT id, ResourceBytes& out)
{
    for (ResourceSource source : ChainSnapshot())
        if (FindResourceBytes(source, type, id, out))
            return true;
    return false;
}

} // namespace

ModuleHandle LoadResourceModule(const CString& name, const void* askingAddress, CString* error)
{
    ModuleHandle module = LoadModule(name, askingAddress, error);
    if (module && !ResourcesOfModule(module)) {
        if (error)
            *error = u"the module " + name + u" carries no resources";
        FreeModule(module);
        return nullptr;
    }
    return module;
}

void AddResourceSource(ResourceSource source, bool first)
{
    if (!source)
        return;
    Chain& chain = TheChain();
    std::lock_guard<std::mutex> lock(chain.mutex);
    InitialiseLocked(chain);
    if (std::find(chain.sources.begin(), chain.sources.end(), source) != chain.sources.end())
        return;
    if (first)
        chain.sources.insert(chain.sources.begin(), source);
    else
        chain.sources.push_back(source);
}

void RemoveResourceSource(ResourceSource source)
{
    Chain& chain = TheChain();
    std::lock_guard<std::mutex> lock(chain.mutex);
    InitialiseLocked(chain);
    chain.sources.erase(std::remove(chain.sources.begin(), chain.sources.end(), source), chain.sources.end());
}

std::vector<ResourceSource> ResourceChain() { return ChainSnapshot(); }

ResourceSource FindResourceSource(ResourceType type, UINT id)
{
    UINT key = type == ResourceType::String ? (id >> 4) + 1 : id;
    for (ResourceSource source : ChainSnapshot())
        if (HasResource(source, type, key))
            return source;
    return nullptr;
}

std::vector<UINT> ResourceIds(ResourceType type)
{
    const std::vector<ResourceSource> chain = ChainSnapshot();
    std::vector<UINT> ids;
    for (UINT id = 1; id <= 0xFFFF; ++id)
        for (ResourceSource source : chain)
            if (HasResource(source, type, id)) {
                ids.push_back(id);
                break;
            }
    return ids;
}

bool LoadResourceString(ResourceSource source, UINT id, CString& out)
{
    out.Empty();
    ResourceBytes block;
    if (id > 0xFFFF || !FindResourceBytes(source, ResourceType::String, (id >> 4) + 1, block))
        return false;
    // A block holds 16 strings, each a 16-bit length and that many units;
    // an absent string has length 0, so an empty one counts as absent.
    size_t pos = 0;
    for (UINT index = 0; index < 16; ++index) {
        if (pos + 2 > block.size)
            return false;
        size_t length = Le16(block.data + pos);
        pos += 2;
        if (pos + length * 2 > block.size)
            return false;
        if (index == (id & 15)) {
            if (length == 0)
                return false;
            std::u16string text(length, u'\0');
            for (size_t k = 0; k < length; ++k)
                text[k] = static_cast<char16_t>(Le16(block.data + pos + 2 * k));
            out = CString(std::move(text));
            return true;
        }
        pos += length * 2;
    }
    return false;
}

bool LoadResourceString(UINT id, CString& out)
{
    out.Empty();
    for (ResourceSource source : ChainSnapshot())
        if (LoadResourceString(source, id, out))
            return true;
    return false;
}

bool LoadDialogTemplate(UINT id, DialogTemplate& out)
{
    ResourceBytes bytes;
    if (!FindInChain(ResourceType::Dialog, id, bytes) || !DecodeDialogTemplate(bytes.data, bytes.size, out))
        return false;
    out.id = id;
    out.language = bytes.language;
    return true;
}

bool LoadIconFile(UINT id, std::vector<BYTE>& icoFile)
{
    icoFile.clear();
    ResourceSource source = FindResourceSource(ResourceType::GroupIcon, id);
    ResourceBytes group;
    if (!FindResourceBytes(source, ResourceType::GroupIcon, id, group) || group.size < 6)
        return false;
    const size_t count = Le16(group.data + 4);
    if (Le16(group.data + 2) != 1 || count == 0 || group.size < 6 + 14 * count)
        return false;
    std::vector<ResourceBytes> images(count);
    for (size_t i = 0; i < count; ++i) {
        const BYTE* entry = group.data + 6 + 14 * i;
        if (!FindResourceBytes(source, ResourceType::Icon, Le16(entry + 12), images[i], group.language))
            return false;
    }
    // The file's directory entries are the group's with a file offset in
    // place of the image id.
    std::vector<BYTE> out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, static_cast<DWORD>(count));
    DWORD offset = static_cast<DWORD>(6 + 16 * count);
    for (size_t i = 0; i < count; ++i) {
        const BYTE* entry = group.data + 6 + 14 * i;
        out.insert(out.end(), entry, entry + 8);
        Put32(out, static_cast<DWORD>(images[i].size));
        Put32(out, offset);
        offset += static_cast<DWORD>(images[i].size);
    }
    for (const auto& image : images)
        out.insert(out.end(), image.data, image.data + image.size);
    icoFile = std::move(out);
    return true;
}

bool LoadBitmapFile(UINT id, std::vector<BYTE>& bmpFile)
{
    bmpFile.clear();
    ResourceBytes dib;
    if (!FindInChain(ResourceType::Bitmap, id, dib) || dib.size < 40)
        return false;
    const DWORD headerSize = Le32(dib.data);
    const WORD bitCount = Le16(dib.data + 14);
    const DWORD compression = Le32(dib.data + 16);
    DWORD colours = Le32(dib.data + 32);
    if (colours == 0 && bitCount <= 8)
        colours = 1u << bitCount;
    DWORD masks = (compression == 3 && headerSize == 40) ? 12 : 0; // BI_BITFIELDS after a short header
    const DWORD bitsOffset = 14 + headerSize + masks + colours * 4;
    if (headerSize < 40 || bitsOffset - 14 > dib.size)
        return false;
    std::vector<BYTE> out{'B', 'M'};
    Put32(out, static_cast<DWORD>(14 + dib.size));
    Put32(out, 0);
    Put32(out, bitsOffset);
    out.insert(out.end(), dib.data, dib.data + dib.size);
    bmpFile = std::move(out);
    return true;
}

bool LoadVersionBlock(std::vector<BYTE>& block)
{
    block.clear();
    ResourceBytes bytes;
    if (!FindInChain(ResourceType::Version, 1, bytes))
        return false;
    block.assign(bytes.data, bytes.data + bytes.size);
    return true;
}

} // namespace platform
