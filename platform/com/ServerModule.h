// The bookkeeping of an in-process server module: how many of its objects
// are alive and how many locks its clients hold, which is what its
// DllCanUnloadNow answers from; the base that COM objects implement their
// IUnknown with; and the class object that creates them.
#pragma once

#include <atomic>
#include <new>

#include "platform/com/Com.h"

namespace platform {

// Object and lock counts of one server module. Thread-safe.
class CServerModule {
public:
    void AddObject() { m_objects.fetch_add(1, std::memory_order_relaxed); }
    void ReleaseObject() { m_objects.fetch_sub(1, std::memory_order_acq_rel); }
    void Lock() { m_locks.fetch_add(1, std::memory_order_relaxed); }
    // Pitfall: an unlock without a lock is ignored rather than letting the
    // count go below zero (a client's extra LockServer(FALSE) must not make
    // the module unloadable while another client holds a lock).
    void Unlock();

    long ObjectCount() const { return m_objects.load(std::memory_order_acquire); }
    long LockCount() const { return m_locks.load(std::memory_order_acquire); }

    // S_OK when no object is alive and no lock is held, else S_FALSE.
    HRESULT CanUnloadNow() const { return ObjectCount() == 0 && LockCount() == 0 ? S_OK : S_FALSE; }

private:
    std::atomic<long> m_objects{0};
    std::atomic<long> m_locks{0};
};

// IUnknown for an object that implements the interfaces `Interfaces...`
// (each derived from IUnknown). The object starts with one reference, owned
// by whoever created it, and deletes itself when the last one is released.
// `Derived` answers QueryInterface through its member
//   void* FindInterface(REFIID riid)
// which returns the interface pointer for riid (IUnknown included) or null.
// With a module, the object counts as one of the module's live objects from
// construction to the end of its destruction.
template <class Derived, class... Interfaces>
class CComObjectBase : public Interfaces... {
public:
    explicit CComObjectBase(CServerModule* module = nullptr) : m_module(module)
    {
        if (m_module)
            m_module->AddObject();
    }
    CComObjectBase(const CComObjectBase&) = delete;
    CComObjectBase& operator=(const CComObjectBase&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = static_cast<Derived*>(this)->FindInterface(riid);
        if (!*ppvObject)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~CComObjectBase()
    {
        if (m_module)
            m_module->ReleaseObject();
    }

private:
    std::atomic<ULONG> m_refs{1};
    CServerModule* m_module;
};

// The class object of one class. `T` provides
//   static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
// The class object counts as a live object of its module, and LockServer
// adds or removes a module lock.
template <class T>
class CClassFactory : public CComObjectBase<CClassFactory<T>, IClassFactory> {
public:
    explicit CClassFactory(CServerModule* module)
        : CComObjectBase<CClassFactory<T>, IClassFactory>(module), m_module(module)
    {
    }

    void* FindInterface(REFIID riid)
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory)
            return static_cast<IClassFactory*>(this);
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        return T::CreateInstance(pUnkOuter, riid, ppvObject);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override
    {
        if (fLock)
            m_module->Lock();
        else
            m_module->Unlock();
        return S_OK;
    }

    // A new class object for `riid` (E_OUTOFMEMORY when none can be made).
    static HRESULT Create(CServerModule* module, REFIID riid, void** ppv)
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        auto* factory = new (std::nothrow) CClassFactory(module);
        if (!factory)
            return E_OUTOFMEMORY;
        HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }

private:
    CServerModule* m_module;
};

inline void CServerModule::Unlock()
{
    long current = m_locks.load(std::memory_order_relaxed);
    while (current > 0 && !m_locks.compare_exchange_weak(current, current - 1, std::memory_order_acq_rel)) {
    }
}

} // namespace platform
