// The COM runtime: apartments, class lookup through the registry store (the
// user's classes over the machine part), loading and unloading of server
// modules, and what a registration from the user-writable store can name.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "ComRules.h"
#include "TestEnvironment.h"
#include "modules/ComTestServer.h"
#include "platform/Module.h"
#include "platform/Registry.h"
#include "platform/com/ClassRegistration.h"
#include "platform/com/ComPtr.h"
#include "platform/com/InprocServers.h"
#include "platform/shell/FileDialogApi.h"

using platform::ComPtr;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::ToCString;

namespace {

constexpr HRESULT kModNotFound = static_cast<HRESULT>(0x8007007Eu);
constexpr HRESULT kBadExeFormat = static_cast<HRESULT>(0x800700C1u);

const char16_t* const kServerFile = u"libcomtestserver.so";

CString ClassKey(REFCLSID clsid)
{
    return u"Software\\Classes\\CLSID\\" + platform::GuidToString(clsid) + u"\\InProcServer32";
}

// Writes the user's registration of a class: the module value with its type,
// and the threading model (none when empty).
void Register(REFCLSID clsid, const CString& module, DWORD type = REG_SZ, const CString& model = u"Apartment")
{
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegCreateKeyExW(HKEY_CURRENT_USER, ClassKey(clsid), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(platform::RegSetValueExW(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(module.GetString()),
                             static_cast<DWORD>((module.GetLength() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    if (!model.IsEmpty()) {
        ASSERT_EQ(platform::RegSetValueExW(key, u"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model.GetString()),
                                 static_cast<DWORD>((model.GetLength() + 1) * sizeof(char16_t))),
                  ERROR_SUCCESS);
    }
    platform::RegCloseKey(key);
}

void Unregister(REFCLSID clsid)
{
    platform::RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\" + platform::GuidToString(clsid));
}

CString ServerPath()
{
    return ToCString(testsupport::BinDir() / std::filesystem::path(CString(kServerFile).ToUtf8()));
}

bool ServerLoaded()
{
    return platform::FindLoadedModule(kServerFile) != nullptr;
}

HRESULT CreateCounter(ComPtr<ITestCounter>& counter, REFCLSID clsid = CLSID_ComTestObject)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(counter.Put()));
}

class ComRuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        Register(CLSID_ComTestObject, ServerPath());
    }
    void TearDown() override
    {
        Unregister(CLSID_ComTestObject);
        Unregister(CLSID_FileOpenDialog);
        CoUninitialize(); // the last apartment: unused modules go
        EXPECT_FALSE(ServerLoaded()) << "a test left an object of the test server alive";
    }
};

} // namespace

TEST_F(ComRuntimeTest, ApartmentsAreCountedPerThreadAndKeepTheirModel)
{
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();

    std::thread([] {
        ComPtr<ITestCounter> counter;
        EXPECT_EQ(CreateCounter(counter), CO_E_NOTINITIALIZED) << "a thread without an apartment";
        EXPECT_EQ(counter, nullptr);

        // A multithreaded apartment cannot call an apartment-threaded class
        // directly; a class that declares "Both" it can.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CreateCounter(counter), CO_E_NOT_SUPPORTED);
        Register(CLSID_ComTestObject, ServerPath(), REG_SZ, u"Both");
        EXPECT_EQ(CreateCounter(counter), S_OK);
        counter.Reset();
        CoUninitialize();
    }).join();
    CoFreeUnusedLibraries();
}

TEST_F(ComRuntimeTest, ObjectsAreCountedAndFollowTheQueryInterfaceRules)
{
    ComPtr<ITestCounter> first;
    ASSERT_EQ(CreateCounter(first), S_OK);
    testsupport::ExpectQueryInterfaceRules(first.Get(), {IID_IUnknown, IID_ITestCounter, IID_ITestName},
                                           {IID_IClassFactory, IID_IFileDialog, IID_IShellItem});
    EXPECT_EQ(first->AddRef(), 2u);
    EXPECT_EQ(first->Release(), 1u);

    // Both objects come from one loaded module: its bookkeeping sees both.
    ComPtr<ITestCounter> second;
    ASSERT_EQ(CreateCounter(second), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(first->ModuleObjects(), 2);
    EXPECT_EQ(first->Increment(), 1u);
    EXPECT_EQ(second->Increment(), 1u) << "each object has its own state";
    EXPECT_EQ(platform::CInprocServers::Instance().LoadedCount(), 1u);
    second.Reset();
    EXPECT_EQ(first->ModuleObjects(), 1);
}

TEST_F(ComRuntimeTest, LookupFailuresAndArgumentChecks)
{
    const CLSID unknown{0x01234567, 0x89ab, 0xcdef, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestObject, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestObject, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG)
        << "only in-process servers exist";

    // An interface the object lacks, and aggregation the class refuses.
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestObject, nullptr, CLSCTX_ALL, IID_IShellItem, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    ComPtr<ITestCounter> outer;
    ASSERT_EQ(CreateCounter(outer), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_ComTestObject, outer.Get(), CLSCTX_ALL, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);

    // The module serves only its own classes.
    const CLSID other{0x76543210, 0x89ab, 0xcdef, {1, 2, 3, 4, 5, 6, 7, 9}};
    Register(other, ServerPath());
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE);
    Unregister(other);
}

TEST_F(ComRuntimeTest, RegistrationsFromTheUserStoreThatCannotServeFailWithoutHarm)
{
    TempDir dir("reg");
    auto expect = [](const CString& module, HRESULT wanted, DWORD type = REG_SZ) {
        Register(CLSID_ComTestObject, module, type);
        ComPtr<ITestCounter> counter;
        EXPECT_EQ(CreateCounter(counter), wanted) << module;
        EXPECT_EQ(counter, nullptr);
    };

    expect(ToCString(dir / "libmissing.so"), kModNotFound);
    expect(ToCString(dir.Path()), E_ACCESSDENIED); // a folder
    testsupport::WriteFile(dir / "libgarbage.so", "this is no module\n");
    expect(ToCString(dir / "libgarbage.so"), kBadExeFormat);
    std::filesystem::create_symlink(dir / "libgone.so", dir / "libdangling.so");
    expect(ToCString(dir / "libdangling.so"), kModNotFound);
    expect(ToCString(testsupport::BinDir() / "libcomnoentry.so"), CO_E_ERRORINDLL);
    EXPECT_EQ(platform::FindLoadedModule(u"libcomnoentry.so"), nullptr) << "a module that cannot serve is let go";
    expect(u"", REGDB_E_CLASSNOTREG);

    // A relative path is never looked up from the current folder, even
    // when the module lies there.
    std::error_code ec;
    auto oldDir = std::filesystem::current_path();
    std::filesystem::current_path(testsupport::BinDir());
    expect(CString(u"./") + kServerFile, kModNotFound);
    expect(CString(u"../bin/") + kServerFile, kModNotFound);
    expect(u"sub\\comtestserver.dll", kModNotFound);
    std::filesystem::current_path(oldDir, ec);
    EXPECT_FALSE(ServerLoaded());

    // A value of a non-string type cannot be read as a module.
    DWORD number = 7;
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, ClassKey(CLSID_ComTestObject), 0, KEY_WRITE, &key), ERROR_SUCCESS);
    platform::RegSetValueExW(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    platform::RegCloseKey(key);
    ComPtr<ITestCounter> counter;
    EXPECT_EQ(CreateCounter(counter), REGDB_E_READREGDB);
}

