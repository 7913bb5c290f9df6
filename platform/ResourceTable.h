// The data layout a resource module exports: one table of resources, each
// a (type, id, language) key and the bytes in the Windows binary layout of
// that type. Plain C layout, shared by the generator and the loader.
#pragma once

#include <stdint.h>

// Name of the one symbol a resource module exports.
#define VEILCASE_RESOURCE_TABLE_SYMBOL "veilcase_resource_table"
// First field of every table; a module whose table starts otherwise is
// not one of ours and is ignored.
#define VEILCASE_RESOURCE_TABLE_MAGIC 0x52534556u /* "VESR" */
#define VEILCASE_RESOURCE_TABLE_VERSION 1u

struct VeilResourceEntry {
    uint16_t type;            // Windows resource type number (6 = string block, ...)
    uint16_t language;        // Windows language id (1031 = German, 1033 = English US)
    uint32_t id;              // resource id (string blocks: (string id >> 4) + 1)
    const unsigned char* data;
    uint32_t size;            // bytes at data
};

struct VeilResourceTable {
    uint32_t magic;           // VEILCASE_RESOURCE_TABLE_MAGIC
    uint32_t version;         // VEILCASE_RESOURCE_TABLE_VERSION
    uint32_t count;           // entries in `entries`
    const struct VeilResourceEntry* entries;
};
