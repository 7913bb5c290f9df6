// What the COM suites and the test server module libcomtestserver.so share:
// the class it serves and the interface of its objects.
#pragma once

#include "platform/com/Com.h"

// The test class. The module also serves the system File Open dialog class
// with the same objects, so that a user registration can stand in for it.
constexpr CLSID CLSID_ComTestObject{0x6a3c1f52, 0x8d0e, 0x4b7a, {0x9e, 0x21, 0x5f, 0x0c, 0x7d, 0x44, 0x13, 0xa8}};

// A counter object with a second interface, for the identity rules.
struct ITestCounter : IUnknown {
    virtual ULONG STDMETHODCALLTYPE Increment() = 0;
    // Live objects of the module, as its own bookkeeping counts them.
    virtual long STDMETHODCALLTYPE ModuleObjects() = 0;
};
struct ITestName : IUnknown {
    virtual const char* STDMETHODCALLTYPE Name() = 0;
};
constexpr IID IID_ITestCounter{0x0f1e2d3c, 0x4b5a, 0x4978, {0x86, 0x95, 0xa4, 0xb3, 0xc2, 0xd1, 0xe0, 0xf1}};
constexpr IID IID_ITestName{0x1f1e2d3c, 0x4b5a, 0x4978, {0x86, 0x95, 0xa4, 0xb3, 0xc2, 0xd1, 0xe0, 0xf2}};

namespace platform {
template <> struct InterfaceId<ITestCounter> { static const IID& Get() { return IID_ITestCounter; } };
template <> struct InterfaceId<ITestName> { static const IID& Get() { return IID_ITestName; } };
} // namespace platform

// The environment variable that makes the module misbehave on purpose:
//   "unload-in-getclassobject"  DllGetClassObject calls CoFreeUnusedLibraries
//                               before it answers;
//   "unload-in-canunload"       DllCanUnloadNow calls CoFreeUnusedLibraries.
inline constexpr const char* kComTestServerMode = "COMTESTSERVER_MODE";
