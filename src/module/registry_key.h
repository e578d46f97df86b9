// Moved to base/registry_key.h. Kept only for the tools that still include it from here;
// remove once they include base/ directly.
#pragma once

#include "base/registry_key.h"
