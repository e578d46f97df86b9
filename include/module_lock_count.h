// The process-wide count that decides whether the module may be unloaded. Every live class
// factory, provider and tile, and every outstanding LockServer lock, holds exactly one count.
// Changed only with interlocked increments and decrements; DllCanUnloadNow reads it plainly.
#pragma once

#include <windows.h>

// Defined here, inline, so that the module, the provider and the tile share it without any of
// them owning it: each binary that links them has exactly one, 0 at load.
inline volatile LONG ModuleLockCount = 0;

// The module's instance handle, stored at process attach; null in test programs that link the
// module's library without loading the DLL.
extern HINSTANCE ModuleInstance;

inline void ModuleAddRef() noexcept { InterlockedIncrement(&ModuleLockCount); }
inline void ModuleRelease() noexcept { InterlockedDecrement(&ModuleLockCount); }

// The module-count policy of the module's COM objects (see base/com_object.h): each holds one
// count from its construction to its destruction.
struct ModuleCountPolicy {
    static void Acquire() noexcept { ModuleAddRef(); }
    static void Release() noexcept { ModuleRelease(); }
};