TEST_F(ComRuntimeTest, ModuleNamesFollowThePlatformNamingRule)
{
    // "X.dll" is libX.so beside the runtime, letter case ignored as Windows does.
    for (const char16_t* name : {u"comtestserver.dll", u"ComTestServer.DLL"}) {
        Register(CLSID_ComTestObject, name);
        ComPtr<ITestCounter> counter;
        EXPECT_EQ(CreateCounter(counter), S_OK) << CString(name);
    }
    // An expandable value has its variables replaced.
    ScopedEnv bin("COMTEST_BIN", testsupport::BinDir().string());
    Register(CLSID_ComTestObject, CString(u"%COMTEST_BIN%/") + kServerFile, REG_EXPAND_SZ);
    ComPtr<ITestCounter> counter;
    EXPECT_EQ(CreateCounter(counter), S_OK);
    EXPECT_EQ(platform::CInprocServers::Instance().LoadedCount(), 1u) << "one file, loaded once under any name";

    EXPECT_EQ(platform::CClassRegistration::ExpandEnvironment(u"%COMTEST_BIN%/x"),
              CString::FromUtf8(testsupport::BinDir().string()) + u"/x");
    EXPECT_EQ(platform::CClassRegistration::ExpandEnvironment(u"%NO_SUCH_VARIABLE_X%%COMTEST_BIN%"),
              u"%NO_SUCH_VARIABLE_X%" + CString::FromUtf8(testsupport::BinDir().string()));
    EXPECT_EQ(platform::CClassRegistration::ExpandEnvironment(u"100% sure"), u"100% sure");
}

