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
//
// The form follows what the host asked for in its last accepted SetUsageScenario:
// - scenario CPUS_UNLOCK_WORKSTATION gives KerbWorkstationUnlockLogon (7), which Windows needs to
//   unlock a session; sign-in and the credential prompt give KerbInteractiveLogon (2);
// - flags holding CREDUIWIN_PACK_32_WOW (a 32-bit program's credential prompt on 64-bit Windows)
//   give the 32-bit layout: a 36-byte header with 32-bit Buffer fields. Otherwise the 64-bit one.
HRESULT KerberosLogonPacker(PCWSTR accountName, PCWSTR password, CREDENTIAL_PROVIDER_USAGE_SCENARIO scenario,
                            DWORD flags, CREDENTIAL_PROVIDER_CREDENTIAL_SERIALIZATION* pcpcs) noexcept;
