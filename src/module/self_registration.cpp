// DllRegisterServer and DllUnregisterServer: the provider class as an apartment-threaded
// in-process server, and its entry among the credential providers that the sign-in UI loads.
#include <windows.h>
#include <olectl.h>

#include "base/unique_handle.h"
#include "module/format_bounded_w.h"
#include "module/registration_system_calls.h"
#include "module_lock_count.h"
#include "provider_class_id.h"

namespace {

constexpr wchar_t kProviderDisplayName[] = L"Quillmere Credential Provider";
constexpr wchar_t kApartmentThreading[] = L"Apartment";

constexpr DWORD kModulePathCapacity = MAX_PATH;
constexpr size_t kClassKeyCapacity = 256;
constexpr size_t kCredentialProviderKeyCapacity = 512;

// Built anew by each call in its own buffers. The fixed texts always fit, so the formatting
// results are not examined.
struct RegistrationKeyPaths {
    WCHAR classKey[kClassKeyCapacity];
    WCHAR inprocServerKey[kClassKeyCapacity];
    WCHAR credentialProviderKey[kCredentialProviderKeyCapacity];

    RegistrationKeyPaths() noexcept {
        FormatBoundedW(classKey, kClassKeyCapacity, L"CLSID\\%ls", kProviderClsidText);
        FormatBoundedW(inprocServerKey, kClassKeyCapacity, L"%ls\\InprocServer32", classKey);
        FormatBoundedW(credentialProviderKey, kCredentialProviderKeyCapacity,
                       L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Authentication\\"
                       L"Credential Providers\\%ls",
                       kProviderClsidText);
    }
};

// One REG_SZ value to write; a null name stands for the key's default value.
struct RegistryStringValue {
    HKEY root;
    PCWSTR keyPath;
    PCWSTR name;
    PCWSTR data;
};

// Creates or opens the value's key and sets the value. Each value opens its key anew and closes
// it again, whatever the write's status.
LSTATUS WriteStringValue(const RegistryStringValue& value) noexcept {
    RegistryKey key;
    const LSTATUS opened = g_registrationSystemCalls.regCreateKeyEx(
        value.root, value.keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Receive(), nullptr);
    if (opened != ERROR_SUCCESS) {
        return opened;
    }
    const DWORD dataBytes = static_cast<DWORD>((wcslen(value.data) + 1) * sizeof(WCHAR));
    return g_registrationSystemCalls.regSetValueEx(key.Get(), value.name, 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(value.data), dataBytes);
}

// The module's whole path, or the reason it cannot be had: a truncated or empty path must never
// be registered as the server's file.
HRESULT ReadModulePath(WCHAR (&path)[kModulePathCapacity]) noexcept {
    ZeroMemory(path, sizeof(path));
    SetLastError(ERROR_SUCCESS);
    const DWORD length = g_registrationSystemCalls.getModuleFileName(ModuleInstance, path, kModulePathCapacity);
    const DWORD error = GetLastError();
    if (length >= kModulePathCapacity) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (length == 0) {
        return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    return S_OK;
}

}  // namespace

// Called by regsvr32 or an installer. Stops at the first failed write; earlier writes stay.
STDAPI DllRegisterServer() {
    WCHAR modulePath[kModulePathCapacity];
    const HRESULT pathResult = ReadModulePath(modulePath);
    if (FAILED(pathResult)) {
        return pathResult;
    }

    const RegistrationKeyPaths paths;
    const RegistryStringValue values[] = {
        {HKEY_CLASSES_ROOT, paths.classKey, nullptr, kProviderDisplayName},
        {HKEY_CLASSES_ROOT, paths.inprocServerKey, nullptr, modulePath},
        {HKEY_CLASSES_ROOT, paths.inprocServerKey, L"ThreadingModel", kApartmentThreading},
        {HKEY_LOCAL_MACHINE, paths.credentialProviderKey, nullptr, kProviderDisplayName},
    };
    for (const RegistryStringValue& value : values) {
        const LSTATUS status = WriteStringValue(value);
        if (status != ERROR_SUCCESS) {
            return HRESULT_FROM_WIN32(status);
        }
    }
    return S_OK;
}

// Called by regsvr32 /u or an uninstaller. Removes both keys with everything beneath them; a key
// that is missing or cannot be deleted is passed over, so this always succeeds.
STDAPI DllUnregisterServer() {
    const RegistrationKeyPaths paths;
    g_registrationSystemCalls.regDeleteTree(HKEY_LOCAL_MACHINE, paths.credentialProviderKey);
    g_registrationSystemCalls.regDeleteTree(HKEY_CLASSES_ROOT, paths.classKey);
    return S_OK;
}
