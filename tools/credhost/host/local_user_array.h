// The user array that the sign-in screen of Windows 8 and later hands a provider through
// ICredentialProviderSetUserArray::SetUserArray, after SetUsageScenario and before it reads
// anything: the machine's local accounts, each an ICredentialProviderUser. Providers written for
// that screen may build their tiles from it alone. The objects are the host's: they keep no
// module loaded, and a provider may hold them as long as it likes.
#pragma once

#include <credentialprovider.h>

#include <string>
#include <vector>

// Which accounts the array holds: every local account, or (--user-array) only those named;
// naming none gives an empty array.
struct UserArrayChoice {
    bool limited = false;
    std::vector<std::wstring> names;
};

// One local account as ICredentialProviderUser describes it.
struct LocalAccount {
    std::wstring userName;
    std::wstring displayName;    // the full name, or the user name when the account has none
    std::wstring sid;            // S-1-5-21-...
    std::wstring qualifiedName;  // COMPUTER\user, as the logon packs it
    std::wstring logonStatus;    // "Signed in" for the account credhost runs as, else empty
};

// The machine's enabled local accounts (NetUserEnum), in its order, kept as choice says. An
// account whose SID cannot be looked up is left out: the array's users always answer GetSid.
std::vector<LocalAccount> ReadLocalAccounts(const UserArrayChoice& choice);

// The SID of the account userName names, as S-1-5-...; empty when it names none.
std::wstring SidTextOfAccount(const std::wstring& userName);

// A new array of accounts (its creation reference, for the caller); null when out of memory.
// GetAccountOptions answers CPAO_EMPTY_LOCAL when it holds no account (the screen then offers
// only "Other user" for a local account), CPAO_NONE otherwise.
ICredentialProviderUserArray* CreateLocalUserArray(const std::vector<LocalAccount>& accounts) noexcept;
