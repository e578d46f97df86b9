#include "module/class_factory.h"

#include "module_lock_count.h"
#include "provider/credential_provider.h"

// Called by COM (CoCreateInstance) or the host to make a provider. Each call makes a fresh one.
IFACEMETHODIMP CClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) noexcept {
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return CreateComObject<CQMCredProvider>(riid, ppv);
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
