// The library as a COM server: its entry points, the class objects of the
// two dialog classes (plain and aggregated), the module's unload answer, its
// self-registration on the registry store, and the file-type table every
// dialog gets.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

#include "ComRules.h"
#include "TestEnvironment.h"
#include "dialoghook/FilterSpecList.h"
#include "dialoghook/Registrar.h"
#include "dialoghook/VeilshimModule.h"
#include "platform/Guid.h"
#include "platform/Module.h"
#include "platform/Registry.h"
#include "platform/com/ComPtr.h"
#include "platform/shell/FileDialogApi.h"

using platform::ComPtr;

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine);

namespace {

CString OwnClassKey()
{
    return u"Software\\Classes\\CLSID\\" + platform::GuidToString(CVeilshimModule::GetClassId());
}

CString ReadString(HKEY root, const CString& path, const char16_t* name)
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return u"<missing key>";
    char16_t buffer[1024] = {};
    DWORD size = sizeof buffer - 2;
    LSTATUS status = platform::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    platform::RegCloseKey(key);
    return status == ERROR_SUCCESS ? CString(buffer) : CString(u"<missing value>");
}

bool KeyExists(HKEY root, const CString& path)
{
    HKEY key = nullptr;
    if (platform::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    platform::RegCloseKey(key);
    return true;
}

void WriteString(HKEY root, const CString& path, const char16_t* name, const CString& value)
{
    ASSERT_EQ(platform::RegSetKeyValueW(root, path, name, REG_SZ, value.GetString(),
                                        static_cast<DWORD>((value.GetLength() + 1) * 2)),
              ERROR_SUCCESS);
}

// An outer object that aggregates a dialog and counts its own references.
class COuter : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return m_inner ? m_inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    ULONG m_refs = 1;
    ComPtr<IUnknown> m_inner;
};

ComPtr<IClassFactory> Factory(REFCLSID clsid)
{
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
}

} // namespace

TEST(VeilshimModule, ServesOnlyTheTwoDialogClasses)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(CVeilshimModule::GetClassId(), IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DllGetClassObject(CLSID_FileOpenDialog, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(DllGetClassObject(CLSID_FileOpenDialog, IID_IFileDialog, &object), E_NOINTERFACE);

    for (const CLSID& clsid : {CLSID_FileOpenDialog, CLSID_FileSaveDialog}) {
        ComPtr<IClassFactory> factory = Factory(clsid);
        ASSERT_TRUE(factory);
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IFileDialog, nullptr), E_POINTER);
        ComPtr<IFileDialog> dialog;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFileDialog, dialog.PutVoid()), S_OK);
        const bool open = clsid == CLSID_FileOpenDialog;
        ComPtr<IFileOpenDialog> openFace;
        ComPtr<IFileSaveDialog> saveFace;
        EXPECT_EQ(dialog.As(openFace), open ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(dialog.As(saveFace), open ? E_NOINTERFACE : S_OK);
        testsupport::ExpectQueryInterfaceRules(
            dialog.Get(),
            {IID_IUnknown, IID_IFileDialog, open ? IID_IFileOpenDialog : IID_IFileSaveDialog, IID_IFileDialogCustomize,
             IID_IFileDialogEvents, IID_IFileDialogControlEvents},
            {open ? IID_IFileSaveDialog : IID_IFileOpenDialog});
    }
}

TEST(VeilshimModule, AggregationAnswersOnlyIUnknownAndDelegatesToTheOuterObject)
{
    ComPtr<IClassFactory> factory = Factory(CLSID_FileSaveDialog);
    COuter outer;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IFileDialog, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, outer.m_inner.PutVoid()), S_OK);
    ComPtr<IFileSaveDialog> save;
    ASSERT_EQ(outer.m_inner.As(save), S_OK);
    // The faces count on the outer object and give it as their identity.
    const ULONG before = outer.m_refs;
    save->AddRef();
    EXPECT_EQ(outer.m_refs, before + 1);
    save->Release();
    ComPtr<IUnknown> identity;
    ASSERT_EQ(save->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    // Asked through the outer object, the aggregated faces answer too.
    ComPtr<IFileDialogCustomize> customize;
    EXPECT_EQ(outer.QueryInterface(IID_IFileDialogCustomize, customize.PutVoid()), S_OK);
    identity.Reset();
    customize.Reset();
    save.Reset();
    EXPECT_EQ(outer.m_refs, 1u);
    outer.m_inner.Reset(); // the inner object goes
}

