// The class factory of the provider class. Every DllGetClassObject makes a new one; each holds
// one module count from its creation to its final Release.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "base/com_object.h"
#include "module_lock_count.h"

class CClassFactory final : public ComObject<CClassFactory, IClassFactory, ModuleCountPolicy> {
public:
    CClassFactory() noexcept = default;

    // IClassFactory
    IFACEMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) noexcept override;
    IFACEMETHODIMP LockServer(BOOL fLock) noexcept override;

private:
    friend ComObject;
    ~CClassFactory() = default;
};
