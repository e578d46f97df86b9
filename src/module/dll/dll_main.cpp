#include "module_lock_count.h"

// Called by the runtime's module start-up for every notification. Only process attach does
// anything: it records the instance for registration. Nothing is torn down at detach, and
// thread notifications are switched off because the module keeps no per-thread state.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID) {
    if (fdwReason == DLL_PROCESS_ATTACH) {
        ModuleInstance = hinstDLL;
        DisableThreadLibraryCalls(hinstDLL);
    }
    return TRUE;
}
