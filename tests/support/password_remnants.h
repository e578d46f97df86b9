// Long, distinctive test passwords that the test itself never holds in clear for long, and the
// windows of them that a remnant scan of this process's memory looks for.
#pragma once

#include <cstddef>
#include <string>

#include "support/process_memory_scan.h"

// A password of capital letters, which need no escaping, so that its plain, escaped and request
// copies share its bytes. Generated masked: no plain copy of it is ever made here.
MaskedPattern MakePassword(std::size_t length, unsigned seed);

// The password as the wide text that a host hands to the tile. Zero-filled when it goes, so
// that the test's own copy is never what a scan finds.
class WidePassword {
public:
    explicit WidePassword(const MaskedPattern& password);
    ~WidePassword();
    WidePassword(const WidePassword&) = delete;
    WidePassword& operator=(const WidePassword&) = delete;
    const wchar_t* c_str() const { return m_text.c_str(); }

private:
    std::wstring m_text;
};

// Windows of a password in UTF-8 and in UTF-16: from character 16 on (the heap reuses the first
// 16 bytes of a freed block) and from its middle. Cut before the code under test runs: cutting
// them afterwards would allocate, and a new block could cover a freed one that holds a remnant.
struct PasswordWindows {
    explicit PasswordWindows(const MaskedPattern& password);

    // Copies found now in either form: the larger count of that form's two windows.
    std::size_t Utf8Copies() const;
    std::size_t Utf16Copies() const;

    MaskedPattern head;
    MaskedPattern middle;
    MaskedPattern wideHead;
    MaskedPattern wideMiddle;
};

// No copy of the password in either form anywhere in this process's scanned memory.
void ExpectNoRemnant(const PasswordWindows& windows);
