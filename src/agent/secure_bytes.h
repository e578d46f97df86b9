// Moved to base/secure_bytes.h. Kept only for the files that still include it from here (the
// agent exchange under rework, the tools); remove once they include base/ directly.
#pragma once

#include "base/secure_bytes.h"
