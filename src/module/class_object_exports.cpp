// DllGetClassObject and DllCanUnloadNow: how COM obtains the class factory and decides when the
// module may be unloaded.
#include <windows.h>
#include <objbase.h>

#include "base/com_object.h"
#include "module/class_factory.h"
#include "module_lock_count.h"
#include "provider_class_id.h"

// Called by COM for the class of a CoCreateInstance or CoGetClassObject, and by hosts that load
// the module themselves. Every call makes a new factory.
STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (memcmp(&rclsid, &CLSID_QMCredProvider, sizeof(CLSID)) != 0) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return CreateComObject<CClassFactory>(riid, ppv);
}

// Called by CoFreeUnusedLibraries. Only a count of exactly zero means idle: a negative count
// (an unmatched LockServer(FALSE)) keeps the module loaded.
STDAPI DllCanUnloadNow() { return ModuleLockCount == 0 ? S_OK : S_FALSE; }
