// The resource-script parser: turns the preprocessed tokens of a script
// into resources in the Windows binary layouts (string blocks, extended
// dialog templates, icon groups and images, bitmaps, version blocks).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Tokens.h"

namespace rcgen {

struct Resource {
    uint16_t type = 0;
    uint16_t language = 0;
    uint32_t id = 0;
    std::vector<uint8_t> data;
};

struct CompiledScript {
    std::vector<Resource> resources;          // sorted by type, id, language
    struct StringEntry {
        uint16_t language;
        std::u16string text;
    };
    std::map<uint32_t, StringEntry> strings;  // every string by id
};

// Parses a whole script. `folder` is where files named by ICON, BITMAP and
// raw resources are looked up. Throws ScriptError on the first problem.
CompiledScript CompileScript(const std::vector<Token>& tokens, const std::string& folder);

} // namespace rcgen
