#include "sign_in_screen_visibility.h"

#include "registered_providers.h"
#include "registry_value.h"

#include <algorithm>

namespace {

// The class ids of a comma-separated list, each with the blanks around it removed.
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

}  // namespace

ProviderExclusionPolicy ReadProviderExclusionPolicy() {
    ProviderExclusionPolicy policy;
    RegistryKey key;
    if (!OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, kSignInPolicyKey, key)) {
        return policy;
    }
    policy.value = ReadRegistryString(key.Get(), L"ExcludedCredentialProviders");
    policy.classIds = ListedClassIds(policy.value);
    return policy;
}

bool ExcludesProvider(const ProviderExclusionPolicy& policy, const std::wstring& clsid) {
    return std::any_of(policy.classIds.begin(), policy.classIds.end(), [&clsid](const std::wstring& id) {
        return CompareStringOrdinal(id.c_str(), -1, clsid.c_str(), -1, TRUE) == CSTR_EQUAL;
    });
}

ProviderVisibility ProviderVisibilityOf(const std::wstring& clsid) {
    ProviderVisibility visibility;
    RegistryKey entry;
    visibility.registered =
        OpenRegistryKeyForReading(HKEY_LOCAL_MACHINE, (kCredentialProvidersKey + (L"\\" + clsid)).c_str(), entry);
    visibility.disabled = visibility.registered ? ReadRegistryDword(entry.Get(), L"Disabled") : 0;
    visibility.excluded = ExcludesProvider(ReadProviderExclusionPolicy(), clsid);
    return visibility;
}

std::string HiddenReasonText(const ProviderVisibility& visibility) {
    const std::string disabled = visibility.disabled != 0 ? "Disabled = " + std::to_string(visibility.disabled) : "";
    const std::string excluded = visibility.excluded ? "ExcludedCredentialProviders lists it" : "";
    if (!disabled.empty() && !excluded.empty()) {
        return disabled + " and " + excluded;
    }
    return disabled + excluded;
}
