// One request of the agent pipe protocol, decoded: a flat JSON object whose values are strings.
// The password is decoded straight into a wiping buffer; nothing else ever holds its text.
#pragma once

#include <windows.h>

#include "wiping_allocator.h"

#include <string>

struct AuthRequest {
    std::string action;
    std::string username;  // UTF-8, escapes decoded
    SecretBytes password;  // UTF-8, escapes decoded, no terminator
    bool hasAction = false;
    bool hasUsername = false;
    bool hasPassword = false;
};

enum class RequestParseStatus {
    Parsed,
    Malformed,  // not one flat JSON object of string values, a key given twice, bad UTF-8, a NUL
    OutOfMemory,
};

// Parses size bytes of request. On any status but Parsed, request holds nothing (the partly
// decoded password has been wiped). The input is not modified; its owner wipes it.
RequestParseStatus ParseAuthRequest(const char* data, size_t size, AuthRequest& request) noexcept;