TEST(VeilshimModule, StaysLoadedWhileAnObjectOrLockLives)
{
    ASSERT_EQ(DllCanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory = Factory(CLSID_FileOpenDialog);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a class object counts";
    ComPtr<IFileDialog> dialog;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFileDialog, dialog.PutVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    dialog.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE) << "a lock counts";
    factory = Factory(CLSID_FileOpenDialog);
    factory->LockServer(FALSE);
    factory->LockServer(FALSE); // one too many: must not free somebody else's lock later
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(VeilshimModule, CoCreateInstanceThroughTheUsersRegistrationGivesTheWrapper)
{
    const CString library = platform::ModuleFileName(platform::FindLoadedModule(u"veilshim64.dll"));
    ASSERT_FALSE(library.IsEmpty());
    const CString key = u"Software\\Classes\\CLSID\\" + platform::GuidToString(CLSID_FileSaveDialog) +
                        u"\\InProcServer32";
    WriteString(HKEY_CURRENT_USER, key, nullptr, library);
    WriteString(HKEY_CURRENT_USER, key, u"ThreadingModel", u"Apartment");
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPtr<IFileSaveDialog> save;
        ASSERT_EQ(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSaveDialog,
                                   save.PutVoid()),
                  S_OK);
        ComPtr<IFileDialogEvents> events;
        EXPECT_EQ(save.As(events), S_OK) << "the wrapper, not the system dialog";
    }
    CoUninitialize();
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\" + platform::GuidToString(CLSID_FileSaveDialog));
}

TEST(VeilshimModule, SelfRegistrationWritesAndRemovesOnlyItsOwnClass)
{
    const CString classKey = OwnClassKey();
    // A leftover below the class key goes: the key is written afresh.
    WriteString(HKEY_CURRENT_USER, classKey + u"\\Stale", nullptr, u"old");
    // Another class beside it is somebody else's.
    const CString neighbour = u"Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}";
    WriteString(HKEY_CURRENT_USER, neighbour, nullptr, u"Neighbour");

    ASSERT_EQ(DllRegisterServer(), S_OK);
    const CString library = platform::ModuleFileName(platform::FindLoadedModule(u"veilshim64.dll"));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey.Mid(17), nullptr), u"Veilshim Class");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classKey + u"\\InprocServer32", nullptr), library);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classKey + u"\\TypeLib", nullptr),
              platform::GuidToString(CVeilshimModule::GetTypeLibId()));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, classKey + u"\\Version", nullptr), u"1.0");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classKey + u"\\Stale"));

    ASSERT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, classKey));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, neighbour, nullptr), u"Neighbour");
    EXPECT_EQ(DllUnregisterServer(), S_OK) << "removing what is not there is no failure";
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, neighbour);
}

TEST(VeilshimModule, InstallTakesUserInAnyCaseAndUninstallRemoves)
{
    for (const char16_t* commandLine : {u"user", u"USER", u"uSeR", u"users", static_cast<const char16_t*>(nullptr)}) {
        ASSERT_EQ(DllInstall(TRUE, commandLine), S_OK);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, OwnClassKey() + u"\\InprocServer32"));
        ASSERT_EQ(DllInstall(FALSE, commandLine), S_OK);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, OwnClassKey()));
    }
}

