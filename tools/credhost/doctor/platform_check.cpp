#include "platform_check.h"

#include <windows.h>

namespace {

using IsWow64Process2Call = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);

}  // namespace

void CheckPlatform(CheckReport& report) {
    // IsWow64Process2 appeared with the Windows versions that run x64 programs on ARM64; where it
    // is missing, the machine is x64 (this program runs).
    const auto isWow64Process2 = reinterpret_cast<IsWow64Process2Call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
    USHORT process = IMAGE_FILE_MACHINE_UNKNOWN;
    USHORT machine = IMAGE_FILE_MACHINE_AMD64;
    if (isWow64Process2 != nullptr && !isWow64Process2(GetCurrentProcess(), &process, &machine)) {
        machine = IMAGE_FILE_MACHINE_AMD64;
    }
    if (machine == IMAGE_FILE_MACHINE_ARM64) {
        AddCheck(report, "platform", CheckStatus::Fail,
                 "ARM64 Windows: its sign-in screen cannot load this x64 provider",
                 "remove the package (Quillmere Credential Provider: msiexec /x qm-credprovider-<version>-x64.msi /qn); "
                 "no x64 credential provider works on ARM64 Windows");
        return;
    }
    AddCheck(report, "platform", CheckStatus::Ok, "x64 Windows");
}
