// shimprobe: loads a copy of the dialog library from the folder given and
// checks how its dialog objects behave there.
//   shimprobe <library path>
// With no system dialog module beside the library, every call the objects
// would pass to the system dialog must answer E_NOTIMPL and interfaces
// outside their own table E_NOINTERFACE. Prints one line per mismatch;
// exit code 0 when everything matched, 2 when the library can't be used.
#include <cstdio>

#include "platform/Module.h"
#include "platform/com/Com.h"
#include "platform/shell/FileDialogApi.h"

namespace {

int g_mismatches = 0;

void Expect(const char* what, HRESULT actual, HRESULT expected)
{
    if (actual != expected) {
        std::printf("%s: 0x%08X, expected 0x%08X\n", what, static_cast<unsigned>(actual),
                    static_cast<unsigned>(expected));
        ++g_mismatches;
    }
}

int Probe(LPFNGETCLASSOBJECT getClassObject, REFCLSID clsid, bool open)
{
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))) || !factory)
        return 2;
    IFileDialog* dialog = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IFileDialog, reinterpret_cast<void**>(&dialog));
    factory->Release();
    if (FAILED(hr) || !dialog)
        return 2;

    Expect("Show", dialog->Show(nullptr), E_NOTIMPL);
    Expect("SetTitle", dialog->SetTitle(u"t"), E_NOTIMPL);
    Expect("SetFileTypes", dialog->SetFileTypes(0, nullptr), E_NOTIMPL);
    UINT index = 0;
    Expect("GetFileTypeIndex", dialog->GetFileTypeIndex(&index), E_NOTIMPL);
    IShellItem* item = nullptr;
    Expect("GetFolder", dialog->GetFolder(&item), E_NOTIMPL);
    Expect("GetResult", dialog->GetResult(&item), open ? E_UNEXPECTED : E_FAIL);

    void* face = nullptr;
    Expect("QueryInterface(IModalWindow)", dialog->QueryInterface(IID_IModalWindow, &face), E_NOINTERFACE);
    Expect("QueryInterface(IOleWindow)", dialog->QueryInterface(IID_IOleWindow, &face), E_NOINTERFACE);
    IFileDialogCustomize* customize = nullptr;
    Expect("QueryInterface(IFileDialogCustomize)",
           dialog->QueryInterface(IID_IFileDialogCustomize, reinterpret_cast<void**>(&customize)), S_OK);
    if (customize) {
        Expect("AddCheckButton", customize->AddCheckButton(4711, u"x", FALSE), E_NOTIMPL);
        customize->Release();
    }
    if (open) {
        IFileOpenDialog* openDialog = nullptr;
        if (SUCCEEDED(dialog->QueryInterface(IID_IFileOpenDialog, reinterpret_cast<void**>(&openDialog)))) {
            IShellItemArray* items = nullptr;
            Expect("GetSelectedItems", openDialog->GetSelectedItems(&items), E_NOTIMPL);
            openDialog->Release();
        }
    } else {
        IFileSaveDialog* saveDialog = nullptr;
        if (SUCCEEDED(dialog->QueryInterface(IID_IFileSaveDialog, reinterpret_cast<void**>(&saveDialog)))) {
            Expect("SetSaveAsItem", saveDialog->SetSaveAsItem(nullptr), E_NOTIMPL);
            saveDialog->Release();
        }
    }
    dialog->Release();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    CString error;
    platform::ModuleHandle library = platform::LoadModule(CString::FromUtf8(argv[1]), nullptr, &error);
    if (!library) {
        std::printf("cannot load: %s\n", error.ToUtf8().c_str());
        return 2;
    }
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(platform::ModuleSymbol(library, "DllGetClassObject"));
    if (!getClassObject)
        return 2;
    if (Probe(getClassObject, CLSID_FileOpenDialog, true) != 0 || Probe(getClassObject, CLSID_FileSaveDialog, false) != 0)
        return 2;
    return g_mismatches == 0 ? 0 : 1;
}
