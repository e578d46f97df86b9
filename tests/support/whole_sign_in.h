// One sign-in as the sign-in screen drives it, on the module's own objects: a new provider for the
// logon scenario, its tile selected, both values typed, the submission, deselection, and the
// release of the tile and the provider.
#pragma once

#include <windows.h>
#include <credentialprovider.h>

struct WholeSignIn {
    HRESULT hr = E_UNEXPECTED;  // GetSerialization's result (E_UNEXPECTED: never reached)
    CREDENTIAL_PROVIDER_GET_SERIALIZATION_RESPONSE response = CPGSR_NO_CREDENTIAL_FINISHED;
    // The caller's, as it would be the host's: wipe and free it with FreeSerialization.
    CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION serialization = {};
    // Empty when the tile gave none. A fixed array: a heap block taken after the sign-in could
    // cover a freed one that a remnant scan must still see.
    wchar_t statusText[256] = {};
};

WholeSignIn RunWholeSignIn(PCWSTR userName, PCWSTR password);

// Zero-fills the logon block (it holds the password) and frees it.
void FreeSerialization(CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION& serialization);
