// The credential provider under test, loaded the way the sign-in screen loads it (by class id
// through COM) or straight from a DLL file through its DllGetClassObject export, for a DLL that
// is not registered. Releasing it releases the provider, then unloads the DLL it came from.
#pragma once

#include <credentialprovider.h>

#include "base/com_ptr.h"

#include <string>

class ProviderModule {
public:
    ProviderModule() noexcept = default;
    ~ProviderModule();
    ProviderModule(const ProviderModule&) = delete;
    ProviderModule& operator=(const ProviderModule&) = delete;

    // CoCreateInstance(CLSCTX_INPROC_SERVER) for ICredentialProvider.
    HRESULT LoadByClassId(const CLSID& clsid) noexcept;

    // LoadLibraryEx, DllGetClassObject(clsid) and IClassFactory::CreateInstance.
    HRESULT LoadFromDll(const std::wstring& path, const CLSID& clsid) noexcept;

    ICredentialProvider* Provider() const noexcept { return m_provider.Get(); }

    // Releases the provider; for a DLL loaded here, asks DllCanUnloadNow and frees the library.
    // Returns what DllCanUnloadNow said (S_FALSE means the provider still counts live objects
    // after the host released everything), S_OK when nothing was asked.
    HRESULT Unload() noexcept;

    // What failed last, for the error message ("DllGetClassObject", ...).
    const char* FailedStep() const noexcept { return m_failedStep; }

private:
    ComPtr<ICredentialProvider> m_provider;
    HMODULE m_module = nullptr;
    const char* m_failedStep = "";
};
