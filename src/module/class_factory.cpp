#include "module/class_factory.h"

#include <new>
#include <shlwapi.h>

#include "module_lock_count.h"
#include "provider/credential_provider.h"

CClassFactory::CClassFactory() noexcept : m_refCount(1) {
    ModuleAddRef();
}

// Called by COM and the host for any interface of the factory; answers IUnknown and
// IClassFactory only.
IFACEMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
    static const QITAB kInterfaces[] = {
        QITABENT(CClassFactory, IClassFactory),
        {nullptr, 0},
    };
    return QISearch(this, kInterfaces, riid, ppv);
}

// Called whenever a holder copies the factory's pointer.
IFACEMETHODIMP_(ULONG) CClassFactory::AddRef() noexcept {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

// Called whenever a holder drops the factory; the last one takes the module count away.
IFACEMETHODIMP_(ULONG) CClassFactory::Release() noexcept {
    const LONG remaining = InterlockedDecrement(&m_refCount);
    if (remaining == 0) {
        ModuleRelease();
        delete this;
    }
    return static_cast<ULONG>(remaining);
}

// Called by COM (CoCreateInstance) or the host to make a provider. Each call makes a fresh one.
IFACEMETHODIMP CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) noexcept {
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    CQMCredProvider* provider = new (std::nothrow) CQMCredProvider();
    if (provider == nullptr) {
        return E_OUTOFMEMORY;
    }
    // A failed query leaves the creation reference as the last one, and releasing it destroys
    // the provider again.
    const HRESULT result = provider->QueryInterface(riid, ppv);
    provider->Release();
    return result;
}

// Called by COM or a host that wants the module kept loaded with no object alive. Locks are not
// matched: an unmatched unlock takes the count below zero, which DllCanUnloadNow treats as busy.
IFACEMETHODIMP CClassFactory::LockServer(BOOL fLock) noexcept {
    if (fLock) {
        ModuleAddRef();
    } else {
        ModuleRelease();
    }
    return S_OK;
}
