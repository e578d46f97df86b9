#include "support/registry_sandbox.h"

RegistrySandbox::RegistrySandbox(PCWSTR name)
    : m_path(std::wstring(L"Software\\qm-credprovider-tests\\") + name + L"-" +
             std::to_wstring(GetCurrentProcessId())) {
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    m_active = RedirectRoot(HKEY_CLASSES_ROOT, L"\\classes") == ERROR_SUCCESS &&
               RedirectRoot(HKEY_LOCAL_MACHINE, L"\\machine") == ERROR_SUCCESS;
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
}

LSTATUS RegistrySandbox::RedirectRoot(HKEY root, PCWSTR name) {
    HKEY target = nullptr;
    const LSTATUS created = RegCreateKeyExW(HKEY_CURRENT_USER, (m_path + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                            nullptr, &target, nullptr);
    if (created != ERROR_SUCCESS) {
        return created;
    }
    const LSTATUS redirected = RegOverridePredefKey(root, target);
    RegCloseKey(target);
    return redirected;
}
