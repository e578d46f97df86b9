#include "provider_module.h"

#include "provider_contract.h"
#include "provider_call.h"

namespace {

using DllGetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

template <typename Function>
Function ModuleExport(HMODULE module, const char* name) noexcept {
    // GetProcAddress returns a generic function pointer; the export's real type is the COM one.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

ProviderModule::~ProviderModule() { Unload(); }

HRESULT ProviderModule::LoadByClassId(const CLSID& clsid) noexcept {
    m_failedStep = NameProviderCall("CoCreateInstance");
    const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(m_provider.Receive()));
    if (SUCCEEDED(hr)) {
        m_failedStep = "";
    }
    return hr;
}

HRESULT ProviderModule::LoadFromDll(const std::wstring& path, const CLSID& clsid) noexcept {
    m_failedStep = NameProviderCall("LoadLibraryEx");
    m_module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (m_module == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    m_failedStep = "GetProcAddress(DllGetClassObject)";
    const auto getClassObject = ModuleExport<DllGetClassObjectFunction>(m_module, "DllGetClassObject");
    if (getClassObject == nullptr) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    // Received into raw pointers: what a failed call left in its out-parameter is not the host's.
    m_failedStep = NameProviderCall("DllGetClassObject");
    void* received = nullptr;
    HRESULT hr = getClassObject(clsid, __uuidof(IClassFactory), &received);
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IClassFactory> factory;
    factory.Attach(static_cast<IClassFactory*>(received));  // the call's reference
    if (!factory) {
        return kProviderContractBroken;
    }
    m_failedStep = NameProviderCall("IClassFactory::CreateInstance");
    received = nullptr;
    hr = factory->CreateInstance(nullptr, __uuidof(ICredentialProvider), &received);
    if (FAILED(hr)) {
        return hr;
    }
    m_provider.Attach(static_cast<ICredentialProvider*>(received));
    if (!m_provider) {
        return kProviderContractBroken;
    }
    m_failedStep = "";
    return S_OK;
}

HRESULT ProviderModule::Unload() noexcept {
    NameProviderCall("Release or DllCanUnloadNow");
    m_provider.Reset();
    if (m_module == nullptr) {
        return S_OK;
    }
    const auto canUnloadNow = ModuleExport<DllCanUnloadNowFunction>(m_module, "DllCanUnloadNow");
    const HRESULT answer = canUnloadNow != nullptr ? canUnloadNow() : S_OK;
    // Like COM, the host keeps a module loaded that still counts live objects: code of its
    // could still run. The process ends soon after anyway.
    if (answer == S_OK) {
        FreeLibrary(m_module);
    }
    m_module = nullptr;
    return answer;
}
