#include "registration_checks.h"

#include "display_escaping.h"
#include "loader_search.h"
#include "package_hints.h"
#include "provider_class_id.h"
#include "registered_providers.h"
#include "registry_value.h"
#include "sign_in_screen_visibility.h"
#include "utf8_conversion.h"

#include <vector>

namespace {

const std::wstring kClsid = kProviderClsidText;
// The sign-in screen runs as LocalSystem, whose view of the classes is the machine's.
const std::wstring kServerKey = L"SOFTWARE\\Classes\\CLSID\\" + kClsid + L"\\InprocServer32";
const std::wstring kProviderKey = std::wstring(kCredentialProvidersKey) + L"\\" + kClsid;
// The system's own password provider.
constexpr wchar_t kPasswordProviderClsid[] = L"{60B78E88-EAD8-445C-9CFD-0B87F74EA6CD}";

std::string Hklm(const std::wstring& key) { return "HKLM\\" + Utf8FromWide(key); }

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// "A.B.C.D" from the file's version record; empty when it has none.
std::string FileVersionOf(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

// Where the sign-in screen's loader finds the registered DLL, with the provider DLL line; empty
// when it finds none.
std::wstring CheckProviderDll(CheckReport& report, const std::wstring& registered) {
    const std::string shown = EscapedPathForDisplay(registered);
    const std::wstring path = FindDllAsLogonLoaderWould(registered);
    if (path.empty()) {
        AddCheck(report, "provider DLL", CheckStatus::Fail,
                 shown +
                     ": not found in the system folder, the Windows folder or PATH, where the sign-in screen looks "
                     "for a DLL registered without its full path: it cannot load the provider",
                 RepairHint());
        return {};
    }
    const std::string where = IsFullPath(registered) ? shown : shown + " (found as " + EscapedPathForDisplay(path) + ")";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        AddCheck(report, "provider DLL", CheckStatus::Fail,
                 shown + ": not found: the sign-in screen cannot load the provider", RepairHint());
        return path;
    }
    const std::string version = FileVersionOf(path);
    if (version.empty()) {
        AddCheck(report, "provider DLL", CheckStatus::Warn,
                 where + " has no version record: it may not be qm-credprovider.dll", RepairHint());
        return path;
    }
    AddCheck(report, "provider DLL", CheckStatus::Ok, where + ", version " + version);
    return path;
}

void CheckExclusionPolicy(CheckReport& report) {
    const ProviderExclusionPolicy policy = ReadProviderExclusionPolicy();
    if (ExcludesProvider(policy, kClsid)) {
        AddCheck(report, "exclusion policy", CheckStatus::Fail,
                 "ExcludedCredentialProviders lists this provider: the sign-in screen hides it",
                 "remove " + Utf8FromWide(kClsid) +
                     " from the policy Computer Configuration > Administrative Templates > System > Logon > "
                     "Exclude credential providers");
        return;
    }
    if (ExcludesProvider(policy, kPasswordProviderClsid)) {
        AddCheck(report, "exclusion policy", CheckStatus::Ok,
                 "ExcludedCredentialProviders excludes the system's password provider: this tile is the only "
                 "password sign-in, so keep a recovery route at hand (safe mode, or the recovery environment's "
                 "command prompt)");
        return;
    }
    AddCheck(report, "exclusion policy", CheckStatus::Ok,
             policy.value.empty()
                 ? "ExcludedCredentialProviders is not set"
                 : "ExcludedCredentialProviders = " + EscapedPathForDisplay(policy.value) + ", not this provider");
}

std::string PolicyText(HKEY policy, PCWSTR name, const char* effect) {
    const DWORD value = policy == nullptr ? 0 : ReadRegistryDword(policy, name);
    return Utf8FromWide(name) + " = " + std::to_string(value) + (value != 0 ? std::string(" (") + effect + ")" : "");
}

}  // namespace

std::wstring CheckClassRegistration(CheckReport& report) {
    RegistryKey server;
    if (!OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, kServerKey.c_str(), server)) {
        AddCheck(report, "class registration", CheckStatus::Fail,
                 Hklm(kServerKey) + " is missing: the provider's class is not registered",
                 ReinstallHint() + "; credhost list shows the providers that are");
        return {};
    }
    const std::wstring path = ReadRegistryPath(server.Get(), nullptr);
    if (path.empty()) {
        AddCheck(report, "class registration", CheckStatus::Fail, Hklm(kServerKey) + " names no DLL", RepairHint());
        return {};
    }
    const std::wstring threadingModel = ReadRegistryString(server.Get(), L"ThreadingModel");
    if (!SameText(threadingModel, L"Apartment")) {
        AddCheck(report, "class registration", CheckStatus::Fail,
                 "ThreadingModel is \"" + EscapedForDisplay(threadingModel) +
                     "\", not Apartment: the sign-in screen's threads would call the tile unsafely",
                 RepairHint());
    } else {
        AddCheck(report, "class registration", CheckStatus::Ok,
                 "InprocServer32 = " + EscapedPathForDisplay(path) + ", ThreadingModel = Apartment");
    }
    return CheckProviderDll(report, path);
}

void CheckProviderEntry(CheckReport& report) {
    const ProviderVisibility visibility = ProviderVisibilityOf(kClsid);
    if (!visibility.registered) {
        AddCheck(report, "provider entry", CheckStatus::Fail,
                 Hklm(kProviderKey) + " is missing: the sign-in screen does not load the provider", ReinstallHint());
        return;
    }
    if (visibility.disabled != 0) {
        AddCheck(report, "provider entry", CheckStatus::Fail,
                 "Disabled = " + std::to_string(visibility.disabled) + ": the sign-in screen skips the provider",
                 "to enable it: reg delete \"" + Hklm(kProviderKey) + "\" /v Disabled /f");
        return;
    }
    AddCheck(report, "provider entry", CheckStatus::Ok, "registered, not disabled");
}

void CheckSignInPolicies(CheckReport& report) {
    RegistryKey policy;
    OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, kSignInPolicyKey, policy);
    CheckExclusionPolicy(report);
    AddCheck(report, "sign-in policies", CheckStatus::Ok,
             PolicyText(policy.Get(), L"HideFastUserSwitching",
                        "no Switch user: a locked session is unlocked by its own user only") +
                 ", " +
                 PolicyText(policy.Get(), L"DontDisplayLastUserName",
                            "the sign-in screen shows no previous user: the tile starts with an empty user name"));
}

void CheckProviderFilters(CheckReport& report) {
    const std::vector<RegisteredProvider> filters = ListRegisteredProviderFilters();
    if (filters.empty()) {
        AddCheck(report, "provider filters", CheckStatus::Ok, "no credential provider filter is registered");
        return;
    }
    std::vector<std::string> named;
    for (const RegisteredProvider& filter : filters) {
        named.push_back(EscapedPathForDisplay(filter.clsid) +
                        (filter.dllPath.empty() ? "" : " (" + EscapedPathForDisplay(filter.dllPath) + ")"));
    }
    std::string listed;
    for (const std::string& filter : named) {
        listed += (listed.empty() ? "" : ", ") + filter;
    }
    AddCheck(report, "provider filters", CheckStatus::Warn,
             std::to_string(filters.size()) + " credential provider filter(s): " + listed +
                 ": a filter chooses which providers the sign-in screen shows, and can hide this tile",
             "if the tile is missing, ask the filter's maker whether it lets " + Utf8FromWide(kClsid) +
                 " through, or try without the filter");
}
