#include "registration_checks.h"

#include "display_escaping.h"
#include "provider_class_id.h"
#include "registry_value.h"
#include "utf8_conversion.h"

#include <algorithm>
#include <vector>

namespace {

const std::wstring kClsid = kProviderClsidText;
// The sign-in screen runs as LocalSystem, whose view of the classes is the machine's.
const std::wstring kServerKey = L"SOFTWARE\\Classes\\CLSID\\" + kClsid + L"\\InprocServer32";
const std::wstring kProviderKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\Credential Providers\\" + kClsid;
constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
// The system's own password provider.
constexpr wchar_t kPasswordProviderClsid[] = L"{60B78E88-EAD8-445C-9CFD-0B87F74EA6CD}";

const std::string kReinstallHint =
    "install the package again: msiexec /i qm-credprovider-<version>-x64.msi /qn /norestart";
const std::string kRepairHint =
    "repair the package: msiexec /i qm-credprovider-<version>-x64.msi REINSTALL=ALL REINSTALLMODE=omus /qn "
    "/norestart";

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

void CheckProviderDll(CheckReport& report, const std::wstring& path) {
    const std::string shown = EscapedPathForDisplay(path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        AddCheck(report, "provider DLL", CheckStatus::Fail,
                 shown + " does not exist: the sign-in screen cannot load the provider", kRepairHint);
        return;
    }
    const std::string version = FileVersionOf(path);
    if (version.empty()) {
        AddCheck(report, "provider DLL", CheckStatus::Warn,
                 shown + " has no version record: it may not be qm-credprovider.dll", kRepairHint);
        return;
    }
    AddCheck(report, "provider DLL", CheckStatus::Ok, shown + ", version " + version);
}

// The class ids in a comma-separated list, as the exclusion policy holds them.
std::vector<std::wstring> ListedClassIds(const std::wstring& list) {
    std::vector<std::wstring> ids;
    for (size_t start = 0; start <= list.size();) {
        const size_t comma = std::min(list.find(L',', start), list.size());
        const std::wstring item = list.substr(start, comma - start);
        const size_t first = item.find_first_not_of(L" \t");
        if (first != std::wstring::npos) {
            ids.push_back(item.substr(first, item.find_last_not_of(L" \t") - first + 1));
        }
        start = comma + 1;
    }
    return ids;
}

bool Lists(const std::vector<std::wstring>& ids, const std::wstring& clsid) {
    return std::any_of(ids.begin(), ids.end(), [&clsid](const std::wstring& id) { return SameText(id, clsid); });
}

void CheckExclusionPolicy(CheckReport& report, HKEY policy) {
    const std::wstring value =
        policy == nullptr ? std::wstring() : ReadRegistryString(policy, L"ExcludedCredentialProviders");
    const std::vector<std::wstring> ids = ListedClassIds(value);
    if (Lists(ids, kClsid)) {
        AddCheck(report, "exclusion policy", CheckStatus::Fail,
                 "ExcludedCredentialProviders lists this provider: the sign-in screen hides it",
                 "remove " + Utf8FromWide(kClsid) +
                     " from the policy Computer Configuration > Administrative Templates > System > Logon > "
                     "Exclude credential providers");
        return;
    }
    if (Lists(ids, kPasswordProviderClsid)) {
        AddCheck(report, "exclusion policy", CheckStatus::Ok,
                 "ExcludedCredentialProviders excludes the system's password provider: this tile is the only "
                 "password sign-in, so keep a way back at hand: from safe mode or the recovery environment, set the "
                 "provider's Disabled value to 1 or remove the package (Quillmere Credential Provider)");
        return;
    }
    AddCheck(report, "exclusion policy", CheckStatus::Ok,
             value.empty() ? "ExcludedCredentialProviders is not set"
                           : "ExcludedCredentialProviders = " + EscapedPathForDisplay(value) + ", not this provider");
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
                 Hklm(kServerKey) + " is missing: the provider's class is not registered", kReinstallHint);
        return {};
    }
    const std::wstring path = ReadRegistryPath(server.Get(), nullptr);
    if (path.empty()) {
        AddCheck(report, "class registration", CheckStatus::Fail, Hklm(kServerKey) + " names no DLL", kRepairHint);
        return {};
    }
    const std::wstring threadingModel = ReadRegistryString(server.Get(), L"ThreadingModel");
    if (!SameText(threadingModel, L"Apartment")) {
        AddCheck(report, "class registration", CheckStatus::Fail,
                 "ThreadingModel is \"" + EscapedForDisplay(threadingModel) +
                     "\", not Apartment: the sign-in screen's threads would call the tile unsafely",
                 kRepairHint);
    } else {
        AddCheck(report, "class registration", CheckStatus::Ok,
                 "InprocServer32 = " + EscapedPathForDisplay(path) + ", ThreadingModel = Apartment");
    }
    CheckProviderDll(report, path);
    return path;
}

void CheckProviderEntry(CheckReport& report) {
    RegistryKey entry;
    if (!OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, kProviderKey.c_str(), entry)) {
        AddCheck(report, "provider entry", CheckStatus::Fail,
                 Hklm(kProviderKey) + " is missing: the sign-in screen does not load the provider", kReinstallHint);
        return;
    }
    const DWORD disabled = ReadRegistryDword(entry.Get(), L"Disabled");
    if (disabled != 0) {
        AddCheck(report, "provider entry", CheckStatus::Fail,
                 "Disabled = " + std::to_string(disabled) + ": the sign-in screen skips the provider",
                 "to enable it: reg delete \"" + Hklm(kProviderKey) + "\" /v Disabled /f");
        return;
    }
    AddCheck(report, "provider entry", CheckStatus::Ok, "registered, not disabled");
}

void CheckSignInPolicies(CheckReport& report) {
    RegistryKey policy;
    OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, kPolicyKey, policy);
    CheckExclusionPolicy(report, policy.Get());
    AddCheck(report, "sign-in policies", CheckStatus::Ok,
             PolicyText(policy.Get(), L"HideFastUserSwitching",
                        "no Switch user: a locked session is unlocked by its own user only") +
                 ", " +
                 PolicyText(policy.Get(), L"DontDisplayLastUserName",
                            "the sign-in screen shows no previous user: the tile starts with an empty user name"));
}
