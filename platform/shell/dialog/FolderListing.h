// What a file dialog lists for a folder: its subfolders and the files the
// current file type (or a typed pattern) lets through, and the texts of the
// columns (name, date modified, type, size).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/CString.h"
#include "platform/WinTypes.h"
#include "platform/shell/dialog/FileTypes.h"

namespace platform {

class CFolderListing {
public:
    struct SEntry {
        CString name;
        bool folder = false;
        ULONGLONG size = 0;
        std::int64_t modified = 0; // seconds since 1970
    };

    struct SFilter {
        const CFileTypes* types = nullptr;
        size_t typeIndex = 0;   // 0-based index into types
        CString pattern;        // a pattern the user typed; replaces the type's when set
        bool showHidden = false; // names starting with '.'
        bool foldersOnly = false;
    };

    // Lists `folder`: folders first, then files, each by name (case
    // ignored). Returns false when the folder cannot be read.
    static bool List(const CString& folder, const SFilter& filter, std::vector<SEntry>& entries);

    static CString DateText(std::int64_t modified);   // "2024-03-01 14:05" (local time)
    static CString TypeText(const SEntry& entry);     // "Folder", "TXT File", "File"
    static CString SizeText(const SEntry& entry);     // "" for folders, else whole KB rounded up: "1 KB", "2,048 KB"
};

} // namespace platform
