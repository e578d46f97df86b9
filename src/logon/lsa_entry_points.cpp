#include "logon/lsa_entry_points.h"

LsaEntryPoints LsaCalls = {
    LsaConnectUntrusted,
    LsaLookupAuthenticationPackage,
    LsaDeregisterLogonProcess,
};
