// Checks of the rules every COM object must keep, for the suites of the COM
// runtime, the shell and the dialog module.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"

namespace testsupport {

// The reference count an object reports after one AddRef and Release
// (what it held before).
inline ULONG CurrentRefCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// QueryInterface rules over the interfaces an object implements:
//  - every supported id answers, with one reference added;
//  - identity: IUnknown from every interface is one pointer;
//  - reflexive, symmetric and transitive: from any supported interface every
//    supported one (itself included) is reachable, and back again;
//  - an unsupported id gives E_NOINTERFACE and a null pointer;
//  - a null out pointer gives E_POINTER.
// The reference count is the same afterwards.
inline void ExpectQueryInterfaceRules(IUnknown* object, std::initializer_list<IID> supported,
                                      std::initializer_list<IID> unsupported)
{
    ASSERT_NE(object, nullptr);
    ULONG before = CurrentRefCount(object);

    platform::ComPtr<IUnknown> identity;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    for (const IID& from : supported) {
        void* fromPtr = nullptr;
        ASSERT_EQ(object->QueryInterface(from, &fromPtr), S_OK) << platform::GuidToString(from);
        auto* fromFace = static_cast<IUnknown*>(fromPtr);

        void* unknown = nullptr;
        ASSERT_EQ(fromFace->QueryInterface(IID_IUnknown, &unknown), S_OK);
        EXPECT_EQ(unknown, identity.Get()) << "identity through " << platform::GuidToString(from);
        static_cast<IUnknown*>(unknown)->Release();

        for (const IID& to : supported) {
            void* toPtr = nullptr;
            ASSERT_EQ(fromFace->QueryInterface(to, &toPtr), S_OK)
                << platform::GuidToString(from) << " -> " << platform::GuidToString(to);
            void* back = nullptr;
            EXPECT_EQ(static_cast<IUnknown*>(toPtr)->QueryInterface(from, &back), S_OK) << "symmetry";
            if (back)
                static_cast<IUnknown*>(back)->Release();
            static_cast<IUnknown*>(toPtr)->Release();
        }
        for (const IID& missing : unsupported) {
            void* none = reinterpret_cast<void*>(1);
            EXPECT_EQ(fromFace->QueryInterface(missing, &none), E_NOINTERFACE) << platform::GuidToString(missing);
            EXPECT_EQ(none, nullptr);
        }
        EXPECT_EQ(fromFace->QueryInterface(from, nullptr), E_POINTER);
        fromFace->Release();
    }
    identity.Reset();
    EXPECT_EQ(CurrentRefCount(object), before) << "QueryInterface must leave the count balanced";
}

} // namespace testsupport