TEST_F(ComRuntimeTest, TheUserRegistrationOverridesTheMachinePart)
{
    platform::CClassRegistration registration;
    ASSERT_EQ(platform::CClassRegistration::Lookup(CLSID_FileOpenDialog, registration), S_OK);
    EXPECT_EQ(registration.Module(), u"comdlg32.dll");
    EXPECT_EQ(registration.ThreadingModel(), platform::CClassRegistration::eApartment);
    ASSERT_EQ(platform::CClassRegistration::Lookup(CLSID_FileSaveDialog, registration), S_OK);
    EXPECT_EQ(registration.Module(), u"comdlg32.dll");

    Register(CLSID_FileOpenDialog, ServerPath());
    ComPtr<ITestName> named;
    ASSERT_EQ(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(named.Put())), S_OK);
    EXPECT_STREQ(named->Name(), "comtestserver");
    named.Reset();

    Unregister(CLSID_FileOpenDialog);
    ASSERT_EQ(platform::CClassRegistration::Lookup(CLSID_FileOpenDialog, registration), S_OK);
    EXPECT_EQ(registration.Module(), u"comdlg32.dll") << "the machine part applies again";
}

TEST_F(ComRuntimeTest, AModuleIsUnloadedOnlyWhenItHasNoObjectsAndNoLocks)
{
    ComPtr<ITestCounter> counter;
    ASSERT_EQ(CreateCounter(counter), S_OK);
    ASSERT_TRUE(ServerLoaded());
    CoFreeUnusedLibraries();
    ASSERT_TRUE(ServerLoaded()) << "an object is alive";
    EXPECT_EQ(counter->Increment(), 1u) << "and its code still runs";
    counter.Reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());

    // A class object counts as an object, and a lock keeps the module even
    // after the class object is released.
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_ComTestObject, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(factory.Put())),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(ServerLoaded()) << "locked";
    ASSERT_EQ(CoGetClassObject(CLSID_ComTestObject, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(factory.Put())),
              S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK) << "an unlock too many is ignored";
    ComPtr<ITestCounter> made;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(made.Put())), S_OK);
    factory.Reset();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(ServerLoaded()) << "the object made by the class object is alive";
    made.Reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());

    // Loaded again on the next request.
    ASSERT_EQ(CreateCounter(counter), S_OK);
    EXPECT_EQ(counter->ModuleObjects(), 1);
    counter.Reset();
}

TEST_F(ComRuntimeTest, AModuleIsNeverUnloadedWhileItIsCalledInto)
{
    {
        // DllGetClassObject asks the runtime to unload unused modules while it
        // runs: the module must stay (it would otherwise lose its code mid-call).
        ScopedEnv mode(kComTestServerMode, "unload-in-getclassobject");
        ComPtr<ITestCounter> counter;
        ASSERT_EQ(CreateCounter(counter), S_OK);
        EXPECT_EQ(counter->Increment(), 1u);
        counter.Reset();
        ASSERT_EQ(CreateCounter(counter), S_OK) << "a second request finds the module loaded";
        counter.Reset();
    }
    {
        // DllCanUnloadNow calls back into the runtime: neither a deadlock
        // nor a second unload.
        ScopedEnv mode(kComTestServerMode, "unload-in-canunload");
        CoFreeUnusedLibraries();
        EXPECT_FALSE(ServerLoaded());
    }
}

TEST_F(ComRuntimeTest, TheLastApartmentLeavesModulesWithLiveObjectsLoaded)
{
    ComPtr<ITestCounter> counter;
    ASSERT_EQ(CreateCounter(counter), S_OK);
    CoUninitialize();
    ASSERT_TRUE(ServerLoaded()) << "unloading now would pull the code from under a live object";
    EXPECT_EQ(counter->Increment(), 1u);
    counter.Reset();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ServerLoaded());
}

TEST(ComTaskMemory, BlocksAndGuidText)
{
    void* block = CoTaskMemAlloc(0);
    ASSERT_NE(block, nullptr);
    block = CoTaskMemRealloc(block, 64);
    ASSERT_NE(block, nullptr);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);

    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(CLSID_FileSaveDialog, text, 38), 0) << "no room for the terminator";
    ASSERT_EQ(StringFromGUID2(CLSID_FileSaveDialog, text, 39), 39);
    EXPECT_EQ(CString(text), u"{C0B4E2F3-BA21-4773-8DBA-335EC946EB8B}");
    CLSID parsed{};
    EXPECT_EQ(CLSIDFromString(u"{c0b4e2f3-ba21-4773-8dba-335ec946eb8b}", &parsed), S_OK);
    EXPECT_EQ(parsed, CLSID_FileSaveDialog);
    EXPECT_EQ(CLSIDFromString(u"c0b4e2f3-ba21-4773-8dba-335ec946eb8b", &parsed), CO_E_CLASSSTRING);
    EXPECT_EQ(parsed, GUID_NULL);
}
