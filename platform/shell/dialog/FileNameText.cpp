#include "platform/shell/dialog/FileNameText.h"

#include "platform/shell/ItemIdList.h"

namespace platform {

std::vector<CString> CFileNameText::Split(const CString& text)
{
    std::vector<CString> names;
    if (text.Find(u'"') < 0) {
        CString name = text;
        name.Trim();
        if (!name.IsEmpty())
            names.push_back(name);
        return names;
    }
    int pos = 0;
    for (;;) {
        int open = text.Find(u'"', pos);
        if (open < 0)
            break;
        int close = text.Find(u'"', open + 1);
        CString name = close < 0 ? text.Mid(open + 1) : text.Mid(open + 1, close - open - 1);
        if (!name.IsEmpty())
            names.push_back(name);
        if (close < 0)
            break;
        pos = close + 1;
    }
    return names;
}

CString CFileNameText::Join(const std::vector<CString>& names)
{
    if (names.size() == 1)
        return names.front();
    CString text;
    for (const CString& name : names) {
        if (!text.IsEmpty())
            text += u' ';
        text += u'"' + name + u'"';
    }
    return text;
}

CString CFileNameText::Extension(const CString& name)
{
    CString last = name.Mid(name.ReverseFind(u'/') + 1);
    int dot = last.ReverseFind(u'.');
    if (dot <= 0 || dot == last.GetLength() - 1)
        return CString();
    return last.Mid(dot + 1);
}

CString CFileNameText::ReplaceExtension(const CString& name, const CString& extension)
{
    CString current = Extension(name);
    CString stem = current.IsEmpty() ? name : name.Left(name.GetLength() - current.GetLength() - 1);
    return extension.IsEmpty() ? stem : stem + u'.' + extension;
}

CString CFileNameText::Resolve(const CString& folder, const CString& name, const CString& home)
{
    if (name.IsEmpty())
        return CString();
    CString path;
    if (name[0] == u'/')
        path = name;
    else if (name == u"~" || name.Left(2) == u"~/")
        path = home + u'/' + name.Mid(1);
    else
        path = folder + u'/' + name;
    return CItemIdList::NormalPath(path);
}

} // namespace platform
