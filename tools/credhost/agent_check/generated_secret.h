// Texts agent-check makes up rather than takes from anyone: the wrong password (never typed, so
// it cannot be a real one mistyped) and the default unknown name. From the system's
// cryptographic generator (BCryptGenRandom).
#pragma once

#include "wiping_allocator.h"

#include <string>

// units random letters and digits, then a terminating zero, into a buffer that wipes itself.
// False when the generator fails.
bool GenerateSecret(size_t units, SecretWide& secret);

// "qm-check-" and 12 random lowercase letters: a name no account is likely to have. Empty when
// the generator fails.
std::wstring GenerateUnknownName();
