#include "module_lock_count.h"

HINSTANCE ModuleInstance = nullptr;