TEST(Registrar, KeepsWhatIsNotItsOwnAndRefusesUnknownPlaceholders)
{
    CRegistrar registrar;
    registrar.AddReplacement(u"MODULE", u"/lib/x.so");
    CString out;
    EXPECT_TRUE(registrar.Expand(u"%MODULE% at 100%%", out));
    EXPECT_EQ(out, u"/lib/x.so at 100%");
    EXPECT_FALSE(registrar.Expand(u"%OTHER%", out));
    EXPECT_FALSE(registrar.Expand(u"%MODULE", out));

    SRegistrarKey leaf;
    leaf.name = u"Leaf";
    leaf.hasDefaultValue = true;
    leaf.defaultValue = u"%MODULE%";
    SRegistrarKey top;
    top.name = u"Top";
    top.subKeys = {leaf};
    SRegistrarKey root;
    root.name = u"RegistrarTest";
    root.rule = SRegistrarKey::eNoRemove;
    root.subKeys = {top};
    ASSERT_EQ(registrar.Register(HKEY_CURRENT_USER, u"Software", {root}), S_OK);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Top\\Leaf", nullptr), u"/lib/x.so");
    WriteString(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Top", u"Foreign", u"kept");

    ASSERT_EQ(registrar.Unregister(HKEY_CURRENT_USER, u"Software", {root}), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Top\\Leaf"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, u"Software\\RegistrarTest\\Top", u"Foreign"), u"kept");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\RegistrarTest")) << "NoRemove";

    SRegistrarKey broken = leaf;
    broken.defaultValue = u"%NOPE%";
    EXPECT_EQ(registrar.Register(HKEY_CURRENT_USER, u"Software\\RegistrarTest", {broken}), E_INVALIDARG);
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\RegistrarTest");
}

TEST(FilterSpecList, EveryPatternAlsoWithGpgAppended)
{
    EXPECT_EQ(CFilterSpecList::AddEncryptedPatterns(u"*.txt"), u"*.txt;*.txt.gpg");
    EXPECT_EQ(CFilterSpecList::AddEncryptedPatterns(u"*.doc;*.docx"), u"*.doc;*.doc.gpg;*.docx;*.docx.gpg");
    EXPECT_EQ(CFilterSpecList::AddEncryptedPatterns(u"*.*"), u"*.*;*.*.gpg");
    EXPECT_EQ(CFilterSpecList::AddEncryptedPatterns(u"*.txt;;*.log"), u"*.txt;*.txt.gpg;;*.log;;*.log.gpg");
    EXPECT_EQ(CFilterSpecList::AddEncryptedPatterns(u"*.a; *.b"), u"*.a;*.a.gpg; *.b; *.b.gpg");
    EXPECT_EQ(CFilterSpecList::AddEncryptedPatterns(u""), u"");

    const COMDLG_FILTERSPEC specs[] = {{u"Text files", u"*.txt"}, {u"All", u"*.*"}, {nullptr, nullptr}};
    CFilterSpecList list(3, specs);
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(CString(list.GetSpecs()[0].pszName), u"Text files");
    EXPECT_EQ(CString(list.GetSpecs()[0].pszSpec), u"*.txt;*.txt.gpg");
    EXPECT_EQ(CString(list.GetSpecs()[1].pszName), u"All");
    EXPECT_EQ(CString(list.GetSpecs()[2].pszSpec), u"");
    EXPECT_EQ(CFilterSpecList(0, nullptr).GetSpecs(), nullptr);
}

TEST(VeilshimModule, WithoutASystemDialogModuleEveryPassedCallAnswersNotImplemented)
{
    // The library, the runtime and the resources in a folder of their own,
    // without the system dialog module beside them.
    testsupport::TempDir folder;
    for (const char* file : {"libveilshim64.so", "libplatformcom.so", "libveilcaseRes64.so"})
        std::filesystem::copy_file(testsupport::BinDir() / file, folder.Path() / file);
    const std::string probe = (testsupport::BinDir() / "shimprobe").string();
    const std::string library = (folder.Path() / "libveilshim64.so").string();
    std::string output;
    FILE* pipe = popen(("'" + probe + "' '" + library + "' 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
}
