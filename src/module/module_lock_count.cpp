#include "module_lock_count.h"

volatile LONG ModuleLockCount = 0;
HINSTANCE ModuleInstance = nullptr;
