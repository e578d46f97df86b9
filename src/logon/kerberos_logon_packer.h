#pragma once

#include <windows.h>
#include <credentialprovider.h>

#include <cstddef>

// The longest account name or password, in UTF-16 units, that a logon can carry: a
// UNICODE_STRING's Length counts bytes in 16 bits, so a longer string cannot be described and
// would corrupt the block. The packer refuses longer ones with E_INVALIDARG.
inline constexpr size_t kMaxLogonStringUnits = 0xFFFF / sizeof(WCHAR);

// Packs accountName and password, with the computer name as domain, into one CoTaskMem
// KERB_INTERACTIVE_UNLOCK_LOGON block whose string Buffer fields are byte offsets, and fills
// *pcpcs with the "Kerberos" package number, the provider's class id and the block. On S_OK
// the block belongs to whoever receives *pcpcs.
HRESULT KerberosLogonPacker(PCWSTR accountName, PCWSTR password,
                            CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept;
