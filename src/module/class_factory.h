// The class factory of the provider class. Every DllGetClassObject makes a new one; each holds
// one module count from its creation to its final Release.
#pragma once

#include <windows.h>
#include <unknwn.h>

class CClassFactory final : public IClassFactory {
public:
    // One reference for the creator, and one count on the module.
    CClassFactory() noexcept;

    CClassFactory(const CClassFactory&) = delete;
    CClassFactory& operator=(const CClassFactory&) = delete;

    // IUnknown
    IFACEMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
    IFACEMETHODIMP_(ULONG) AddRef() noexcept override;
    IFACEMETHODIMP_(ULONG) Release() noexcept override;

    // IClassFactory
    IFACEMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) noexcept override;
    IFACEMETHODIMP LockServer(BOOL fLock) noexcept override;

private:
    ~CClassFactory() = default;

    volatile LONG m_refCount;
};
