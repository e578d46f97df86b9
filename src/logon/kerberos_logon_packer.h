#pragma once

#include <windows.h>
#include <credentialprovider.h>

// Packs accountName and password, with the computer name as domain, into one CoTaskMem
// KERB_INTERACTIVE_UNLOCK_LOGON block whose string Buffer fields are byte offsets, and fills
// *pcpcs with the "Kerberos" package number, the provider's class id and the block. On S_OK
// the block belongs to whoever receives *pcpcs.
HRESULT KerberosLogonPacker(PCWSTR accountName, PCWSTR password,
                            CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept;
