// textedit: a small text editor, an ordinary application that shows the
// system's Open and Save dialogs through COM.
//   textedit [file...]
#include <cstdio>
#include <vector>

#include "app/editor/EditorDlg.h"
#include "platform/FileSystem.h"
#include "platform/com/Com.h"
#include "platform/gui/Gui.h"

int main(int argc, char** argv)
{
    if (!platform::gui::InitGui()) {
        std::fprintf(stderr, "textedit: no display to show the editor on\n");
        return 1;
    }
    CEditorDlg::RegisterResources();
    std::vector<CString> files;
    for (int i = 1; i < argc; ++i)
        files.push_back(platform::FullPath(CString::FromUtf8(argv[i])));

    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        std::fprintf(stderr, "textedit: COM cannot start (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    int result;
    {
        CEditorDlg editor(std::move(files));
        result = editor.DoModal() == -1 ? 1 : 0;
    }
    CoUninitialize();
    return result;
}
