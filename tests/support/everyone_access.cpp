#include "support/everyone_access.h"

#include "base/local_memory.h"

#include <windows.h>

#include <sddl.h>

bool OpenToEveryone(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;WD)", SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return false;
    }
    const LocalMemory owned(descriptor);
    return SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor) != FALSE;
}
