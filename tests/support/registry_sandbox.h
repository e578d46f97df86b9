// Redirects HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE into a scratch tree under HKEY_CURRENT_USER
// for this process while it lives, so registration tests neither need nor disturb the real
// registration. The scratch tree is deleted on both ends.
#pragma once

#include <windows.h>

#include <string>

class RegistrySandbox {
public:
    // name: a label unique to the test program, part of the scratch tree's path.
    explicit RegistrySandbox(PCWSTR name);
    ~RegistrySandbox();

    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Both roots are redirected.
    bool Active() const { return m_active; }

private:
    LSTATUS RedirectRoot(HKEY root, PCWSTR name);

    std::wstring m_path;
    bool m_active = false;
};
