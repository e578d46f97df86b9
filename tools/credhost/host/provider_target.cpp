#include "provider_target.h"

#include "loader_search.h"
#include "registered_providers.h"
#include "registry_value.h"
#include "credential_provider_names.h"
#include "display_escaping.h"

namespace {

bool ParseClsid(const std::wstring& text, CLSID& clsid) {
    return text.size() == 38 && text.front() == L'{' && SUCCEEDED(CLSIDFromString(text.c_str(), &clsid));
}

std::wstring RegisteredServerOf(const std::wstring& clsid) {
    RegistryKey server;
    if (!OpenRegistryKeyForReading(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid + L"\\InprocServer32").c_str(), server)) {
        return {};
    }
    return ReadRegistryPath(server.Get(), nullptr);
}

std::wstring SystemFolderPath(const std::wstring& name) {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return (length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring(L".")) + L"\\" + name;
}

// For a bare or relative registered name: where the sign-in screen's loader would find it.
void ResolveAsLoaderWould(ProviderTarget& target) {
    if (target.registeredDll.empty() || IsFullPath(target.registeredDll)) {
        return;
    }
    target.foundAsLoaderWould = true;
    target.dllPath = FindDllAsLogonLoaderWould(target.registeredDll);
    if (target.dllPath.empty()) {
        target.dllPath = SystemFolderPath(target.registeredDll);
    }
}

}  // namespace

bool ResolveProviderTarget(const std::wstring& provider, const std::wstring& clsidOption, ProviderTarget& target,
                           std::wstring& error) {
    if (provider.front() == L'{') {
        if (!ParseClsid(provider, target.clsid)) {
            error = L"not a class id: " + provider;
            return false;
        }
        if (!clsidOption.empty()) {
            error = L"--clsid goes with a DLL path, not with a class id";
            return false;
        }
        target.registeredDll = RegisteredServerOf(provider);
        ResolveAsLoaderWould(target);
        return true;
    }
    target.dllPath = FullPathOf(provider);
    const std::wstring clsid = clsidOption.empty() ? FindRegisteredClsidForDll(target.dllPath) : clsidOption;
    if (clsid.empty()) {
        error = L"no provider is registered with " + target.dllPath + L"; name its class with --clsid";
        return false;
    }
    if (!ParseClsid(clsid, target.clsid)) {
        error = L"not a class id: " + clsid;
        return false;
    }
    return true;
}

HRESULT LoadProviderTarget(const ProviderTarget& target, ProviderModule& module) {
    if (target.dllPath.empty()) {
        return module.LoadByClassId(target.clsid);
    }
    return module.LoadFromDll(target.dllPath, target.clsid);
}

std::string DescribeProviderTarget(const ProviderTarget& target) {
    const std::string clsid = GuidText(target.clsid);
    if (target.foundAsLoaderWould) {
        return clsid + " from " + EscapedPathForDisplay(target.dllPath) + " (InprocServer32 names " +
               EscapedPathForDisplay(target.registeredDll) + ", found as the sign-in screen's loader would)";
    }
    if (!target.dllPath.empty()) {
        return clsid + " from " + EscapedPathForDisplay(target.dllPath);
    }
    // The registered path is anyone's to write: HKEY_CLASSES_ROOT shows the user's own classes
    // (HKCU\Software\Classes) over the machine's.
    return clsid + " through COM" +
           (target.registeredDll.empty() ? std::string() : " (" + EscapedPathForDisplay(target.registeredDll) + ")");
}

std::string LoadFailureAdvice(const ProviderTarget& target, HRESULT hr) {
    const std::wstring& dll = target.dllPath.empty() ? target.registeredDll : target.dllPath;
    if ((hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
         hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) &&
        !dll.empty()) {
        return "not found: " + EscapedPathForDisplay(dll);
    }
    if (hr == REGDB_E_CLASSNOTREG) {
        return "the class " + GuidText(target.clsid) +
               " is not registered; credhost list shows the registered providers";
    }
    return {};
}
