// The one COM class this module serves. The same 16 bytes are matched by DllGetClassObject,
// written to the registry as text, and copied into every credential serialization.
#pragma once

#include <windows.h>

// {F1E2D3C4-B5A6-4798-9012-3456789ABCDE}
inline constexpr CLSID CLSID_QMCredProvider = {
    0xF1E2D3C4, 0xB5A6, 0x4798, {0x90, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE}};

// Registry form: braces, upper-case hexadecimal digits, 38 characters.
inline constexpr wchar_t kProviderClsidText[] = L"{F1E2D3C4-B5A6-4798-9012-3456789ABCDE}";
