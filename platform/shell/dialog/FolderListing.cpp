#include "platform/shell/dialog/FolderListing.h"

#include <algorithm>

#include "platform/FileSystem.h"
#include "platform/Time.h"
#include "platform/shell/dialog/FileNameText.h"

namespace platform {

bool CFolderListing::List(const CString& folder, const SFilter& filter, std::vector<SEntry>& entries)
{
    entries.clear();
    std::vector<FileEntry> found;
    if (!EnumerateDirectory(folder, u"*", found))
        return false;
    for (const FileEntry& item : found) {
        if (!filter.showHidden && (item.attributes & FILE_ATTRIBUTE_HIDDEN))
            continue;
        bool isFolder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!isFolder) {
            if (filter.foldersOnly)
                continue;
            bool passes = !filter.pattern.IsEmpty() ? MatchWildcard(filter.pattern, item.name)
                          : filter.types              ? filter.types->Matches(filter.typeIndex, item.name)
                                                      : true;
            if (!passes)
                continue;
        }
        entries.push_back(SEntry{item.name, isFolder, isFolder ? 0 : item.size, item.lastWriteTime});
    }
    // The enumeration is ordered by name already; folders go first.
    std::stable_partition(entries.begin(), entries.end(), [](const SEntry& e) { return e.folder; });
    return true;
}

CString CFolderListing::DateText(std::int64_t modified)
{
    SLocalTime local{};
    if (!ToLocalTime(modified, local))
        return CString();
    CString text;
    text.Format(u"%04d-%02d-%02d %02d:%02d", local.year, local.month, local.day, local.hour, local.minute);
    return text;
}

CString CFolderListing::TypeText(const SEntry& entry)
{
    if (entry.folder)
        return u"Folder";
    CString extension = CFileNameText::Extension(entry.name);
    if (extension.IsEmpty())
        return u"File";
    return extension.MakeUpper() + u" File";
}

CString CFolderListing::SizeText(const SEntry& entry)
{
    if (entry.folder)
        return CString();
    ULONGLONG kb = (entry.size + 1023) / 1024;
    CString digits;
    digits.Format(u"%llu", kb);
    CString grouped;
    for (int i = 0; i < digits.GetLength(); ++i) {
        if (i > 0 && (digits.GetLength() - i) % 3 == 0)
            grouped += u',';
        grouped += digits[i];
    }
    return grouped + u" KB";
}

} // namespace platform
