// Which provider the command names, and loading it: a class id goes through COM like the
// system's own loading; a DLL path is loaded directly, for a provider that is not registered.
#pragma once

#include "provider_module.h"

#include <string>

struct ProviderTarget {
    CLSID clsid{};
    std::wstring dllPath;        // empty: created through COM from the registration
    std::wstring registeredDll;  // what InprocServer32 names, for the report
    // InprocServer32 names a bare or relative file: dllPath is where the sign-in screen's loader
    // finds it (loader_search.h), never where COM would look from credhost's folder.
    bool foundAsLoaderWould = false;
};

// Resolves the PROVIDER argument (a class id or a DLL path) and --clsid (empty when not given).
// A class whose registration names a bare or relative file is loaded from where the loader finds
// it (the system folder first); one found nowhere, from the system folder, so that its loading
// fails there.
// False with error set for a usage error.
bool ResolveProviderTarget(const std::wstring& provider, const std::wstring& clsidOption, ProviderTarget& target,
                           std::wstring& error);

// Loads it into module; on failure module.FailedStep() names the call.
HRESULT LoadProviderTarget(const ProviderTarget& target, ProviderModule& module);

// "{class id} through COM (Z:\...\x.dll)" or "{class id} from Z:\...\x.dll".
std::string DescribeProviderTarget(const ProviderTarget& target);

// What to read beside a failed load, escaped for display: "not found: PATH" for a DLL that is
// not there, or, for a class id that is not registered, where to look for the ones that are;
// empty for any other failure.
std::string LoadFailureAdvice(const ProviderTarget& target, HRESULT hr);
