// The agent request: one line of JSON, {"action":"AUTH","username":"...","password":"..."},
// with no white space, terminator or newline.
#pragma once

#include "base/secure_bytes.h"

// Replaces request with the request for the two escaped values. The buffer is sized exactly
// beforehand, so the password bytes are never copied by growth. Throws std::bad_alloc; request
// is then untouched.
void BuildAgentRequest(const SecureBytes& escapedUserName, const SecureBytes& escapedPassword, SecureBytes& request);
