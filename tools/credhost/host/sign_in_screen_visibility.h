// Whether the sign-in screen would leave a registered provider out, read as it reads it: the
// provider entry's Disabled value (non-zero: skipped) and the machine policy
// ExcludedCredentialProviders (a comma-separated list of class ids, matched ignoring case). The
// credential prompt honours the same two. credhost list marks such a provider, signin says so
// before it drives it anyway, and doctor reports each as a failure.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The machine policy key that holds ExcludedCredentialProviders and the other sign-in policies.
inline constexpr wchar_t kSignInPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

struct ProviderExclusionPolicy {
    std::wstring value;                  // ExcludedCredentialProviders as set; empty when not set
    std::vector<std::wstring> classIds;  // the class ids it lists, trimmed
};

ProviderExclusionPolicy ReadProviderExclusionPolicy();

// True when the policy lists clsid ("{...}", any case).
bool ExcludesProvider(const ProviderExclusionPolicy& policy, const std::wstring& clsid);

struct ProviderVisibility {
    bool registered = false;  // the provider has its entry under Credential Providers
    DWORD disabled = 0;       // that entry's Disabled value
    bool excluded = false;    // ExcludedCredentialProviders lists it

    bool Hidden() const noexcept { return disabled != 0 || excluded; }
};

ProviderVisibility ProviderVisibilityOf(const std::wstring& clsid);

// Why a hidden provider is left out: "Disabled = 1", "ExcludedCredentialProviders lists it", or
// both joined by "and"; empty when it is not hidden.
std::string HiddenReasonText(const ProviderVisibility& visibility);
